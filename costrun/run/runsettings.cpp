#include "runsettings.h"

#include <cstdio>

#include "days.h"

namespace {

const char* const kQuickBooksFifo =
    "QuickBooks itself values this company's inventory by FIFO (FIFO is turned "
    "on in its Items & Inventory preferences): it already keeps FIFO costs from its FIFO start "
    "date%s on. Lotwise would correct those costs a second time, so it does not process this "
    "file.";
// Enterprise's inventory preferences that Lotwise cannot value a file under yet.
const char* const kInventorySites =
    "Multiple inventory sites are turned on in this company's QuickBooks "
    "(Advanced Inventory): QuickBooks then keeps each item's quantity and value per site, and "
    "what a value adjustment without a site changes is not documented. Lotwise values each item "
    "as a whole and cannot value such a file yet, so it does not process it.";
const char* const kEnhancedReceiving =
    "Enhanced Inventory Receiving is turned on in this company's QuickBooks "
    "(Items & Inventory preferences): item receipts then receive the stock and bills only carry "
    "its cost, while Lotwise takes every bill as stock received, so a purchase received and "
    "billed would count twice. Lotwise cannot value such a file yet, so it does not process it.";
const char* const kUpToBeforeStart =
    "The Up To Date cannot be before the Start Date.  Please change the Up To Date to a later date.";
const char* const kUpToNotAfterCurrent =
    "The new Up To Date has to be after the current Up to Date.  Please change it to a later date.";

}  // namespace

std::optional<CDateTime> CRunSettings::firstDayToValue() const {
    if (lastUpToDate) return nextDay(*lastUpToDate);
    if (startDate) return endOfDay(*startDate);
    return std::nullopt;
}

std::string CRunSettings::refusalBeforeWriting(const CDateTime& firstDay, const std::optional<CDateTime>& upTo) const {
    if (quickBooksFifo) {
        char text[512];
        std::snprintf(text, sizeof text, kQuickBooksFifo,
                      quickBooksFifoDate ? (" (" + quickBooksFifoDate->userDateText() + ")").c_str() : "");
        return text;
    }
    if (inventorySites || enhancedReceiving) {
        std::string text = inventorySites ? kInventorySites : "";
        if (enhancedReceiving) text += (inventorySites ? "\n\n" : "") + std::string(kEnhancedReceiving);
        return text;
    }
    if (upTo) {
        if ((startDate ? *startDate : firstDay) > *upTo) return kUpToBeforeStart;
        if (lastUpToDate && !(*lastUpToDate < *upTo)) return kUpToNotAfterCurrent;
    }
    return closingDateRefusal(firstDay, false);
}

std::string CRunSettings::closingDateRefusal(const CDateTime& firstDay, bool rewind) const {
    if (!closingDate || startOfDay(firstDay) > *closingDate) return {};
    const std::string closing = closingDate->userDateText();
    const std::string first = startOfDay(firstDay).userDateText();
    const std::string said = "QuickBooks' closing date is " + closing +
                             ": QuickBooks refuses to add, change or delete anything dated on or before it";
    const std::string move = "have the QuickBooks administrator move the closing date to before " + first +
                             " (Company > Set Closing Date)";
    if (rewind) {
        return said + ", and a rewind to " + first + " would delete the postings from that day on. Choose a date after " +
               closing + " to rewind to, or " + move + ".";
    }
    if (!hasStoredStart) {
        return said + ", and the valuation would start on " + first + ". Choose a start date after " + closing +
               ", or " + move + ".";
    }
    return said + ", and the valuation goes on from " + first +
           (lastUpToDate ? ", the day after the file is valued up to." : ", the file's start date.") +
           " To process this file, " + move + ".";
}
