// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// CCostrunDoc: the valuation engine. It owns the session with QuickBooks, keeps the
// run settings that live in the company file's custom fields, reads the run's items
// and transactions, values every day by FIFO, posts the value adjustments, and writes
// the CSV report and the activity log.
//
// Failure reporting: operations return false and leave the reason in errorText; the
// request layer's CQbException is caught at the documented points only. Not
// thread-safe: the engine runs on the user-interface thread.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "costrunitemlist.h"
#include "costrunreceipts.h"
#include "costruntxnlist.h"
#include "costrununits.h"
#include "datetime.h"
#include "files.h"
#include "qbobjectlist.h"
#include "qbrequestbase.h"
#include "runsummary.h"
#include "valueadjust.h"

// Where the engine keeps its files. Empty folders mean the user's defaults (the
// application data and documents folders); the engine appends its own sub-folders.
struct CCostrunFolders {
    std::string applicationData;
    std::string documents;
};

class CCostrunDoc {
public:
    // Creates the data folder (<application data>/Veltrane/Lotwise) and the report
    // folder (<documents>/Veltrane/Lotwise Reports) when missing.
    explicit CCostrunDoc(const CCostrunFolders& folders = {});
    ~CCostrunDoc();
    CCostrunDoc(const CCostrunDoc&) = delete;
    CCostrunDoc& operator=(const CCostrunDoc&) = delete;

    // --- dates ---
    static CDateTime endOfDay(const CDateTime& t);
    static CDateTime startOfDay(const CDateTime& t);
    // The same time of day on the next / previous calendar day. Days advance by the
    // calendar, not by 24 hours, so that a daylight-saving change can neither skip a
    // day nor process one twice.
    static CDateTime nextDay(const CDateTime& t);
    static CDateTime previousDay(const CDateTime& t);

    // --- session ---
    // Replaces the session (the engine owns it); the old one is destroyed first.
    void setSession(std::unique_ptr<CQbRequestBase> newSession);
    CQbRequestBase* getSession() const { return session.get(); }
    // Opens the company file through a new single-user session ("Lotwise", "Veltrane",
    // event log in the data folder), reads the company with the system's custom fields,
    // the run settings and the preferences. False with the reason in errorText; after
    // a failure to open the session no session remains.
    bool openCompany(const std::string& path);
    // Ends the session with QuickBooks until the next request, which begins one afresh:
    // QuickBooks is free between the window's commands, and one closed and started again
    // meanwhile is found anew. The company, settings and lists read stay.
    void endSession();
    // Receives every progress text (the main window's status line).
    void setStatusHandler(std::function<void(const std::string&)> handler);

    // --- run settings in the company file ---
    // Reads the company record (with the system's custom fields) into `company`.
    bool loadCompany();
    void loadRunSettings();
    bool loadPreferences();
    bool defineRunFields();
    bool saveStartSettings();
    // Commits lastUpToDate on its own (commitDay without a next day); false with
    // errorText when QuickBooks refused it or did not answer.
    bool saveLastUpToDate();
    // Adds (or, with add false, modifies) a company custom field of the system, trying
    // the other request when QuickBooks refuses; throws CQbException with QuickBooks'
    // message when both are refused.
    void storeCompanyField(const std::string& name, const std::string& value, bool add);

    // --- transaction intake ---
    // The day's five transaction queries (invoices, sales receipts, inventory
    // adjustments, credit memos, builds with the system's custom fields), with the
    // filters they refer to; without builds (a company without assemblies) the first four.
    struct CDayQueries {
        CDayQueries(const CDateTime& day, bool withBuilds);
        CQbFieldList filter;
        CQbFieldList buildFilter;
        std::vector<CQbRequestBase::CQuery> queries;
    };
    // The day's issuing transactions and builds, or null for a day without any. The
    // queries go in one message set, unless the previous day's commit carried them
    // (prefetchedAnswers). The system's own value adjustments dated that day are kept
    // apart in dayOwnPostings.
    std::unique_ptr<CCostrunTxnList> retrieveDayTxns(const CDateTime& day);
    // Deletes the system's own value adjustments of the day being calculated, left by a
    // run that stopped before committing it, so the day is redone from a clean slate.
    // Throws CQbException when QuickBooks refuses a deletion.
    void deleteOwnPostings();
    // Writes the warnings QuickBooks gave with answers that were used to the activity log.
    void logQueryWarnings();
    void takeReceiptLines(CCostrunItemList& list, const std::optional<CDateTime>& txnDate,
                          const std::string& refNumber, const std::string& typeName,
                          const std::vector<CQbField*>& lines, const std::string& quantityField,
                          const std::string& amountField, double rate);
    // A receiving line as lots are taken from it (costrunreceipts.h).
    using CReceiptLine = ::CReceiptLine;
    // What a lot needs of the line; none for a line that can give no lot (no fields, no
    // quantity above 0, no item).
    static std::optional<CReceiptLine> readReceiptLine(const CQbField& line,
                                                       const std::string& quantityField,
                                                       const std::string& amountField);
    // A line of a purchase (bill, item receipt, check, card charge) or of a credit
    // (vendor credit, card credit; by type code) as the walk takes it: a receipt, a
    // return (costrunreturns.cpp), or none. Only a Quantity that is present makes a
    // return: a line without one is none.
    static std::optional<CReceiptLine> readPurchaseLine(const CQbField& line, int txnTypeCode);
    // The line's lot for its item in the list, when that item still takes lots; the
    // amount is multiplied by the rate. A return gives no lot.
    void placeReceiptLot(CCostrunItemList& list, const CReceiptLine& line,
                         const std::optional<CDateTime>& txnDate, const std::string& refNumber,
                         const std::string& typeName, double rate);
    // Reads the sets of units of measure once per run, when an item of the run's item
    // lists names one; a company file that does not use them (status 3250) has none.
    // Throws CQbException when QuickBooks refuses the query.
    void retrieveUnits();
    // A line's quantity in the item's base unit (see costrununits.h). None when the
    // unit cannot be read: the item is then left unvalued for the day, and the reason
    // names the unit and the line's transaction (its type name and RefNumber).
    std::optional<double> toBaseQuantity(CCostrunItem& item, const CLineUnit& unit, double quantity,
                                         const std::string& txnType, const std::string& refNumber);
    // The rate that turns a receiving transaction's line amounts into the home
    // currency: the transaction's "ExchangeRate" when multicurrency is on, otherwise 1.0.
    // A missing, zero or negative rate counts as 1.0.
    double receiptRate(const CQbObject& txn) const;
    // The same for the "ExchangeRate" a receiving record kept (-1.0 when it had none).
    double receiptRate(double exchangeRate) const;
    void sumIssues(CCostrunItemList& list, const CCostrunTxnList& dayTxns);
    std::unique_ptr<std::map<std::string, std::string>> retrievePriceList();
    // The run's inventory adjustments from the start date up to the date, whatever their
    // account, less the system's own value adjustments (told by their memo).
    void retrieveInventoryAdjustments(const CDateTime& newUpToDate);
    void retrieveClasses();

    // --- value adjustments ---
    // The share of one issuing line (item named on the line, quantity q) is added to
    // the item's running value and to the list; false when the line is not adjusted.
    bool shareLine(CCostrunItemList& items, const CQbField& line, double q,
                   CValueAdjustList& adjustments);
    // Posts the day's value adjustments for every issuing transaction of dayTxns.
    void postDayAdjustments(const CDateTime& day, const CCostrunTxnList& dayTxns);
    void postInventoryAdjustment(const CDateTime& day, const CQbObject& txn);
    void postSalesAdjustments(const CDateTime& day, const CQbObject& txn, int typeCode);
    // Logs one list and queues its postings with the day's writes (an empty list queues
    // nothing); false without a session, with the reason in errorText.
    bool postAdjustList(const CValueAdjustList& list, const CDateTime& day,
                        const std::string& account, const std::string& className,
                        const std::string& customer, bool sales);

    // --- the books behind the valued period ---
    // A transaction of a kind the valuation reads, dated on or before "LastUpToDate" and
    // entered, changed or deleted since the last run.
    struct CBookChange {
        std::string type;       // TxnDelType: "Bill", "SalesReceipt", ...
        std::string refNumber;
        std::optional<CDateTime> date;  // none for a deleted one whose date is not known
        bool deleted = false;
    };
    // Asks QuickBooks for such transactions (nothing to ask for a file never valued or
    // last valued before "LastRunTime" was kept). Where the record of what the last run
    // read is at hand, a change is found by content (a new transaction, another
    // EditSequence or date), looking back a margin before "LastRunTime"; otherwise by
    // modification time after it. False when QuickBooks refused a query:
    // changesBehindText then says that the check could not be made.
    bool checkChangesBehind();
    const std::vector<CBookChange>& getChangesBehind() const { return runRecord.changesBehind; }
    // The start of the first day that may be stale; none without changes.
    std::optional<CDateTime> earliestChangeBehind() const;
    // The warning for the user; empty when there is nothing to say.
    std::string changesBehindText() const;
    // Stores "LastRunTime": now, or the latest modification time QuickBooks gave a
    // build since `started` when that is later; defines the field on a file that lacks
    // it. The record takes the EditSequences QuickBooks gave the builds whose value this
    // operation wrote or cleared. False with errorText when QuickBooks refused.
    bool saveLastRunTime(const CDateTime& started);
    // The day a rewind to `date` starts from: the date itself, or the start date for
    // any date before it; none for a file never valued.
    std::optional<CDateTime> rewindFrom(const CDateTime& date) const;
    // How many of the system's value adjustments a rewind to the date deletes; -1 with
    // errorText when QuickBooks refused the query.
    int countRewindPostings(const CDateTime& date);
    // Takes the file back to the end of the day before the date: commits the new
    // "LastUpToDate" first, then deletes the system's value adjustments dated on or after
    // the date and clears the "BuildValue" of the builds dated so. On or before the start
    // date, every value the system stored goes (postings, build values, run settings);
    // the definitions of its custom fields stay, to be used again. Refused (before
    // anything is written) for a date on or before QuickBooks' closing date. False with
    // errorText when refused or stopped; a rewind or run after it finishes the work.
    bool rewindTo(const CDateTime& date);
    int getRewoundPostings() const { return runRecord.rewoundPostings; }
    // The record of the transactions runs read: TxnID, EditSequence and date (the date
    // names a deleted one), stamped with the "LastRunTime" of the run that wrote it.
    std::string seenRecordPath() const;
    void loadSeenRecord();
    // Records the transactions of a list that holds every one of the type dated from
    // `fromDate` to `toDate` (YYYY-MM-DD; "" for no bound): those of the type recorded in
    // that range and missing from it are gone, and leave the record.
    void recordSeen(const CQbObjectList* list, const char* type, const std::string& fromDate,
                    const std::string& toDate);
    // Writes the record; stamped with "LastRunTime" when `stamped` (the stored time
    // belongs to it), otherwise the next check goes by modification time.
    void saveSeenRecord(bool stamped);
    std::vector<std::string> ownPostingsFrom(const CDateTime& from);
    // Whether a transaction QuickBooks lists as modified differs from what the record
    // holds of it; one the record cannot tell about counts when modified at or after
    // `after` (always without it).
    bool changedSinceRecord(const CQbObject& txn, const std::optional<CDateTime>& after) const;
    // QuickBooks' own FIFO costing is on (its Items & Inventory preferences).
    bool getQuickBooksFifo() const { return settings.quickBooksFifo; }
    const std::optional<CDateTime>& getQuickBooksFifoDate() const { return settings.quickBooksFifoDate; }
    // QuickBooks' closing date (its Accounting preferences); none when not set.
    const std::optional<CDateTime>& getClosingDate() const { return settings.closingDate; }
    // Why a run whose first day to value is `firstDay` (or, with `rewind`, a rewind to
    // that day) cannot be carried out: the day is on or before the closing date. Names
    // the closing date and what to do; empty when nothing stands in the way.
    std::string closingDateRefusal(const CDateTime& firstDay, bool rewind) const;

    // --- the edition and its inventory preferences (costruneditions.cpp) ---
    // Finds whether the company's QuickBooks has assemblies. An edition whose ProductName
    // names Pro is asked the assembly item query once: QuickBooks' status 3250 ("not
    // available in this version") proves it has none, and a run then sends no request
    // about assembly items, builds or their valuation. False with errorText when
    // QuickBooks refused the question otherwise or left it unanswered.
    bool readEdition(const std::string& productName);
    // Reads inventory sites, Enhanced Inventory Receiving and serial or lot number
    // tracking from QuickBooks' preferences (absent elements read as off).
    void readInventoryPreferences(const CQbObject& preferences);
    bool hasAssemblies() const { return settings.assemblies; }
    bool getInventorySites() const { return settings.inventorySites; }
    bool getEnhancedReceiving() const { return settings.enhancedReceiving; }
    // "SerialNumber" or "LotNumber", empty when neither is tracked.
    const std::string& getSerialOrLot() const { return settings.serialOrLot; }

    // --- what the run did ---
    const CRunSummary& getRunSummary() const { return runRecord.runSummary; }
    // The run's page beside the CSV report; empty before a run.
    const std::string& getPagePath() const { return files.pagePath; }
    // Notes the exceptions of a calculated day's item list (items left unvalued, items
    // valued from the opening lot alone past the run's first month) and keeps the items
    // left unvalued for the next calculated day.
    void noteDayItems(const CCostrunItemList* list, const CDateTime& day);
    // Why an item cannot be valued ("not valued: ..."), or nothing when its lots cover
    // what it holds.
    static std::optional<std::string> unvaluedReason(const CCostrunItem& item);
    // The closing valuation: QuickBooks' values of every item at the end of the last
    // calculated day, read once more after it, valued by FIFO, written to the report as
    // one block of the items on hand and compared with the FIFO values (the proof).
    // Throws CQbException when QuickBooks refuses.
    void proveValues();
    // Writes the run's page beside the CSV report (costrunYYYYMMDD_YYYYMMDD.html).
    void writePage();
    void addException(CRunException::Kind kind, const std::string& item, const CDateTime& day,
                      const std::string& reason);

    // --- the run ---
    // Values every day from the first unprocessed one up to newUpToDate (the end of
    // that day). A calculated day commits "LastUpToDate" with its postings; a day without
    // activity is covered by the next commit, the last day of the run by its own. Refused
    // before anything is read or written when the first day is on or before QuickBooks'
    // closing date. False with errorText on failure.
    bool runValuation(const CDateTime& newUpToDate);

    // --- one valuation day ---
    // Calculates, posts, commits and reports one day (its end, 23:59:59); a day without
    // activity sends only its queries and is not committed. False only when no day has
    // been started or `day` lies before the last processed day; QuickBooks' refusals and
    // lost answers throw CQbException.
    bool processDay(const CDateTime& day);
    // inventoryList and assemblyList from QuickBooks' valuation summaries of the day for
    // the items the day reads (dayItems), sent together. Throws CQbException when
    // QuickBooks refuses any of them or does not answer.
    void loadValuations(const CDateTime& day, const CCostrunTxnList& dayTxns);
    // The stocked items the day's calculation reads, by type, in name order
    // (costrundayitems.cpp).
    struct CDayItems {
        std::vector<std::string> inventory;
        std::vector<std::string> assemblies;
    };
    CDayItems dayItems(const CDateTime& day, const CCostrunTxnList& dayTxns) const;
    // Valuation summaries of the day naming the items, at most kMaxReportItems a request.
    // The valuation summaries of the day of every item, by item type (assemblies only
    // when the edition has them).
    std::vector<std::string> valuationRequestsByType(const CDateTime& day);
    std::vector<std::string> namedValuationRequests(const CDateTime& day, const std::vector<std::string>& names);
    // Sends the requests in message sets within kMaxSetRequests and kMaxSetBytes; one
    // answer (null when missing) per request, in order.
    std::vector<std::unique_ptr<CQbResponse>> sendInSets(std::vector<std::string> requests);
    static constexpr std::size_t kMaxReportItems = 500;
    // One valuation summary into the list; false without a session, and a refusal
    // throws CQbException.
    bool readValuationReport(CCostrunItemList& list, const CDateTime& date,
                             const std::string& itemType);
    // Reads one answer to a valuation summary into the list (and the activity log).
    void readValuationAnswer(CCostrunItemList& list, const CDateTime& date,
                             std::unique_ptr<CQbResponse> answer);
    void assignAccounts(CCostrunItemList& list);
    // The FIFO walk over the run's receiving transactions, newest first.
    void collectLots(CCostrunItemList& list, const CDateTime& day, const std::string& itemType);
    // Fills receiptIndex from receiptTxns, taking over the records' lines and value
    // changes (costrunreceipts.cpp); once per run, after the last records are added.
    void indexReceipts();
    void addOpeningLots(CCostrunItemList& list, const std::string& itemType);
    // A value change of the receiving record at `position` (an amount that changes the
    // value of an item without bringing in units): the amount goes to the record's own
    // lots of the item already indexed, in proportion to their quantities, or else
    // becomes a value change of the item's stock on hand at the record's date.
    void indexValueChange(std::size_t position, const CReceiptValueChange& change);
    // The walk met a value change of `amount` dated `date`: the item's units on hand at
    // the end of that day (QuickBooks' quantity; the day's own for `day`) carry it alike.
    void shareValueChange(CCostrunItem& item, const CDateTime& date, double amount,
                          const CDateTime& day, const std::string& itemType);
    // QuickBooks' quantity of the item at the end of the date, from the valuation summary
    // of the item type, read once per run and date. Throws CQbException when QuickBooks
    // refuses the report; 0 without a session or for an item the report does not list.
    double quantityAtEndOf(const CDateTime& date, const std::string& itemType, const std::string& item);

    // --- the day's writes and its commit ---
    // A request the day sends with its commit: a value adjustment, a build value, or the
    // commit of "LastUpToDate" itself.
    struct CDayWrite {
        std::string request;      // the request element
        std::string alternative;  // sent once in its place when QuickBooks refuses it
        int posting = -1;               // its posting in dayPostings, or -1
        CCostrunTxn* build = nullptr;   // the build whose value it stores, or null
    };
    // One queued value adjustment list and how many of its requests are not yet answered.
    struct CDayPosting {
        CValueAdjustList list;
        CDateTime day;
        std::size_t requestsLeft = 0;
    };
    // Queues the commit of `day` as "LastUpToDate" after the day's writes and sends them
    // all, with stopOnError, in message sets of at most kMaxSetRequests requests and
    // about kMaxSetBytes each, the commit in the last; with a next day, that day's
    // queries follow the commit in the last set and their answers are kept for it. The
    // day is committed only when QuickBooks carried out every write. A refusal (after
    // the write's alternative, when it has one) or a missing answer throws CQbException
    // with QuickBooks' message; a refused value adjustment is also an exception of the run.
    void commitDay(const CDateTime& day, const std::optional<CDateTime>& next);
    static constexpr std::size_t kMaxSetRequests = 200;
    static constexpr std::size_t kMaxSetBytes = 1 << 20;

    // --- assembly builds ---
    void markBuiltAssembliesInactive(CCostrunItemList& assemblies);
    void reserveComponents(CCostrunItemList* inventory, CCostrunItemList* assemblies,
                           const CCostrunTxnList& dayTxns);
    // One valuation pass over the day's builds; returns how many builds got a value.
    int valueBuilds(CCostrunItemList* inventory, CCostrunItemList* assemblies, int pass);
    // Queues the build's "BuildValue" with the day's writes (adding it, or replacing a
    // provisional one; the other request is the alternative).
    void storeBuildValue(CCostrunTxn& record, const std::string& text);
    void buildLot(const CReceiptRecord& build, CCostrunItemList& list);
    void transferBuildValues(CCostrunItemList* inventory, CCostrunItemList* assemblies,
                             const CCostrunTxnList& dayTxns, const CDateTime& day);
    void transferBuildValue(const CQbObject& buildRet, CCostrunItemList* inventory,
                            CCostrunItemList& assemblies, const CDateTime& day);

    // --- report and activity log ---
    bool openReportFile(const CDateTime& firstDay, const CDateTime& newUpToDate);
    // One block of the report: a day's items, or with `closing` the closing valuation of
    // the lists' items on hand.
    void writeReportBlock(std::initializer_list<const CCostrunItemList*> lists, const CDateTime& day, bool closing);
    void closeReportFile();
    void openActivityLog();
    void logActivity(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void logReceivingTxns(const CQbObjectList* list, const char* kindName);
    void logInventoryAdjustments(const CQbObjectList* list);
    void logBuilds(const CQbObjectList* list);
    void logDaySales(const CQbObjectList* list, const char* heading, const char* lineName,
                     const char* groupName);

    // --- state ---
    const std::string& getErrorText() const { return errorText; }
    const std::optional<CDateTime>& getStartDate() const { return settings.startDate; }
    const std::optional<CDateTime>& getLastUpToDate() const { return settings.lastUpToDate; }
    const std::optional<CDateTime>& getLastExecTime() const { return settings.lastExecTime; }
    bool getMultiCurrency() const { return settings.multiCurrency; }
    const std::string& getReportPath() const { return files.reportPath; }
    const std::string& getDataFolder() const { return files.dataFolder; }
    const std::string& getReportFolder() const { return files.reportFolder; }
    std::string activityLogPath() const { return joinPath(files.dataFolder, "activity.txt"); }

    // --- what the front ends set ---
    // The company file the window opens: its path and the title its reports are filed
    // under.
    void setCompanyFile(const std::string& path, const std::string& title);
    // The company's name as QuickBooks gives it; empty before a company is read.
    std::string getCompanyName() const;
    // Stores the start date (the start of that day) of a file never valued, with the
    // first run settings. False with errorText when QuickBooks refused: nothing was
    // stored, and the file stays never valued, in memory as on disk.
    bool storeStartDate(const CDateTime& start);

    // Drops the current day's response lists and build list.
    void releaseDayLists();
    // Sets the status line to the text and lets pending window messages run.
    void progress(const std::string& text);

private:
    friend class CCostrunDocTestAccess;

    // TxnID to what a run read of it (seenTxns).
    struct CSeenTxn {
        std::string type;
        std::string date;  // YYYY-MM-DD
        std::string refNumber;
        std::string editSequence;  // empty in a record written before it was kept
    };
    // recordSeen of TxnIDs with what was read of them (as the list's records give it).
    void recordSeen(const std::vector<std::pair<std::string, CSeenTxn>>& txns, const char* type,
                    const std::string& fromDate, const std::string& toDate);
    // Sets, removes or clears records of seenTxns, keeping seenByDate with them.
    CSeenTxn& setSeen(const std::string& id, const std::string& date);
    void forgetSeen(std::map<std::string, CSeenTxn>::iterator seen);
    void clearSeen();
    // recordSeen of the run's receiving records of the type code (costrunreceipts.cpp).
    void recordSeenReceipts(int code, const char* type, const std::string& fromDate, const std::string& toDate);
    // receiptTxns by item: for every item named on a receiving line, and every assembly
    // built, the positions of its records in receiptTxns (ascending) with the line as
    // read (none for a build, whose lot is the whole build). The walk of a day follows
    // only the items still short of lots, and the lines are read once per run rather
    // than on every day that reaches back to them.
    struct CReceiptEntry {
        std::size_t record;
        std::optional<CReceiptLine> line;
        // A value change of the stock on hand (no line then), before any rate.
        std::optional<double> valueChange = std::nullopt;
    };
    // Returns to vendors (costrunreturns.cpp).
    // The returns among one record's entries [first, last) for the item: the units
    // they take out of the older receipts the walk meets next, and their lines in the
    // item's lots (negative quantities, at the return's own cost).
    void takeReturns(CCostrunItem& item, const CReceiptRecord& record,
                     std::vector<CReceiptEntry>::const_iterator first,
                     std::vector<CReceiptEntry>::const_iterator last, double rate);

    // The run settings: what the company file's custom fields and QuickBooks'
    // preferences say of the valuation.
    struct CRunSettings {
        std::optional<CDateTime> startDate;
        std::optional<CDateTime> lastExecTime;
        std::optional<CDateTime> lastUpToDate;
        // When the last run or rewind finished writing ("LastRunTime").
        std::optional<CDateTime> lastRunTime;
        // "StartDate" is stored in the file (else the first run stores it).
        bool hasStoredStart = false;
        bool multiCurrency = false;
        // QuickBooks' own FIFO costing (its Items & Inventory preferences).
        bool quickBooksFifo = false;
        std::optional<CDateTime> quickBooksFifoDate;
        // The start of QuickBooks' closing date; none when not set.
        std::optional<CDateTime> closingDate;
        // The edition and its inventory preferences (costruneditions.cpp).
        std::string productName;
        bool assemblies = true;
        bool inventorySites = false;
        bool enhancedReceiving = false;
        std::string serialOrLot;
    };
    // The lists a run reads once and every day uses.
    struct CRunLists {
        std::vector<std::string> accountList;
        std::vector<std::string> assetAccountList;
        std::vector<std::string> classList;
        std::unique_ptr<CQbObjectList> inventoryItems;
        std::unique_ptr<CQbObjectList> assemblyItems;
        // The items' COGS and asset accounts by full name, read from the two lists above
        // once per run (assignAccounts).
        std::unordered_map<std::string, std::pair<std::string, std::string>> itemAccounts;
        // The period's inventory adjustments as read, until their records are taken.
        std::unique_ptr<CQbObjectList> inventoryAdjustments;
        // Every receiving transaction of the period, kept compact; the parsed lists go as
        // soon as their records are taken.
        std::unique_ptr<CReceiptRecords> receiptTxns;
        std::unordered_map<std::string, std::vector<CReceiptEntry>> receiptIndex;
        std::unique_ptr<std::map<std::string, std::string>> priceList;
        std::unique_ptr<CCostrunItemList> openingInventory;
        std::unique_ptr<CCostrunItemList> openingAssembly;
        CCostrunUnits units;
        // QuickBooks' quantities at the end of the days of value changes, by item type
        // and date (quantityAtEndOf).
        std::map<std::string, std::unique_ptr<CCostrunItemList>> changeDayQuantities;
        // Test hook: each calculated day reads every stocked item, not only the day's.
        bool readEveryItem = false;
    };
    // The day being calculated: its transactions, item lists, writes and postings.
    struct CDayLists {
        std::unique_ptr<CQbObjectList> dayInvoices;
        std::unique_ptr<CQbObjectList> daySalesReceipts;
        std::unique_ptr<CQbObjectList> dayInventoryAdjustments;
        std::unique_ptr<CQbObjectList> dayCreditMemos;
        std::unique_ptr<CQbObjectList> dayBuilds;
        std::unique_ptr<CCostrunTxnList> dayBuildTxns;
        // TxnIDs of the system's own value adjustments dated the day.
        std::vector<std::string> dayOwnPostings;
        // Builds of the day already logged as not valued for a short component.
        std::set<std::string> shortBuildsLogged;
        std::unique_ptr<CCostrunItemList> inventoryList;
        std::unique_ptr<CCostrunItemList> assemblyList;
        double dayCorrection = 0;  // sum of the corrections posted on the day
        // The day's writes, sent with its commit, and the postings they belong to.
        std::vector<CDayWrite> dayWrites;
        std::vector<CDayPosting> dayPostings;
        // The answers to a day's queries sent with the previous day's commit.
        std::optional<CDateTime> prefetchedDay;
        std::vector<std::unique_ptr<CQbResponse>> prefetchedAnswers;
    };
    // What this run (or rewind) has done and found so far.
    struct CRunRecord {
        CRunSummary runSummary;
        // The last day this run committed.
        std::optional<CDateTime> committedUpTo;
        // The run's new up-to date while it runs.
        std::optional<CDateTime> runUpTo;
        std::optional<CDateTime> lastCalculatedDay;
        // Items left unvalued on lastCalculatedDay: read again on the next calculated day,
        // touched or not, so that an exception counts every day it lasts.
        std::set<std::string> lastDayUnvalued;
        std::set<std::string> openingOnlyNoted;
        std::vector<CBookChange> changesBehind;
        std::string changesBehindError;
        int rewoundPostings = 0;
        std::map<std::string, CSeenTxn> seenTxns;
        // The TxnIDs of seenTxns by date (keys of seenTxns), so that recordSeen of one
        // day looks at that day's records alone; kept with seenTxns by setSeen,
        // forgetSeen and clearSeen.
        std::map<std::string, std::vector<const std::string*>> seenByDate;
        // Set when the last run lies further back than QuickBooks lists deletions: the
        // moment before which deletions could not be checked.
        std::optional<CDateTime> deletionHorizon;
        // The "LastRunTime" the loaded record was stamped with; empty when none.
        std::string seenRecordStamp;
        // Builds whose value this operation wrote or cleared.
        std::set<std::string> ownBuildWrites;
    };
    // The files the engine writes and where they go.
    struct COutputFiles {
        std::FILE* activityLog = nullptr;
        bool activityLogOpen = false;
        std::string dataFolder;
        std::string reportFolder;
        std::FILE* reportFile = nullptr;
        std::string reportPath;
        std::string pagePath;
    };

    // The engine's state. Its own parts (the costrun*.cpp files) are members; front ends
    // use the operations above; tests reach it through CCostrunDocTestAccess alone.
    std::unique_ptr<CQbRequestBase> session;
    std::string companyPath;
    std::string companyTitle;
    std::unique_ptr<CQbObject> company;
    std::string errorText;
    std::string progressText;
    CRunSettings settings;
    CRunLists runLists;
    CDayLists dayLists;
    CRunRecord runRecord;
    COutputFiles files;

    std::function<void(const std::string&)> statusHandler;
};
