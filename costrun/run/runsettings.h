// The run settings: what the company file's custom fields and QuickBooks' preferences
// say of the valuation, and what follows from them alone: the first day a run values
// and whether anything stands in the way of writing to the file.
#pragma once

#include <optional>
#include <string>

#include "datetime.h"

struct CRunSettings {
    std::optional<CDateTime> startDate;
    std::optional<CDateTime> lastExecTime;
    std::optional<CDateTime> lastUpToDate;
    // When the last run or rewind finished writing ("LastRunTime").
    std::optional<CDateTime> lastRunTime;
    // "StartDate" is stored in the file (else the first run stores it).
    bool hasStoredStart = false;
    bool multiCurrency = false;
    // QuickBooks' own FIFO costing (its Items & Inventory preferences).
    bool quickBooksFifo = false;
    std::optional<CDateTime> quickBooksFifoDate;
    // The start of QuickBooks' closing date; none when not set.
    std::optional<CDateTime> closingDate;
    // The edition and its inventory preferences.
    std::string productName;
    bool assemblies = true;
    bool inventorySites = false;
    bool enhancedReceiving = false;
    std::string serialOrLot;  // "SerialNumber" or "LotNumber", empty when neither is tracked

    // The first day a run values (its end): the day after the file is valued up to, or
    // the start date of a file never valued; none without a start date.
    std::optional<CDateTime> firstDayToValue() const;
    // Why a run whose first day is `firstDay` cannot write to the file: QuickBooks' own
    // FIFO costing, inventory sites or Enhanced Inventory Receiving, then, with `upTo`
    // (the window's new up-to date), an up-to date before the start or not after the
    // current one, then QuickBooks' closing date. Empty when nothing stands in the way.
    std::string refusalBeforeWriting(const CDateTime& firstDay, const std::optional<CDateTime>& upTo) const;
    // Why a run from `firstDay` (or, with `rewind`, a rewind to that day) cannot be
    // carried out for QuickBooks' closing date; empty when the day is after it.
    std::string closingDateRefusal(const CDateTime& firstDay, bool rewind) const;
};

// Every refusal before writing starts so in the window's status.
inline constexpr const char* kRequestFailed = "Request failed.  ";
