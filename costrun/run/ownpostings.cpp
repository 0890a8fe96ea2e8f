// The one rule that tells the system's own postings from the user's adjustments (see
// ownpostings.h), and the adoption of postings known by their memo alone.
#include "ownpostings.h"

#include "days.h"
#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbutils.h"
#include "queryfilters.h"
#include "valueadjust.h"

COwnPostings::COwnPostings(const CSeenRecord& record, const std::optional<CDateTime>& lastRunTime) : seen(record) {
    const std::optional<CDateTime> stamp = readDateTimeText(record.stamp());
    const bool current = stamp && lastRunTime && stamp->seconds() == lastRunTime->seconds();
    memoSpeaks = !current || record.postingsFrom("").empty();
}

const CSeenRecord::CSeenTxn* COwnPostings::recorded(const CQbObject& adjustment) const {
    const std::string txnId = adjustment.getValue("TxnID");
    return txnId.empty() ? nullptr : seen.findPosting(txnId);
}

bool COwnPostings::isOwn(const CQbObject& adjustment) const {
    if (recorded(adjustment) != nullptr) return true;
    return memoSpeaks && adjustment.getValue("Memo") == kValueAdjustMemo;
}

bool COwnPostings::edited(const CQbObject& adjustment) const {
    const CSeenRecord::CSeenTxn* posting = recorded(adjustment);
    if (posting == nullptr) return false;
    if (posting->date != adjustment.getValue("TxnDate")) return true;
    return !posting->editSequence.empty() && posting->editSequence != adjustment.getValue("EditSequence");
}

std::optional<CDateTime> COwnPostings::editedFrom(const CQbObject& adjustment) const {
    const CSeenRecord::CSeenTxn* posting = recorded(adjustment);
    std::optional<CDateTime> from = adjustment.getDate("TxnDate");
    if (posting == nullptr) return from;
    const std::optional<CDateTime> before = readDateText(posting->date);
    if (before && (!from || *before < *from)) from = before;
    return from;
}

const std::vector<const char*>& COwnPostings::retElements() {
    static const std::vector<const char*> elements = {"TxnID", "TxnDate", "EditSequence", "Memo"};
    return elements;
}

int adoptMemoPostings(CQbRequestBase& session, CSeenRecord& record, const CDateTime& from) {
    CQbFieldList filter;
    filter.addAggregate("TxnDateRangeFilter", filterFrom("FromTxnDate", dateText(startOfDay(from))));
    filter.addText("IncludeLineItems", "true");
    for (const char* element : COwnPostings::retElements()) filter.addText("IncludeRetElement", element);
    filter.addText("IncludeRetElement", "InventoryAdjustmentLineRet");
    std::unique_ptr<CQbObjectList> adjustments = session.queryInventoryAdjustment(&filter);
    int adopted = 0;
    for (int i = 0; adjustments && i < adjustments->getSize(); ++i) {
        const CQbObject& adjustment = *adjustments->getAt(i);
        const std::string txnId = adjustment.getValue("TxnID");
        if (txnId.empty() || adjustment.getValue("Memo") != kValueAdjustMemo || record.findPosting(txnId) != nullptr)
            continue;
        std::vector<std::string> items;
        for (const CQbField* line : adjustment.findAll("InventoryAdjustmentLineRet"))
            items.push_back(line->grandchildValue("ItemRef", "FullName"));
        record.recordPosting(txnId, adjustment.getValue("TxnDate"), adjustment.getValue("EditSequence"), items);
        ++adopted;
    }
    return adopted;
}
