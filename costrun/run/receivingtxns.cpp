#include "receivingtxns.h"

#include <unordered_set>

#include "qbutils.h"
#include "queryfilters.h"
#include "valueadjust.h"

void readReceivingTxns(CQbRequestBase& session, const CDateTime& from, const CDateTime& to, bool assemblies,
                       CReceiptRecords& records, CActivityLog& log, const CCostrunUnits& units,
                       const std::function<void(const std::string&)>& progress) {
    CQbFieldList receiving;
    auto range = std::make_unique<CQbFieldList>();
    range->addText("FromTxnDate", dateText(from));
    range->addText("ToTxnDate", dateText(to));
    receiving.addAggregate("TxnDateRangeFilter", std::move(range));
    receiving.addText("IncludeLineItems", "true");
    // QuickBooks turns an item receipt into a bill under the same TxnID ("Enter Bill for
    // Received Items"). A conversion between two of the queries below would answer both;
    // the purchase is one, read once as the kind asked for first.
    std::unordered_set<std::string> read;
    for (const CTxnKind& kind : kTxnKinds) {
        if (kind.purchaseProgress == nullptr) continue;
        progress(kind.purchaseProgress);
        const std::unique_ptr<CQbObjectList> list =
            session.query(queryRqName(kind.object), retName(kind.object), &receiving, true);
        for (int i = list ? list->getSize() - 1 : -1; i >= 0; --i) {
            const std::string id = list->getAt(i)->getValue("TxnID");
            if (!id.empty() && !read.insert(id).second) list->detach(i);
        }
        log.receivingTxns(list.get(), kind.name, units);
        records.addAll(kind.code, list.get());
    }
    const std::unique_ptr<CQbObjectList> adjustments = readInventoryAdjustments(session, from, to, progress);
    log.inventoryAdjustments(adjustments.get());
    records.addAll(kTxnInventoryAdjustment, adjustments.get());
    CQbFieldList allBuilds;
    allBuilds.addText("IncludeComponentLineItems", "true");
    allBuilds.addText("OwnerID", kPrivateOwnerId);
    const std::unique_ptr<CQbObjectList> builds =
        assemblies ? session.queryBuildAssembly(&allBuilds) : std::make_unique<CQbObjectList>();
    log.builds(builds.get());
    records.addAll(kTxnBuildAssembly, builds.get());
}

std::unique_ptr<CQbObjectList> readInventoryAdjustments(CQbRequestBase& session, const CDateTime& from,
                                                        const CDateTime& to,
                                                        const std::function<void(const std::string&)>& progress) {
    CQbFieldList filter;
    addDateRange(filter, from, to);
    filter.addText("IncludeLineItems", "true");
    progress("Retrieving the list of inventory adjustments...");
    std::unique_ptr<CQbObjectList> adjustments = session.queryInventoryAdjustment(&filter);
    if (!adjustments) adjustments = std::make_unique<CQbObjectList>();
    for (int i = adjustments->getSize() - 1; i >= 0; --i) {
        if (adjustments->getAt(i)->getValue("Memo") == kValueAdjustMemo) adjustments->detach(i);
    }
    return adjustments;
}

void recordSeen(const CReceiptRecords& records, const CTxnKind& kind, CSeenRecord& seen, const std::string& from,
                const std::string& to) {
    std::vector<std::pair<std::string, CSeenRecord::CSeenTxn>> read;
    for (const CReceiptRecord& record : records) {
        if (record.txnTypeCode != kind.code) continue;
        read.push_back({record.txnId, {kind.object, record.txnDateText, record.refNumber, record.editSequence}});
    }
    seen.record(read, kind.object, from, to);
}

