// The day's writes and its commit, sent together. A calculated day queues its value
// adjustments and build values instead of sending each on its own; the commit of
// "LastUpToDate" goes after them, and the next day's queries after the commit. QuickBooks
// answers a message set in order and, asked to stop on error, carries out nothing after
// a request it refuses, so the day is committed only when every write before the commit
// was carried out. A run stopped part-way redoes the day from a clean slate. The record
// of what runs read takes each posting of a committed day by the TxnID and EditSequence
// QuickBooks answered with.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "datetime.h"
#include "qbrequestbase.h"
#include "runsummary.h"
#include "seenrecord.h"
#include "valueadjust.h"

class CCostrunTxn;

class CDayCommit {
public:
    // A value adjustment QuickBooks refused: each of its items, with QuickBooks' message.
    using CRefusedHandler = std::function<void(const std::string& item, const CDateTime& day, const std::string& why)>;

    // The session and the summary must outlive the commit; the summary takes every
    // posting QuickBooks carried out.
    CDayCommit(CQbRequestBase& session, CRunSummary& summary, CRefusedHandler refused);
    CDayCommit(const CDayCommit&) = delete;
    CDayCommit& operator=(const CDayCommit&) = delete;

    // The record that takes the postings of every day committed from now on (none when
    // null); it must outlive the commit.
    void recordPostingsIn(CSeenRecord* seen) { record = seen; }

    // Queues a value adjustment list (the requests of one posting) with the day's writes;
    // an empty list queues nothing.
    void queuePosting(const CValueAdjustList& list, const CDateTime& day, const std::string& account,
                      const std::string& className, const std::string& customer);
    // Queues the build's "BuildValue" (adding it, or replacing a provisional one; the
    // other request is the alternative). The record must outlive the commit of its day.
    void queueBuildValue(CCostrunTxn& build, const std::string& txnId, const std::string& text);
    bool empty() const { return writes.empty(); }

    // Queues the commit of `day` as "LastUpToDate" after the day's writes and sends them
    // all, with stopOnError, in message sets of at most kMaxSetRequests requests and about
    // kMaxSetBytes each, the commit in the last; `nextQueries` (the next day's queries)
    // follow the commit in the last set and their answers are kept for that day. A refusal
    // (after the write's alternative, when it has one) or a missing answer throws
    // CQbException with QuickBooks' message; the queue is empty afterwards either way.
    void commit(const CDateTime& day, const std::vector<std::string>& nextQueries);
    // The answers to the next day's queries sent with the last commit; empty for another day.
    std::vector<std::unique_ptr<CQbResponse>> takeNextAnswers(const CDateTime& day);
    // The last day committed; none before the first commit.
    const std::optional<CDateTime>& committed() const { return committedDay; }
    // The sum of the corrections QuickBooks carried out since the last call.
    double takeDayCorrection();

    static constexpr std::size_t kMaxSetRequests = 200;
    static constexpr std::size_t kMaxSetBytes = 1 << 20;

private:
    // A request the day sends with its commit: a value adjustment, a build value, or the
    // commit of "LastUpToDate" itself.
    struct CWrite {
        std::string request;
        std::string alternative;  // sent once in its place when QuickBooks refuses it
        int posting = -1;               // its posting in postings, or -1
        CCostrunTxn* build = nullptr;   // the build whose value it stores, or null
        std::vector<std::string> items = {};  // the items of its posting it holds
    };
    // One queued value adjustment list and how many of its requests are not yet answered.
    // A value adjustment QuickBooks took: what it answered it by and the items it holds.
    struct CTaken {
        std::string txnId;
        std::string editSequence;
        std::vector<std::string> items;
    };
    struct CPosting {
        CValueAdjustList list;
        CDateTime day;
        std::size_t requestsLeft = 0;
        std::vector<CTaken> taken;
    };

    // The writes [from, to) that fit one message set.
    std::size_t setEnd(std::size_t from) const;
    // Judges the answers to the writes [from, from + count): books those carried out and
    // returns where the next set starts (a refused write with an alternative goes again);
    // throws on a refusal without one.
    std::size_t judgeAnswers(std::size_t from, std::size_t count,
                             const std::vector<std::unique_ptr<CQbResponse>>& answers);
    void book(const CWrite& write, const CQbResponse& answer);
    // The record takes the postings of the committed day.
    void recordPostings() const;
    [[noreturn]] void refuse(const CWrite& write, const CQbResponse& answer);
    void clear();

    CQbRequestBase& session;
    CRunSummary& summary;
    CRefusedHandler refused;
    CSeenRecord* record = nullptr;
    std::vector<CWrite> writes;
    std::vector<CPosting> postings;
    double dayCorrection = 0;
    std::optional<CDateTime> committedDay;
    std::optional<CDateTime> nextDay;
    std::vector<std::unique_ptr<CQbResponse>> nextAnswers;
};
