// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// The stand-in's request engine: answers one qbXML request document against an open
// company file as QuickBooks would. It parses the document with libxml2, refuses
// documents QuickBooks' parser would refuse (malformed, schema-invalid when a schema
// is configured, badly typed values, unknown requests), then runs each request in
// order inside its own SQLite transaction, so a request changes the file whole or not
// at all. The response carries one Rs element per executed request, with requestID
// echoed and QuickBooks' status codes and texts; onError="stopOnError" ends the run at
// the first error. Query iterators live in the engine, which lives for one session, and
// so does the average-cost ledger behind the valuation summary and the value differences
// of inventory adjustments (qbsimvaluation.h).
//
// Not thread-safe; one engine per session.
#pragma once

#include "qbsimcompany.h"
#include "qbsimmergeitems.h"
#include "qbsimreceivebill.h"
#include "qbsimschema.h"
#include "qbsimtxnkinds.h"
#include "qbsimvaluation.h"
#include "qbsimxml.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CQbSimEngine {
public:
    // The company must outlive the engine. schema may be null (no validation).
    CQbSimEngine(CQbSimCompany& company, std::shared_ptr<const CQbSimSchema> schema,
                 bool multiUserSession = false);
    ~CQbSimEngine();
    CQbSimEngine(const CQbSimEngine&) = delete;
    CQbSimEngine& operator=(const CQbSimEngine&) = delete;

    // Returns the response document. Throws CQbSimParseError when the document is
    // refused as a whole (the processor's 0x80040400).
    std::string processRequest(const std::string& requestXml);

    std::size_t openIterators() const { return iterators.size(); }

    // Consulted before each request of a document runs, with the request's element
    // name; a status it returns answers the request instead (the request does nothing).
    // Fault injection uses it to make QuickBooks refuse chosen requests.
    using RequestHook = std::function<std::optional<CQbSimStatus>(const std::string& requestName)>;
    void setRequestHook(RequestHook hook) { requestHook = std::move(hook); }

    // One row of the inventory valuation summary, in report order.
    struct CValuationRow {
        enum Kind { Text, Data, Subtotal, Total };
        Kind kind = Data;
        std::string fullName;  // the item (RowData value); empty for section and total rows
        std::string label;     // the first column's text
        std::string description;
        double quantity = 0;
        std::int64_t valueCents = 0;
        std::optional<double> averageCost;  // data rows only
        std::optional<double> salesPrice;   // data rows of items with a sales price
        std::optional<std::int64_t> retailCents;
    };
    // The item kinds an ItemTypeFilter value selects (both stocked kinds when absent).
    static std::vector<std::string> valuationKinds(const std::optional<std::string>& itemTypeFilter);
    // The valuation summary at the end of `date` (YYYY-MM-DD) for items of the kinds, a
    // section per kind; with `only`, for those of the kinds among the item rows it holds.
    std::vector<CValuationRow> valuationSummary(const std::string& date,
                                                const std::vector<std::string>& kinds,
                                                const std::set<std::int64_t>* only = nullptr);
    CQbSimValuation& ledger() { return *valuation; }
    // The item rows a report's ReportItemFilter names (ListID, FullName or either with
    // children); throws 3140 for a name that is no item.
    std::set<std::int64_t> reportItems(xmlNodePtr filter);

    // The item's quantity on hand from every posted (non-pending) transaction dated
    // before `date`, or on `date` and entered before `entrySeq`.
    double quantityOnHand(std::int64_t itemRow, const std::string& date, std::int64_t entrySeq);
    // The item's quantity after every posted transaction, as its Ret reports it. Only
    // for reading, like currentAverageCost.
    double quantityOnHand(std::int64_t itemRow);
    // quantityOnHand(itemRow, date, entrySeq) for rendering: the item's posted lines are
    // read once per request and summed in date and entry order, so a query that returns
    // a year of builds does not sum each part's history again for every build. Only for
    // reading; the request's own writes must be done before the first call.
    double renderedOnHand(std::int64_t itemRow, const std::string& date, std::int64_t entrySeq);

    // The item's average cost as its Ret reports it: the ledger's figure after every
    // posted transaction (through today or the file's latest transaction date, whichever
    // is later), the way QuantityOnHand counts every posted transaction. Only for
    // reading, like renderedOnHand.
    double currentAverageCost(std::int64_t itemRow);
    // The date those figures are taken at (today or the latest transaction date, whichever
    // is later), with the ledger evaluated through it once per request.
    const std::string& ledgerNow();

    // "Enter Bill for Received Items" (qbsimreceivebill.h) on this engine's file, in one
    // SQLite transaction; throws CQbSimStatus when refused, leaving the file as it was.
    void enterBillForReceivedItems(const std::string& txnId, const CQbSimBillForReceipt& bill);

    // The item list's merge (qbsimmergeitems.h) on this engine's file, in one SQLite
    // transaction; throws CQbSimStatus when refused, leaving the file as it was.
    void mergeItems(const std::string& fromFullName, const std::string& intoFullName);

    // How long TxnDeletedQueryRq and ListDeletedQueryRq list what was deleted.
    static constexpr std::int64_t kDeletionsListedSeconds = 90LL * 24 * 60 * 60;

    // What a query asked the Ret elements to carry.
    struct CRenderOptions {
        bool includeLineItems = false;
        bool includeComponentLineItems = false;
        std::vector<std::string> ownerIds;
        std::set<std::string> includeRetElements;
    };

private:
    struct CQuerySpec;
    struct CIterator {
        std::string requestName;
        std::vector<std::int64_t> rows;
        std::size_t next = 0;
        CRenderOptions options;
        std::size_t pageSize;  // MaxReturned of the Start request; Continue may change it
    };
    using Handler = void (CQbSimEngine::*)(xmlNodePtr rq, CQbSimXmlWriter& out,
                                           std::vector<std::pair<std::string, std::string>>& attrs);

    static const std::map<std::string, Handler>& handlers();
    void runRequest(xmlNodePtr rq, Handler handler, CQbSimXmlWriter& out,
                    std::vector<std::pair<std::string, std::string>>& attrs);

    // Queries (qbsimengine.cpp): filters, paging and iterators.
    void query(xmlNodePtr rq, const CQuerySpec& spec, CQbSimXmlWriter& out,
               std::vector<std::pair<std::string, std::string>>& attrs);
    std::vector<std::int64_t> selectList(xmlNodePtr rq, const CQuerySpec& spec, int& warning,
                                         std::string& warningText);
    std::vector<std::int64_t> selectTxns(xmlNodePtr rq, const CQuerySpec& spec);
    std::set<std::int64_t> refFilter(xmlNodePtr filter, const std::string& nameSpace);
    void renderRow(const CQuerySpec& spec, std::int64_t row, const CRenderOptions& options,
                   CQbSimXmlWriter& out);
    static CRenderOptions renderOptions(xmlNodePtr rq);

    // Shared reference helpers (qbsimlists.cpp).
    struct CListRow {
        std::int64_t row = 0;
        std::string kind;
        std::string listId;
        std::string fullName;
        std::int64_t sublevel = 0;
        bool active = true;
    };
    std::optional<CListRow> listRow(std::int64_t row);
    std::optional<CListRow> findList(const std::string& nameSpace, const std::string* listId,
                                     const std::string* fullName);
    // Resolves a *Ref element to a list row of one of the kinds; throws 3140 naming
    // typeLabel and where when it does not resolve.
    std::int64_t resolveRef(xmlNodePtr refNode, const std::vector<std::string>& kinds,
                            const std::string& nameSpace, const std::string& typeLabel,
                            const std::string& where);
    std::optional<std::int64_t> optionalRef(xmlNodePtr parent, const char* refName,
                                            const std::vector<std::string>& kinds,
                                            const std::string& nameSpace,
                                            const std::string& typeLabel, const std::string& where);
    void writeRef(CQbSimXmlWriter& out, const char* tag, std::optional<std::int64_t> row);
    std::int64_t ensureSpecialAccount(const std::string& special, const std::string& name,
                                      const std::string& accountType);
    std::string accountType(std::int64_t row);
    std::int64_t insertListObject(xmlNodePtr add, const std::string& kind,
                                  const std::string& nameSpace, std::size_t maxNameLength,
                                  const std::vector<std::string>& parentKinds,
                                  const std::string& objectLabel);
    void writeListCore(CQbSimXmlWriter& out, std::int64_t row, bool withFullName);

    // List requests (qbsimlists.cpp).
    void accountAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void classAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void customerAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void vendorAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void unitOfMeasureSetAdd(xmlNodePtr, CQbSimXmlWriter&,
                             std::vector<std::pair<std::string, std::string>>&);
    void itemAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    // ItemInventoryModRq, ItemInventoryAssemblyModRq and ClassModRq: renames (children
    // follow), activates or inactivates, moves an item under another parent, changes an
    // item's unit of measure set, descriptions and prices.
    void listMod(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    // The Name and ParentRef of a Mod: the object takes its new name and place, and the
    // full names and sublevels of everything below it follow. Refuses a parent that is
    // not of `kind` (3140), the object itself or one of its descendants as its parent
    // (3140), a full name in use (3100) and a sixth level (3180).
    void placeListObject(std::int64_t row, xmlNodePtr mod, const std::string& nameSpace,
                         const std::string& kind, const std::string& label);
    // The UnitOfMeasureSetRef of an item Mod. An item used on transactions changes its
    // set only with ForceUOMChange; its lines keep their units and base quantities.
    void changeUnitSet(std::int64_t row, xmlNodePtr mod);
    void changeItemDetails(std::int64_t row, xmlNodePtr mod);
    bool itemUsedOnTransactions(std::int64_t row);
    void listQuery(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void renderAccount(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out);
    void renderClass(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out);
    void renderEntity(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out);
    void renderUnitOfMeasureSet(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out);
    void renderItem(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out);
    void renderCurrency(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out);

    // Transactions (qbsimtxns.cpp).
    void txnAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void txnQuery(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    // Deletes a transaction and remembers it in the deletion log.
    void txnDel(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    // The list deletion log (qbsimmerge.cpp), by ListDelType and optionally by the time
    // of deletion.
    void listDeletedQuery(xmlNodePtr, CQbSimXmlWriter&,
                          std::vector<std::pair<std::string, std::string>>&);
    // The steps of an item merge (qbsimmerge.cpp).
    CListRow mergedItem(const std::string& fullName);
    void checkMerge(const CListRow& from, const CListRow& into);
    // Whether `item` is a component of the assembly or group, directly or further down.
    bool containsItem(std::int64_t assembly, std::int64_t item);
    void moveItemUses(std::int64_t from, std::int64_t into);
    void removeMergedItem(const CListRow& from);
    // The deletion log, by TxnDelType and optionally by the time of deletion.
    void txnDeletedQuery(xmlNodePtr, CQbSimXmlWriter&,
                         std::vector<std::pair<std::string, std::string>>&);
    // One of the two deletion logs (transactions, list objects), which answer alike.
    struct CDeletionLog {
        const char* table;        // txn_deleted, list_deleted
        const char* columns;      // its type, id, times and name columns, in that order
        const char* typeElement;  // TxnDelType, ListDelType: the filter's and the answer's
        const char* retName;      // TxnDeletedRet, ListDeletedRet
        const char* idElement;    // TxnID, ListID
        const char* nameElement;  // RefNumber, FullName
    };
    void deletionLogQuery(xmlNodePtr rq, CQbSimXmlWriter& out, const CDeletionLog& log);
    // Takes a pending build off pending (RemovePending) once its components are on hand
    // at its date, which may change too (a finalised build moved to a date it is short
    // on is refused, or turned pending with MarkPendingIfRequired); RefNumber and Memo
    // may change too.
    void buildAssemblyMod(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    // Changes an invoice's RefNumber, Memo and TxnDate; a Mod of any other field is
    // refused. A new date reaches the ledger through the company file's change log.
    void invoiceMod(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void renderTxn(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out);

    // Changes to transactions already entered (qbsimtxnchanges.cpp; the Mods of
    // inventory adjustments in qbsimtxns.cpp).
    // Voids a transaction: its amounts go to zero, its memo is prefixed "VOID:", its
    // effect on quantity and value goes; the record and its lines' quantities stay.
    void txnVoid(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    // Changes an inventory adjustment's header and lines (lines left out of a Mod that
    // lists any are deleted, TxnLineID -1 adds one).
    void inventoryAdjustmentMod(xmlNodePtr, CQbSimXmlWriter&,
                                std::vector<std::pair<std::string, std::string>>&);
    void modAdjustmentLines(std::int64_t txnRow, const std::vector<xmlNodePtr>& lineMods,
                            const std::string& where, std::set<std::int64_t>& items);
    // A BillAdd that links an item receipt (LinkToTxnID) enters the bill for it.
    void billForLinkedReceipt(xmlNodePtr rq, xmlNodePtr add, CQbSimXmlWriter& out);
    // Turns the item receipt into a bill dated `date` (the receipt's when empty), with
    // the item lines' new amounts; returns the transaction's row.
    std::int64_t convertReceipt(const std::string& txnId, const std::optional<std::string>& date,
                                const std::map<int, double>& amounts);
    // Marks the inventory as changed from `date` on, for changes the change log's
    // triggers do not see (amounts and quantities of lines).
    void recordInventoryChange(const std::string& date);
    // The items of a transaction's posted lines that move stock the given way (+1 in,
    // -1 out); none for a pending transaction.
    std::set<std::int64_t> itemsMoved(std::int64_t txnRow, int direction);
    // The stocked components a build takes out, with their quantities.
    std::map<std::int64_t, double> buildNeeds(std::int64_t buildRow);
    bool buildShort(std::int64_t buildRow, const std::string& date, std::int64_t entrySeq);
    // QuickBooks turns a finalised build back to pending when a component's quantity on
    // hand just before it drops below what it needs. After a change that took stock of
    // `items` away from (date, entrySeq) on, every later finalised build taking one of
    // them (or an assembly a build turned pending here brought in) is checked in date
    // and entry order and turned pending, with a new EditSequence, when short.
    void pendShortBuilds(const std::string& date, std::int64_t entrySeq, std::set<std::int64_t> items);

    // The steps of an Add (qbsimtxns.cpp), each reading the kind's row of the table.
    struct CTxnHead;
    struct CTxnLine;
    class CTxnLineWriter;
    struct CItemPrices;
    void readTxnTexts(xmlNodePtr add, CTxnHead& head);
    void resolveTxnRefs(xmlNodePtr add, CTxnHead& head);
    std::optional<std::int64_t> allowedAccount(const CQbSimTxnRef& ref, std::optional<std::int64_t> row,
                                               const std::string& where);
    void resolveBuildHeader(xmlNodePtr add, CTxnHead& head);
    void resolveCurrency(xmlNodePtr add, CTxnHead& head);
    std::string insertTxn(xmlNodePtr add, CTxnHead& head);
    std::int64_t addItemLines(xmlNodePtr add, const CTxnHead& head, CTxnLineWriter& lines);
    std::int64_t addExpenseLine(xmlNodePtr node, const CTxnHead& head, CTxnLineWriter& lines);
    std::int64_t addItemLine(xmlNodePtr node, const CTxnHead& head, CTxnLineWriter& lines);
    std::int64_t addGroupLine(xmlNodePtr node, const CTxnHead& head, CTxnLineWriter& lines);
    void addAdjustmentLines(xmlNodePtr add, const CTxnHead& head, CTxnLineWriter& lines);
    void addBuildLines(xmlNodePtr add, const CTxnHead& head, CTxnLineWriter& lines);
    double unitFactor(std::int64_t itemRow, const std::optional<std::string>& unit, const std::string& where);
    CItemPrices itemPrices(std::int64_t itemRow);
    // The Ret's parts (qbsimtxnret.cpp), each element written as the kind's row lists it.
    struct CTxnView;
    struct CTxnLineRow;
    void writeTxnElement(CTxnView& v, const char* element, const CRenderOptions& o, CQbSimXmlWriter& out);
    const std::vector<CTxnLineRow>& txnLines(CTxnView& v);
    void writeExpenseLines(CTxnView& v, const CRenderOptions& o, CQbSimXmlWriter& out);
    void writeItemLines(CTxnView& v, const CRenderOptions& o, CQbSimXmlWriter& out);
    void writeLine(CTxnView& v, const char* tag, const CQbSimLineShape& shape, const CTxnLineRow& r,
                   const CRenderOptions& o, CQbSimXmlWriter& out);
    void writeLineElement(CTxnView& v, const char* element, const CTxnLineRow& r, const CRenderOptions& o,
                          CQbSimXmlWriter& out);
    double onHandBefore(CTxnView& v, std::int64_t item);
    double quantityCanBuild(CTxnView& v);
    // Stamps a transaction with a new TimeModified and EditSequence, as QuickBooks does
    // when one of its custom fields (or one of its lines') is written or deleted.
    void markTxnModified(std::int64_t txnRow);
    // Closing date (qbsimclosing.cpp): 3171 when a transaction of that type and date (or
    // the stored one of the row) lies on or before the company's closing date; `action`
    // is what the request would do to it ("add", "modify", "delete").
    void refuseClosedDate(const std::string& txnDate, const std::string& txnType, const char* action);
    void refuseClosedTxn(std::int64_t txnRow, const char* action);
    // The time stamp a Mod writes as TimeModified and EditSequence: now, but later than
    // the sequence it replaces even within the same second, so every Mod changes it.
    std::int64_t nextEditTime(const std::string& oldSequence);
    std::int64_t addOpeningBalance(std::int64_t itemRow, double quantity, std::int64_t valueCents,
                                   const std::string& date);

    // Reports (qbsimreport.cpp).
    void generalSummaryReportQuery(xmlNodePtr, CQbSimXmlWriter&,
                                   std::vector<std::pair<std::string, std::string>>&);

    // Company, host, preferences and custom fields (qbsimdataext.cpp).
    void hostQuery(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void companyQuery(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void preferencesQuery(xmlNodePtr, CQbSimXmlWriter&,
                          std::vector<std::pair<std::string, std::string>>&);
    void dataExtDefAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void dataExtDefDel(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void dataExtDefQuery(xmlNodePtr, CQbSimXmlWriter&,
                         std::vector<std::pair<std::string, std::string>>&);
    void dataExtAdd(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void dataExtMod(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    void dataExtDel(xmlNodePtr, CQbSimXmlWriter&, std::vector<std::pair<std::string, std::string>>&);
    // The object a DataExtAdd, DataExtMod or DataExtDel names (qbsimdataext.cpp); throws
    // the status QuickBooks answers when it does not exist.
    struct CDataExtTarget;
    CDataExtTarget dataExtTarget(xmlNodePtr node);
    // Shared by DataExtAdd and DataExtMod: checks and writes the value, answers DataExtRet.
    CDataExtTarget storeDataExt(xmlNodePtr node, bool isAdd, CQbSimXmlWriter& out);
    void noSuchTxnQuery(xmlNodePtr, CQbSimXmlWriter&,
                        std::vector<std::pair<std::string, std::string>>&);
    // DataExtRet elements of one object for the owners a query listed.
    void writeDataExt(CQbSimXmlWriter& out, const std::string& objectKind,
                      const std::string& objectKey, const std::vector<std::string>& ownerIds,
                      const char* tag = "DataExtRet");
    void deleteDataExtOf(const std::string& objectKind, const std::string& objectKey);

    CQbSimCompany& company;
    CQbSimDb& db;
    std::shared_ptr<const CQbSimSchema> schema;
    bool multiUser;
    std::map<std::string, CIterator> iterators;
    std::unique_ptr<CQbSimValuation> valuation;
    RequestHook requestHook;
    // Running quantities of the items renderedOnHand has read in the current request:
    // (date, entry sequence, quantity after that transaction), in date and entry order.
    struct COnHandStep {
        std::string date;
        std::int64_t entrySeq;
        double quantity;
    };
    std::map<std::int64_t, std::vector<COnHandStep>> onHandSteps;
    // The date currentAverageCost evaluated the ledger through in the current request.
    std::optional<std::string> averageCostDate;
    // TxnIDs named by defMacro in the document being processed.
    std::map<std::string, std::string> macros;
};
