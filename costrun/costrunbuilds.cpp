// Assembly builds within a valuation day: the day's builds reserve their components'
// units, are valued pass by pass from the components' FIFO cost (assemblies made of
// other assemblies one pass after them), keep their value in the build's "BuildValue"
// custom field, become lots of their assembly, and finally move value from the
// components to the assembly with one zero-sum adjustment per build.
#include "costrundoc.h"
#include "qbexception.h"
#include "qbutils.h"

namespace {

std::string assemblyName(const CQbObject& build) {
    return build.getValue("ItemInventoryAssemblyRef", "FullName");
}

std::string lineItem(const CQbField& line) { return line.grandchildValue("ItemRef", "FullName"); }

// A component is looked up among the inventory items first, then the assemblies.
CCostrunItem* findComponent(const std::string& name, CCostrunItemList* inventory,
                            CCostrunItemList* assemblies) {
    CCostrunItem* item = inventory ? inventory->find(name) : nullptr;
    if (item == nullptr && assemblies != nullptr) item = assemblies->find(name);
    return item;
}

}  // namespace

void CCostrunDoc::markBuiltAssembliesInactive(CCostrunItemList& assemblies) {
    if (!dayLists.dayBuildTxns) return;
    for (const auto& record : *dayLists.dayBuildTxns) {
        if (record->isPending || record->ret == nullptr) continue;
        if (CCostrunItem* item = assemblies.find(assemblyName(*record->ret))) item->active = false;
    }
}

void CCostrunDoc::reserveComponents(CCostrunItemList* inventory, CCostrunItemList* assemblies,
                                    const CCostrunTxnList& dayTxns) {
    for (const auto& record : dayTxns) {
        if (record->txnTypeCode != kTxnBuildAssembly || record->isPending || !record->ret) continue;
        for (const CQbField* line : record->ret->findAll("ComponentItemLineRet")) {
            if (CCostrunItem* item = findComponent(lineItem(*line), inventory, assemblies)) {
                item->reservedQty += line->childFloat("QuantityNeeded");
            }
        }
    }
}

int CCostrunDoc::valueBuilds(CCostrunItemList* inventory, CCostrunItemList* assemblies,
                             int pass) {
    if (!dayLists.dayBuildTxns || assemblies == nullptr) return 0;
    int valued = 0;
    for (const auto& entry : *dayLists.dayBuildTxns) {
        CCostrunTxn& record = *entry;
        if (record.hasBuildValue || record.isPending || record.ret == nullptr) continue;
        const CQbObject& build = *record.ret;
        // A build whose assembly is not in the day's report cannot be valued.
        CCostrunItem* assembly = assemblies->find(assemblyName(build));
        if (assembly == nullptr) continue;

        bool allCosted = true;
        // The first costed component whose lots do not cover what it holds and what the
        // day's builds consumed: its cost would be a guess, and a build value is kept
        // for good, so the build is not valued.
        std::string shortComponent;
        std::string shortUnit;  // the short component's unread unit, if that is why
        double value = 0.0;
        for (const CQbField* line : build.findAll("ComponentItemLineRet")) {
            const std::string name = lineItem(*line);
            const double needed = line->childFloat("QuantityNeeded");
            if (CCostrunItem* component = findComponent(name, inventory, assemblies)) {
                if (!component->costed) {
                    allCosted = false;
                    continue;
                }
                if (!component->isComplete()) {
                    if (shortComponent.empty()) {
                        shortComponent = name;
                        shortUnit = component->unreadUnit;
                    }
                    continue;
                }
                // The average FIFO cost of the units the day's builds consumed; a
                // component nothing was reserved of costs nothing.
                const double part = component->reservedQty != 0.0
                                        ? needed * component->reservedValue / component->reservedQty
                                        : 0.0;
                value += part;
                logActivity("Build component : item %s qty %f val %f\n", name.c_str(), needed, part);
            } else if (runLists.priceList) {
                const auto price = runLists.priceList->find(name);
                if (price != runLists.priceList->end()) value += needed * readDecimal(price->second);
            }
        }
        // The assembly takes lots only once its builds are valued; a build left without
        // a value leaves it incomplete for the day, so it is neither adjusted nor used
        // as a component.
        const bool ready = allCosted && shortComponent.empty();
        assembly->active = ready;
        assembly->costedNext = ready;
        if (!ready) {
            const std::string txnId = build.getValue("TxnID");
            if (allCosted && dayLists.shortBuildsLogged.insert(txnId).second) {
                logActivity("Build transaction : item %s not valued, component %s cannot find all item receipts\n",
                            assembly->fullName.c_str(), shortComponent.c_str());
                const std::optional<CDateTime> date = build.getDate("TxnDate");
                addException(CRunException::kShortBuild, assembly->fullName, date.value_or(CDateTime()),
                             "build " + build.getValue("RefNumber") + " not valued: " +
                                 (shortUnit.empty() ? "the purchases of component " + shortComponent + " do not cover it"
                                                    : "component " + shortComponent + " cannot be valued: " + shortUnit));
            }
            continue;
        }

        const std::string text = fixedText(value, 6);
        storeBuildValue(record, text);
        record.buildValue = value;
        record.hasBuildValue = true;
        if (runLists.receiptTxns) {
            if (CReceiptRecord* stored = runLists.receiptTxns->findBuild(build.getValue("TxnID"))) {
                stored->buildValue = value;
                stored->hasBuildValue = true;
            }
        }
        logActivity("Build transaction : item %s value %s\n", assembly->fullName.c_str(), text.c_str());
        assembly->builtQty += build.getFloat("QuantityToBuild");
        assembly->buildPass = pass;
        ++valued;
    }
    assemblies->commitCosted();
    return valued;
}

void CCostrunDoc::storeBuildValue(CCostrunTxn& record, const std::string& text) {
    if (!session) return;
    const std::string txnId = record.ret->getValue("TxnID");
    // A value stored by a run that stopped before committing the build's day is
    // replaced; when QuickBooks' answer shows the other request is needed (a value
    // present, or none), it is tried before the day stops. Without its value the build's
    // cost would be lost for good and every later build of the assembly undervalued.
    const bool add = !record.buildValueStored;
    runRecord.ownBuildWrites.insert(txnId);
    dayLists.dayWrites.push_back(CDayWrite{
        session->dataExtTxnRequest(add, "BuildAssembly", txnId, kBuildValueField, text),
        session->dataExtTxnRequest(!add, "BuildAssembly", txnId, kBuildValueField, text), -1,
        &record});
}

void CCostrunDoc::buildLot(const CReceiptRecord& build, CCostrunItemList& list) {
    if (!build.hasBuildValue || build.isPending) return;
    const double quantity = build.quantityToBuild;
    CCostrunItem* item = list.find(build.assembly);
    if (quantity <= 0.0 || item == nullptr || !item->active || item->isComplete()) return;
    auto lot = std::make_unique<CItemPo>(txnTypeName(kTxnBuildAssembly), build.refNumber, build.txnDate,
                                         build.buildValue / quantity);
    item->takeLot(build.buildValue, quantity, *lot);
    item->addLot(std::move(lot));
}

void CCostrunDoc::transferBuildValues(CCostrunItemList* inventory, CCostrunItemList* assemblies,
                                      const CCostrunTxnList& dayTxns, const CDateTime& day) {
    if (assemblies == nullptr) return;
    const int lastPass = assemblies->maxBuildPass();
    for (int pass = 0; pass <= lastPass; ++pass) {
        for (const auto& record : dayTxns) {
            if (record->txnTypeCode != kTxnBuildAssembly || record->isPending || !record->ret) continue;
            const CCostrunItem* assembly = assemblies->find(assemblyName(*record->ret));
            if (assembly == nullptr || assembly->buildPass != pass) continue;
            // A build left without a value moves nothing.
            const CCostrunTxn* valued =
                dayLists.dayBuildTxns ? dayLists.dayBuildTxns->findBuild(record->ret->getValue("TxnID")) : nullptr;
            if (valued == nullptr || !valued->hasBuildValue) continue;
            transferBuildValue(*record->ret, inventory, *assemblies, day);
        }
    }
}

void CCostrunDoc::transferBuildValue(const CQbObject& buildRet, CCostrunItemList* inventory,
                                     CCostrunItemList& assemblies, const CDateTime& day) {
    CCostrunItem* assembly = assemblies.find(assemblyName(buildRet));
    if (assembly == nullptr) return;
    CValueAdjustList adjustments;
    for (const CQbField* line : buildRet.findAll("ComponentItemLineRet")) {
        const double needed = line->childFloat("QuantityNeeded");
        if (inventory != nullptr) shareLine(*inventory, *line, needed, adjustments);
        shareLine(assemblies, *line, needed, adjustments);
    }
    const double total = -1.0 * adjustments.sumAmounts();
    assembly->startRunningValue();
    adjustments.add(assembly->fullName, assembly->newValue, total);
    assembly->adjustedValue += total;
    assembly->newValue += total;
    postAdjustList(adjustments, day, assembly->assetAccount, std::string(), std::string(), false);
}
