#include "runlists.h"

#include "qbresponse.h"

namespace {

void appendDistinct(std::vector<std::string>& list, const std::string& text) {
    for (const std::string& present : list) {
        if (present == text) return;
    }
    list.push_back(text);
}

// Every item and class, inactive ones too: they can still hold stock, cost what they
// cost in a build, and class the lines entered with them.
struct CAllOfThem : CQbFieldList {
    CAllOfThem() { addText("ActiveStatus", "All"); }
};

}  // namespace

void CRunLists::read(CQbRequestBase& session, bool assemblies,
                     const std::function<void(const std::string&)>& progress) {
    const CAllOfThem all;
    assemblyItems = assemblies ? session.queryItemInventoryAssembly(&all) : std::make_unique<CQbObjectList>();
    progress("Retrieving the item list...");
    inventoryItems = session.queryItemInventory(&all);
    for (const CQbObjectList* items : {inventoryItems.get(), assemblyItems.get()}) {
        for (int i = 0; items && i < items->getSize(); ++i) {
            const CQbObject& object = *items->getAt(i);
            const std::string name = object.getValue("FullName");
            namesById[object.getValue("ListID")] = name;
            stockedListIds[name] = object.getValue("ListID");
            itemAccounts[name] = {object.getValue("COGSAccountRef", "FullName"),
                                  object.getValue("AssetAccountRef", "FullName")};
            stockedItems.emplace(name, items == assemblyItems.get() ? CStocked::kAssembly : CStocked::kInventory);
            appendDistinct(accountList, object.getValue("COGSAccountRef", "FullName"));
        }
    }
    readUnits(session, progress);
    readPrices(session, progress);
    readClasses(session);
}

void CRunLists::readUnits(CQbRequestBase& session, const std::function<void(const std::string&)>& progress) {
    unitSets.addItems(inventoryItems.get());
    unitSets.addItems(assemblyItems.get());
    // A file without units of measure has no item with a set and is asked nothing more.
    if (!unitSets.anyItemSet()) return;
    progress("Retrieving the units of measure...");
    // An inactive set still counts the lines entered in its units.
    const CAllOfThem all;
    const CQbRequestBase::CQuery query{"UnitOfMeasureSetQueryRq", "UnitOfMeasureSetRet", &all, false};
    std::vector<std::unique_ptr<CQbResponse>> answers = session.sendMessageSet({session.queryRequest(query)});
    answers.resize(1);
    // Units of measure turned off since the items were given their sets: no set applies,
    // and a line naming a unit cannot be counted.
    if (answers[0] && answers[0]->statusCode() == CQbRequestBase::kFeatureNotAvailable) return;
    unitSets.addSets(session.queryRecords(query, std::move(answers[0])).get());
}

void CRunLists::readPrices(CQbRequestBase& session, const std::function<void(const std::string&)>& progress) {
    auto addItems = [this](const std::unique_ptr<CQbObjectList>& items) {
        for (int i = 0; items && i < items->getSize(); ++i) {
            const CQbObject& item = *items->getAt(i);
            std::string price;
            if (item.has("SalesOrPurchase")) {
                price = item.getValue("SalesOrPurchase", "Price");
            } else if (item.has("SalesAndPurchase")) {
                price = item.getValue("SalesAndPurchase", "PurchaseCost");
            }
            prices[item.getValue("FullName")] = price;
            namesById[item.getValue("ListID")] = item.getValue("FullName");
        }
    };
    const CAllOfThem all;
    progress("Retrieving the non-inventory part list...");
    addItems(session.queryItemNonInventory(&all));
    progress("Retrieving the service list...");
    addItems(session.queryItemService(&all));
    progress("Retrieving the other charge list...");
    addItems(session.queryItemOtherCharge(&all));
}

void CRunLists::readClasses(CQbRequestBase& session) {
    const CAllOfThem all;
    const std::unique_ptr<CQbObjectList> classes = session.queryClass(&all);
    for (int i = 0; classes && i < classes->getSize(); ++i) {
        std::string name = classes->getAt(i)->getValue("FullName");
        if (!name.empty()) classList.push_back(std::move(name));
    }
}

void CRunLists::assignAccounts(CCostrunItemList& list) const {
    for (const auto& item : list) {
        const auto found = itemAccounts.find(item->fullName);
        if (found == itemAccounts.end()) continue;
        item->cogsAccount = found->second.first;
        item->assetAccount = found->second.second;
    }
}

CRunLists::CStocked CRunLists::stocked(const std::string& name) const {
    const auto found = stockedItems.find(name);
    return found == stockedItems.end() ? CStocked::kNo : found->second;
}

std::vector<std::string> CRunLists::stockedNames() const {
    std::vector<std::string> names;
    for (const auto& [name, kind] : stockedItems) names.push_back(name);
    return names;
}

std::vector<CRunLists::CListedStock> CRunLists::listedStock() const {
    std::vector<CListedStock> held;
    for (const CQbObjectList* items : {inventoryItems.get(), assemblyItems.get()}) {
        for (int i = 0; items && i < items->getSize(); ++i) {
            const CQbObject& item = *items->getAt(i);
            const double quantity = item.getFloat("QuantityOnHand");
            if (!item.has("QuantityOnHand") || quantity == 0.0) continue;
            held.push_back({item.getValue("FullName"), quantity, item.getBool("IsActive", true)});
        }
    }
    return held;
}

std::map<std::string, std::string> CRunLists::stockedIds() const { return stockedListIds; }

const std::string* CRunLists::itemName(const std::string& listId) const {
    const auto found = namesById.find(listId);
    return listId.empty() || found == namesById.end() ? nullptr : &found->second;
}

const std::string* CRunLists::price(const std::string& item) const {
    const auto found = prices.find(item);
    return found == prices.end() ? nullptr : &found->second;
}
