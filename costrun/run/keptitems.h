// Items in what a run keeps for the next one. Within one run the item list, the reports
// and the transactions name every item by the same full name, so the walk goes by it;
// across runs a name is only a label (an item is renamed, moved under a parent, merged
// into another), so what is kept knows items by ListID and takes this run's names when
// it is taken.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "costrunreceipts.h"
#include "costrununits.h"
#include "datetime.h"

// This run's full name of the item of a ListID; null for one it does not know.
using CItemNameOf = std::function<const std::string*(const std::string& listId)>;

// Gives the kept records' lines, value changes and builds this run's names of their
// items (and rebuilds the items each record returns). False, with `gone` naming the item
// as it was kept, when an item the records knew by ListID is no longer in QuickBooks'
// lists (merged into another or deleted): the records no longer say whose lots they
// hold, and the run reads everything again. The records are then left as they were.
bool nameKeptItems(std::vector<CReceiptRecord>& records, const CItemNameOf& nameOf, std::string& gone);

// Keeps the ListID only of items the run's lists know (stocked items and those a build
// may price): a line of any other item (a fixed asset on a bill) gives no lot and is
// kept by its name alone, so that an item the next run does not read is no item gone.
void keepKnownIds(std::vector<CReceiptRecord>& records, const CItemNameOf& nameOf);

// Units of measure. A line in a unit of its item's set is counted with the set the item
// has when the line is read; the history keeps that set with the line, so that a kept
// line counts as it was entered after the item is given another set (a unit of the same
// name may hold another number of base units there).

// Keeps with every line in a unit of its item's own set the item's set now; lines of the
// items in `changed` dated on or before `keptUpTo` are left as they are (they were not
// entered in the set the item has now).
void keepUnitSets(std::vector<CReceiptRecord>& records, const CCostrunUnits& units,
                  const std::map<std::string, std::string>& changed, const std::optional<CDateTime>& keptUpTo);

// The items whose set now differs from one their kept lines were counted in, each with
// the reason it is not valued ("its unit-of-measure set changed from By the box to Box of
// 12 since its purchases were read").
std::map<std::string, std::string> changedUnitSets(const std::vector<CReceiptRecord>& kept,
                                                   const CCostrunUnits& units);

// Marks the lines of those items that are in a unit of the item's own set and dated on or
// before `keptUpTo`: they were entered in the former set and cannot be counted.
void markChangedUnitSets(CReceiptRecords& records, const std::map<std::string, std::string>& changed,
                         const CDateTime& keptUpTo);
