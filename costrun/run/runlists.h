// The lists a run reads once and every day uses: the stocked items (inventory parts and
// assemblies, inactive ones too: they can still hold stock), their accounts, the COGS
// accounts and classes a day's postings are grouped by, the prices of the items a build
// may use that are not stocked, and the units of measure.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "costrunitemlist.h"
#include "costrununits.h"
#include "qbobjectlist.h"
#include "qbrequestbase.h"

class CRunLists {
public:
    // Reads every list; without assemblies (QuickBooks Pro) nothing about them is asked
    // for. Throws CQbException when QuickBooks refuses a query.
    void read(CQbRequestBase& session, bool assemblies, const std::function<void(const std::string&)>& progress);

    // Gives the list's items their COGS and asset accounts.
    void assignAccounts(CCostrunItemList& list) const;
    // Whether the name is a stocked item, and whether an assembly.
    enum class CStocked { kNo, kInventory, kAssembly };
    CStocked stocked(const std::string& name) const;
    // Every stocked item's full name.
    std::vector<std::string> stockedNames() const;
    // A stocked item as the item list gives it: its quantity on hand now, and whether active.
    struct CListedStock {
        std::string name;
        double quantity = 0.0;
        bool active = true;
    };
    // The stocked items whose item list holds a quantity on hand other than zero.
    std::vector<CListedStock> listedStock() const;

    const CCostrunUnits& units() const { return unitSets; }
    // The COGS accounts of the stocked items ("" first) and the classes ("" first), in
    // the order the postings of a sales transaction are grouped by.
    const std::vector<std::string>& accounts() const { return accountList; }
    const std::vector<std::string>& classes() const { return classList; }
    // The price of an item that is not stocked (non-inventory, service, other charge);
    // null for an unknown one.
    const std::string* price(const std::string& item) const;
    // The full name of the item of the ListID (stocked, non-inventory, service or other
    // charge) as this run reads it; null for one the lists do not hold.
    const std::string* itemName(const std::string& listId) const;
    // Every stocked item's ListID by full name.
    std::map<std::string, std::string> stockedIds() const;

    // Test hooks: a run's lists set directly.
    void setAccountsAndClasses(std::vector<std::string> accounts, std::vector<std::string> classes) {
        accountList = std::move(accounts);
        classList = std::move(classes);
    }

private:
    void readUnits(CQbRequestBase& session, const std::function<void(const std::string&)>& progress);
    void readPrices(CQbRequestBase& session, const std::function<void(const std::string&)>& progress);
    void readClasses(CQbRequestBase& session);

    std::unique_ptr<CQbObjectList> inventoryItems;
    std::unique_ptr<CQbObjectList> assemblyItems;
    // The items' COGS and asset accounts by full name.
    std::unordered_map<std::string, std::pair<std::string, std::string>> itemAccounts;
    std::unordered_map<std::string, CStocked> stockedItems;
    std::map<std::string, std::string> stockedListIds;
    std::vector<std::string> accountList{std::string()};
    std::vector<std::string> classList{std::string()};
    std::map<std::string, std::string> prices;
    std::unordered_map<std::string, std::string> namesById;
    CCostrunUnits unitSets;
};
