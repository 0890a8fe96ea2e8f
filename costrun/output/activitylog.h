// The activity log (activity.txt in the data folder): what a run or a rewind read,
// calculated and wrote, line by line as it goes, so that a bookkeeper can follow every
// figure. Started afresh once per engine; each line is flushed as it is written, so a
// run that stops part-way leaves its log up to the stop.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class CCostrunUnits;
class CQbObjectList;

class CActivityLog {
public:
    explicit CActivityLog(std::string path) : filePath(std::move(path)) {}
    ~CActivityLog();
    CActivityLog(const CActivityLog&) = delete;
    CActivityLog& operator=(const CActivityLog&) = delete;

    // Replaces the file left by an earlier engine, once; later calls keep writing to it.
    // A file that cannot be created leaves the log silent.
    void open();
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const std::string& path() const { return filePath; }
    // The warnings QuickBooks gave with answers that were used.
    void warnings(const std::vector<std::string>& texts);

    // The transactions a run read, as the log lists them: receiving transactions of one
    // kind (named as the user reads it), inventory adjustments, builds, and the day's
    // sales of one kind with their line and group element names. Quantities are logged
    // in the unit the line states (see CCostrunUnits::logQuantity).
    void receivingTxns(const CQbObjectList* list, const char* kindName, const CCostrunUnits& units);
    void inventoryAdjustments(const CQbObjectList* list);
    void builds(const CQbObjectList* list);
    void daySales(const CQbObjectList* list, const char* heading, const char* lineName, const char* groupName,
                  const CCostrunUnits& units);

private:
    std::string filePath;
    std::FILE* file = nullptr;
    bool opened = false;
};

// printf into a string.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
