// The day's writes and its commit, sent together. A calculated day queues its value
// adjustments and build values instead of sending each on its own; the commit of
// "LastUpToDate" goes after them, and the next day's queries after the commit. QuickBooks
// answers a message set in order and, asked to stop on error, carries out nothing after
// a request it refuses, so the day is committed only when every write before the commit
// was carried out. A run stopped part-way redoes the day from a clean slate.
#include "costrundoc.h"
#include "qbexception.h"
#include "qbprogress.h"
#include "qbutils.h"

void CCostrunDoc::commitDay(const CDateTime& day, const std::optional<CDateTime>& next) {
    if (!session) throw CQbException("No QuickBooks file is opened.");
    const std::string value = zoneDateTimeText(day);
    CDayWrite commit;
    commit.request = session->dataExtCompanyRequest(false, kPrivateOwnerId, "LastUpToDate", value);
    // A run interrupted while it stored its settings can leave the field missing.
    commit.alternative = session->dataExtCompanyRequest(true, kPrivateOwnerId, "LastUpToDate", value);
    dayLists.dayWrites.push_back(std::move(commit));

    std::vector<std::string> trailing;
    if (next) {
        const CDayQueries queries(*next, settings.assemblies);
        for (const CQbRequestBase::CQuery& query : queries.queries) trailing.push_back(session->queryRequest(query));
    }
    dayLists.prefetchedDay.reset();
    dayLists.prefetchedAnswers.clear();

    std::size_t from = 0;
    try {
        while (from < dayLists.dayWrites.size()) {
            std::vector<std::string> requests;
            std::size_t bytes = 0;
            std::size_t to = from;
            while (to < dayLists.dayWrites.size() && requests.size() < kMaxSetRequests &&
                   (requests.empty() || bytes + dayLists.dayWrites[to].request.size() <= kMaxSetBytes)) {
                bytes += dayLists.dayWrites[to].request.size();
                requests.push_back(dayLists.dayWrites[to].request);
                ++to;
            }
            const std::size_t writes = requests.size();
            if (to == dayLists.dayWrites.size()) requests.insert(requests.end(), trailing.begin(), trailing.end());

            std::vector<std::unique_ptr<CQbResponse>> answers = session->sendMessageSet(requests);
            std::size_t resumeAt = to;
            for (std::size_t i = 0; i < writes; ++i) {
                CDayWrite& write = dayLists.dayWrites[from + i];
                if (i >= answers.size())
                    throw CQbException(CQbRequestBase::unansweredText(CQbRequestBase::requestName(write.request)));
                const CQbResponse& answer = *answers[i];
                if (CQbRequestBase::succeeded(answer)) {
                    if (write.build != nullptr) write.build->buildValueStored = true;
                    if (write.posting >= 0) {
                        ++runRecord.runSummary.postings;
                        CDayPosting& posting = dayLists.dayPostings[static_cast<std::size_t>(write.posting)];
                        if (--posting.requestsLeft == 0) {
                            for (int e = 0; e < posting.list.getSize(); ++e) {
                                const CValueAdjust& entry = posting.list.getAt(e);
                                (entry.amount > 0 ? runRecord.runSummary.increase : runRecord.runSummary.decrease) += entry.amount;
                                runRecord.runSummary.itemCorrections[entry.itemName] += entry.amount;
                                dayLists.dayCorrection += entry.amount;
                            }
                        }
                    }
                    continue;
                }
                if (!write.alternative.empty()) {
                    // QuickBooks carried out nothing after the refusal: the set goes again
                    // from this write, with its other request.
                    write.request = std::move(write.alternative);
                    write.alternative.clear();
                    resumeAt = from + i;
                    break;
                }
                const std::string message = CQbRequestBase::refusalText(answer, CQbRequestBase::requestName(write.request));
                if (write.posting >= 0) {
                    const CDayPosting& posting = dayLists.dayPostings[static_cast<std::size_t>(write.posting)];
                    std::string items;
                    for (int e = 0; e < posting.list.getSize(); ++e) {
                        const std::string& item = posting.list.getAt(e).itemName;
                        addException(CRunException::kRefusedPosting, item, posting.day,
                                     "QuickBooks refused its value adjustment: " + message);
                        if (e < 3) items += (e == 0 ? "" : ", ") + item;
                    }
                    if (posting.list.getSize() > 3) items += " and " + integerText(posting.list.getSize() - 3) + " more";
                    throw CQbException("QuickBooks refused the value adjustment of " + items + " on " +
                                       posting.day.userDateText() + ": " + message);
                }
                if (write.build != nullptr) {
                    throw CQbException("QuickBooks refused to store the value of build " +
                                       write.build->ret->getValue("RefNumber") + ": " + message);
                }
                throw CQbException(message);
            }
            // The last set, carried out whole: the next day's answers follow the commit's.
            if (resumeAt == to && to == dayLists.dayWrites.size()) {
                for (std::size_t i = writes; i < answers.size(); ++i)
                    dayLists.prefetchedAnswers.push_back(std::move(answers[i]));
            }
            from = resumeAt;
        }
    } catch (const CQbException&) {
        dayLists.dayWrites.clear();
        dayLists.dayPostings.clear();
        dayLists.prefetchedAnswers.clear();
        throw;
    }
    dayLists.dayWrites.clear();
    dayLists.dayPostings.clear();
    runRecord.committedUpTo = day;
    if (next) dayLists.prefetchedDay = *next;
    pumpMessages();
}
