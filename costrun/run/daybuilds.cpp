// Assembly builds within a valuation day: the day's builds reserve their components'
// units, are valued pass by pass from the components' FIFO cost (assemblies made of
// other assemblies one pass after them), keep their value in the build's "BuildValue"
// custom field, become lots of their assembly, and finally move value from the
// components to the assembly with one zero-sum adjustment per build.
#include "qbfield.h"
#include "qbobject.h"
#include "qbutils.h"
#include "valuationrun.h"

namespace {

std::string assemblyName(const CQbObject& build) { return build.getValue("ItemInventoryAssemblyRef", "FullName"); }

std::string lineItem(const CQbField& line) { return line.grandchildValue("ItemRef", "FullName"); }

// A component is looked up among the inventory items first, then the assemblies.
CCostrunItem* findComponent(const std::string& name, CCostrunItemList* inventory, CCostrunItemList* assemblies) {
    CCostrunItem* item = inventory ? inventory->find(name) : nullptr;
    if (item == nullptr && assemblies != nullptr) item = assemblies->find(name);
    return item;
}

}  // namespace

void CValuationRun::markBuiltAssembliesInactive(CDay& day) {
    // An assembly built on the day takes its lots once its builds are valued.
    if (!day.txns->builds()) return;
    for (const auto& record : *day.txns->builds()) {
        if (!record->movesStock() || record->ret == nullptr) continue;
        if (CCostrunItem* item = day.assemblies->find(assemblyName(*record->ret))) item->active = false;
    }
}

void CValuationRun::reserveComponents(CDay& day) {
    for (const auto& record : *day.txns->all()) {
        if (record->txnTypeCode != kTxnBuildAssembly || !record->movesStock() || !record->ret) continue;
        for (const CQbField* line : record->ret->findAll("ComponentItemLineRet")) {
            if (CCostrunItem* item = findComponent(lineItem(*line), day.inventory.get(), day.assemblies.get()))
                item->reservedQty += line->childFloat("QuantityNeeded");
        }
    }
}

int CValuationRun::valueBuilds(CDay& day, int pass) {
    if (!day.txns->builds()) return 0;
    int valued = 0;
    for (const auto& entry : *day.txns->builds()) {
        CCostrunTxn& record = *entry;
        if (record.buildValue.known() || !record.movesStock() || record.ret == nullptr) continue;
        if (valueBuild(day, record, pass)) ++valued;
    }
    day.assemblies->commitCosted();
    return valued;
}

bool CValuationRun::valueBuild(CDay& day, CCostrunTxn& record, int pass) {
    const CQbObject& build = *record.ret;
    // A build whose assembly is not in the day's report cannot be valued.
    CCostrunItem* assembly = day.assemblies->find(assemblyName(build));
    if (assembly == nullptr) return false;
    const CBuildCost cost = buildCost(day, build);
    // The assembly takes lots only once its builds are valued; a build left without a
    // value leaves it incomplete for the day, so it is neither adjusted nor used as a
    // component.
    const bool ready = cost.allCosted && cost.shortComponent.empty();
    assembly->active = ready;
    assembly->costedNext = ready;
    if (!ready) {
        if (cost.allCosted && day.shortBuildsLogged.insert(build.getValue("TxnID")).second)
            noteShortBuild(*assembly, build, cost);
        return false;
    }
    const std::string text = fixedText(cost.value, 6);
    const std::string txnId = build.getValue("TxnID");
    ownBuildWrites.insert(txnId);
    dayCommit.queueBuildValue(record, txnId, text);
    record.buildValue.set(cost.value);
    if (CReceiptRecord* stored = walk.records().findBuild(txnId)) stored->buildValue.set(cost.value);
    log.log("Build transaction : item %s value %s\n", assembly->fullName.c_str(), text.c_str());
    assembly->builtQty += build.getFloat("QuantityToBuild");
    assembly->buildPass = pass;
    return true;
}

CValuationRun::CBuildCost CValuationRun::buildCost(CDay& day, const CQbObject& build) {
    CBuildCost cost;
    for (const CQbField* line : build.findAll("ComponentItemLineRet")) {
        const std::string name = lineItem(*line);
        const double needed = line->childFloat("QuantityNeeded");
        CCostrunItem* component = findComponent(name, day.inventory.get(), day.assemblies.get());
        if (component == nullptr) {
            if (const std::string* price = lists.price(name)) cost.value += needed * readDecimal(*price);
            continue;
        }
        if (!component->costed) {
            cost.allCosted = false;
            continue;
        }
        // The first costed component whose lots do not cover what it holds and what the
        // day's builds consumed: its cost would be a guess, and a build value is kept
        // for good, so the build is not valued.
        if (!component->isComplete()) {
            if (cost.shortComponent.empty()) {
                cost.shortComponent = name;
                cost.shortUnit = component->unreadUnit.empty() ? component->unreconciled : component->unreadUnit;
            }
            continue;
        }
        // The average FIFO cost of the units the day's builds consumed; a component
        // nothing was reserved of costs nothing.
        const double part =
            component->reservedQty != 0.0 ? needed * component->reservedValue / component->reservedQty : 0.0;
        cost.value += part;
        log.log("Build component : item %s qty %f val %f\n", name.c_str(), needed, part);
    }
    return cost;
}

void CValuationRun::noteShortBuild(const CCostrunItem& assembly, const CQbObject& build, const CBuildCost& cost) {
    log.log("Build transaction : item %s not valued, component %s cannot find all item receipts\n",
            assembly.fullName.c_str(), cost.shortComponent.c_str());
    const std::optional<CDateTime> date = build.getDate("TxnDate");
    addException(CRunException::kShortBuild, assembly.fullName, date.value_or(CDateTime()),
                 "build " + build.getValue("RefNumber") + " not valued: " +
                     (cost.shortUnit.empty() ? "the purchases of component " + cost.shortComponent + " do not cover it"
                                             : "component " + cost.shortComponent + " cannot be valued: " + cost.shortUnit));
}

void CValuationRun::transferBuildValues(CDay& day) {
    const int lastPass = day.assemblies->maxBuildPass();
    const CCostrunTxnList* builds = day.txns->builds();
    for (int pass = 0; pass <= lastPass; ++pass) {
        for (const auto& record : *day.txns->all()) {
            if (record->txnTypeCode != kTxnBuildAssembly || !record->movesStock() || !record->ret) continue;
            const CCostrunItem* assembly = day.assemblies->find(assemblyName(*record->ret));
            if (assembly == nullptr || assembly->buildPass != pass) continue;
            // A build left without a value moves nothing.
            const CCostrunTxn* valued = builds ? builds->findBuild(record->ret->getValue("TxnID")) : nullptr;
            if (valued == nullptr || !valued->buildValue.known()) continue;
            adjustments.postBuildTransfer(day.date, *record->ret, day.inventory.get(), *day.assemblies);
        }
    }
}
