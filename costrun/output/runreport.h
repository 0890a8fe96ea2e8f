// The run's CSV report (costrunYYYYMMDD_YYYYMMDD.csv in the company's report folder):
// one block a calculated day of the items it read with their lots, and a last block of
// every item on hand after the last calculated day (the closing valuation).
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

#include "datetime.h"

class CCostrunItemList;

class CRunReport {
public:
    CRunReport() = default;
    ~CRunReport() { close(); }
    CRunReport(const CRunReport&) = delete;
    CRunReport& operator=(const CRunReport&) = delete;

    // Creates the report of the days from `firstDay` to `upTo` in `folder` (made when
    // missing), replacing one of the same name. False with the reason in `error`.
    bool open(const std::string& folder, const CDateTime& firstDay, const CDateTime& upTo, std::string& error);
    // One block: a day's items, or with `closing` the closing valuation of the lists'
    // items on hand. Nothing without an open report or without any list.
    void writeBlock(std::initializer_list<const CCostrunItemList*> lists, const CDateTime& day, bool closing);
    void close();
    // The report's path once opened; empty before.
    const std::string& path() const { return reportPath; }

private:
    std::FILE* file = nullptr;
    std::string reportPath;
};
