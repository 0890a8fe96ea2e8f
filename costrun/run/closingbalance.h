// The closing valuation a run leaves: each item's quantity and QuickBooks value at the end
// of the valued-up-to date, read after the run's postings, kept in the run store
// (CRunStore) by item and stamped with the run's "LastRunTime". The next open reads the same report pair of that date and compares: an
// item whose quantity or value moved is a change behind the valued period even when no
// transaction QuickBooks lists explains it.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "datetime.h"
#include "qbrequestbase.h"

class CClosingBalance {
public:
    // An item's figures on the day.
    struct CHeld {
        double quantity = 0.0;
        double value = 0.0;
        std::string name = {};  // the item's full name when read, for texts
    };
    // An item whose figures differ: as the run left them and as QuickBooks has them now.
    // One no longer in QuickBooks' item list (merged into another, or deleted) is gone.
    struct CMoved {
        std::string item;
        CHeld left;
        CHeld now;
        bool gone = false;
    };

    CClosingBalance() = default;
    CClosingBalance(const CClosingBalance&) = delete;
    CClosingBalance& operator=(const CClosingBalance&) = delete;

    // Reads QuickBooks' valuation summaries of every item by type (the assemblies' only
    // with `assemblies`) at the end of `day`, and the item list that tells each row's
    // ListID; what was held before goes. A refused or unreadable answer throws
    // CQbException.
    // `ids` (full name to ListID of every stocked item) is the run's item list: nothing
    // more is asked for.
    void read(CQbRequestBase& session, bool assemblies, const CDateTime& day,
              const std::map<std::string, std::string>& ids);
    // The same for comparing with `left`: where the reports name exactly the items `left`
    // holds, by the same names, the item list is not asked for.
    void readAgainst(const CClosingBalance& left, CQbRequestBase& session, bool assemblies, const CDateTime& day);
    // Loads the figures from the run store at `storePath`; false (nothing held) when it
    // keeps none or cannot be read.
    bool load(const std::string& storePath);
    // Writes the figures stamped with `stamp` to the store, in one transaction, so that a
    // stop while writing leaves the figures before; false when they could not be written,
    // and then the store keeps none to mislead the next open.
    bool save(const std::string& storePath, const CDateTime& stamp);
    // Removes the figures the store keeps.
    static void discard(const std::string& storePath);

    // The day the figures are of (YYYY-MM-DD), and the "LastRunTime" the loaded file was
    // stamped with; empty when none.
    const std::string& date() const { return day; }
    const std::string& stamp() const { return stampText; }
    // Whether the figures belong to the run of that "LastRunTime" and are of the day.
    bool keptBy(const std::optional<CDateTime>& lastRunTime, const std::optional<CDateTime>& upTo) const;
    // The items whose quantity differs from those of `now` by half a unit's hundredth or
    // more, or whose value differs by more than a cent, in name order, and those no longer
    // in QuickBooks' item list. Items are matched by ListID, so a renamed item is the same
    // item. An item missing from either holds nothing there.
    std::vector<CMoved> movedIn(const CClosingBalance& now) const;

    // The threshold of a quantity: what shows in two decimals.
    static constexpr double kQuantityResidue = 0.005;
    // The threshold of a value: a cent and its rounding.
    static constexpr double kValueResidue = 0.01 + 1e-7;

private:
    // The reports' rows by full name; the day is set, the stamp cleared.
    std::map<std::string, CHeld> readRows(CQbRequestBase& session, bool assemblies, const CDateTime& date);
    // Holds the rows by the ListID `ids` gives each name (by name where it gives none).
    void keyRows(std::map<std::string, CHeld> rows, const std::map<std::string, std::string>& ids);

    std::string day;
    std::string stampText;
    // By ListID (by full name for a row the item list did not name).
    std::map<std::string, CHeld> items;
    // The ListIDs of every item QuickBooks listed when read.
    std::set<std::string> listed;
};
