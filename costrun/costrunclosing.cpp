// The company's closing date (QuickBooks' Company > Set Closing Date, usual after a
// year-end). QuickBooks refuses to add, change or delete anything dated on or before it:
// the value adjustments of a day, the value stored on its builds, the postings a rewind
// deletes. A run or a rewind that would write on such a day is refused before it writes
// anything, with the closing date and what to do, instead of stopping part-way on
// QuickBooks' refusal.
#include "costrundoc.h"

std::string CCostrunDoc::closingDateRefusal(const CDateTime& firstDay, bool rewind) const {
    if (!settings.closingDate || startOfDay(firstDay) > *settings.closingDate) return {};
    const std::string closing = settings.closingDate->userDateText();
    const std::string first = startOfDay(firstDay).userDateText();
    const std::string said = "QuickBooks' closing date is " + closing +
                             ": QuickBooks refuses to add, change or delete anything dated on or before it";
    const std::string move = "have the QuickBooks administrator move the closing date to before " + first +
                             " (Company > Set Closing Date)";
    if (rewind) {
        return said + ", and a rewind to " + first + " would delete the postings from that day on. Choose a date after " +
               closing + " to rewind to, or " + move + ".";
    }
    if (!settings.hasStoredStart) {
        return said + ", and the valuation would start on " + first + ". Choose a start date after " + closing +
               ", or " + move + ".";
    }
    // The file keeps its start date: only the closing date can move.
    return said + ", and the valuation goes on from " + first +
           (settings.lastUpToDate ? ", the day after the file is valued up to." : ", the file's start date.") +
           " To process this file, " + move + ".";
}
