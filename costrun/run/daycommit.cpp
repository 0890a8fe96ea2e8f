#include "daycommit.h"

#include "costruntxnlist.h"
#include "days.h"
#include "qbexception.h"
#include "qbobject.h"
#include "qbprogress.h"
#include "qbresponse.h"
#include "qbutils.h"

CDayCommit::CDayCommit(CQbRequestBase& session, CRunSummary& summary, CRefusedHandler refused)
    : session(session), summary(summary), refused(std::move(refused)) {}

void CDayCommit::queuePosting(const CValueAdjustList& list, const CDateTime& day, const std::string& account,
                              const std::string& className, const std::string& customer) {
    if (list.empty()) return;
    std::vector<std::string> names;
    std::vector<std::string> values;
    list.toArrays(names, values);
    const std::string memo = kValueAdjustMemo;
    std::vector<std::size_t> lineCounts;
    const std::vector<std::string> requests =
        session.valueAdjustmentRequests(day, account, &className, &customer, &memo, names, values, &lineCounts);
    const int posting = static_cast<int>(postings.size());
    postings.push_back(CPosting{list, day, requests.size(), {}});
    std::size_t line = 0;
    for (std::size_t r = 0; r < requests.size(); ++r) {
        CWrite write{requests[r], std::string(), posting, nullptr, {}};
        for (std::size_t i = 0; r < lineCounts.size() && i < lineCounts[r] && line < names.size(); ++i)
            write.items.push_back(names[line++]);
        writes.push_back(std::move(write));
    }
}

void CDayCommit::queueBuildValue(CCostrunTxn& build, const std::string& txnId, const std::string& text) {
    // A value stored by a run that stopped before committing the build's day is
    // replaced; when QuickBooks' answer shows the other request is needed (a value
    // present, or none), it is tried before the day stops. Without its value the build's
    // cost would be lost for good and every later build of the assembly undervalued.
    const bool add = !build.buildValue.stored;
    writes.push_back(CWrite{session.dataExtTxnRequest(add, "BuildAssembly", txnId, kBuildValueField, text),
                            session.dataExtTxnRequest(!add, "BuildAssembly", txnId, kBuildValueField, text), -1,
                            &build, {}});
}

void CDayCommit::commit(const CDateTime& day, const std::vector<std::string>& nextQueries) {
    const std::string value = zoneDateTimeText(day);
    // A run interrupted while it stored its settings can leave the field missing: the
    // commit's alternative adds it.
    writes.push_back(CWrite{session.dataExtCompanyRequest(false, kPrivateOwnerId, "LastUpToDate", value),
                            session.dataExtCompanyRequest(true, kPrivateOwnerId, "LastUpToDate", value), -1, nullptr,
                            {}});
    nextDay.reset();
    nextAnswers.clear();
    try {
        std::size_t from = 0;
        while (from < writes.size()) {
            const std::size_t to = setEnd(from);
            std::vector<std::string> requests;
            for (std::size_t i = from; i < to; ++i) requests.push_back(writes[i].request);
            if (to == writes.size()) requests.insert(requests.end(), nextQueries.begin(), nextQueries.end());
            std::vector<std::unique_ptr<CQbResponse>> answers = session.sendMessageSet(requests);
            const std::size_t resumeAt = judgeAnswers(from, to - from, answers);
            // The last set, carried out whole: the next day's answers follow the commit's.
            if (resumeAt == to && to == writes.size()) {
                for (std::size_t i = to - from; i < answers.size(); ++i) nextAnswers.push_back(std::move(answers[i]));
            }
            from = resumeAt;
        }
    } catch (const CQbException&) {
        clear();
        nextAnswers.clear();
        throw;
    }
    recordPostings();
    clear();
    committedDay = day;
    if (!nextQueries.empty()) nextDay = ::nextDay(day);
    pumpMessages();
}

std::size_t CDayCommit::setEnd(std::size_t from) const {
    std::size_t bytes = 0;
    std::size_t to = from;
    while (to < writes.size() && to - from < kMaxSetRequests &&
           (to == from || bytes + writes[to].request.size() <= kMaxSetBytes)) {
        bytes += writes[to].request.size();
        ++to;
    }
    return to;
}

std::size_t CDayCommit::judgeAnswers(std::size_t from, std::size_t count,
                                     const std::vector<std::unique_ptr<CQbResponse>>& answers) {
    for (std::size_t i = 0; i < count; ++i) {
        CWrite& write = writes[from + i];
        if (i >= answers.size())
            throw CQbException(CQbRequestBase::unansweredText(CQbRequestBase::requestName(write.request)));
        const CQbResponse& answer = *answers[i];
        if (CQbRequestBase::succeeded(answer)) {
            book(write, answer);
            continue;
        }
        if (write.alternative.empty()) refuse(write, answer);
        // QuickBooks carried out nothing after the refusal: the set goes again from this
        // write, with its other request.
        write.request = std::move(write.alternative);
        write.alternative.clear();
        return from + i;
    }
    return from + count;
}

void CDayCommit::book(const CWrite& write, const CQbResponse& answer) {
    if (write.build != nullptr) write.build->buildValue.stored = true;
    if (write.posting < 0) return;
    ++summary.postings;
    CPosting& posting = postings[static_cast<std::size_t>(write.posting)];
    if (CQbDomReader::Node* node = answer.findElement("InventoryAdjustmentRet")) {
        CQbObject taken;
        taken.load(node);
        posting.taken.push_back(CTaken{taken.getValue("TxnID"), taken.getValue("EditSequence"), write.items});
    }
    if (--posting.requestsLeft != 0) return;
    // Every request of the posting was carried out: its corrections count.
    for (int e = 0; e < posting.list.getSize(); ++e) {
        const CValueAdjust& entry = posting.list.getAt(e);
        (entry.amount > 0 ? summary.increase : summary.decrease) += entry.amount;
        summary.itemCorrections[entry.itemName] += entry.amount;
        dayCorrection += entry.amount;
    }
}

void CDayCommit::recordPostings() const {
    if (record == nullptr) return;
    for (const CPosting& posting : postings) {
        for (const CTaken& taken : posting.taken)
            record->recordPosting(taken.txnId, dateText(posting.day), taken.editSequence, taken.items);
    }
}

void CDayCommit::refuse(const CWrite& write, const CQbResponse& answer) {
    const std::string message = CQbRequestBase::refusalText(answer, CQbRequestBase::requestName(write.request));
    if (write.posting >= 0) {
        const CPosting& posting = postings[static_cast<std::size_t>(write.posting)];
        std::string items;
        for (int e = 0; e < posting.list.getSize(); ++e) {
            const std::string& item = posting.list.getAt(e).itemName;
            if (refused) refused(item, posting.day, "QuickBooks refused its value adjustment: " + message);
            if (e < 3) items += (e == 0 ? "" : ", ") + item;
        }
        if (posting.list.getSize() > 3) items += " and " + integerText(posting.list.getSize() - 3) + " more";
        throw CQbException("QuickBooks refused the value adjustment of " + items + " on " +
                           posting.day.userDateText() + ": " + message);
    }
    if (write.build != nullptr) {
        throw CQbException("QuickBooks refused to store the value of build " + write.build->ret->getValue("RefNumber") +
                           ": " + message);
    }
    throw CQbException(message);
}

void CDayCommit::clear() {
    writes.clear();
    postings.clear();
}

std::vector<std::unique_ptr<CQbResponse>> CDayCommit::takeNextAnswers(const CDateTime& day) {
    std::vector<std::unique_ptr<CQbResponse>> answers;
    if (nextDay && *nextDay == day) answers = std::move(nextAnswers);
    nextDay.reset();
    nextAnswers.clear();
    return answers;
}

double CDayCommit::takeDayCorrection() {
    const double correction = dayCorrection;
    dayCorrection = 0;
    return correction;
}
