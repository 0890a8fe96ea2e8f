// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// The base of the connection to QuickBooks: it writes every qbXML request the system
// sends, hands it to a transport and keeps the parsed answer of the latest request as
// `response`. The transport is the set of virtual operations that the request-processor
// session CQbXml overrides; a bare CQbRequestBase is never connected and sends nothing.
//
// Ownership: the object owns its event log and the latest response; every object list,
// object or report an operation returns belongs to the caller and keeps no reference to
// the response. Failures of the transport arrive as CQbException and pass through.
// Single-threaded: use an instance only on the thread that created it.
//
// One rule decides whether QuickBooks carried a request out: the answer's statusCode
// attribute is exactly "0" (see succeeded). An answer without a status, or with one that
// is not a number, is no success. Queries throw CQbException for an answer that is
// neither a success, "no match" (status 1) nor a warning, so that a refused query is
// never mistaken for one that found nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "comshim.h"
#include "datetime.h"
#include "qbattrlist.h"
#include "qbeventlog.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbreport.h"
#include "qbresponse.h"
#include "qbxerces.h"

class CQbRequestBase {
    // COM and Xerces-C stay initialised for the object's lifetime: declared first, so
    // they outlive the response document and everything else the object owns.
    struct CComApartment {
        CComApartment();
        ~CComApartment();
        CComApartment(const CComApartment&) = delete;
        CComApartment& operator=(const CComApartment&) = delete;
        bool initialised;
    };
    CComApartment apartment;
    CQbXercesPlatform xmlPlatform;

public:
    // Initialises COM for the thread and the XML parser, and starts the event log in
    // the given folder (the current directory when none). Throws CQbException when the
    // XML parser cannot be initialised.
    CQbRequestBase(std::string appName, std::string appId,
                   const std::optional<std::string>& eventLogFolder);
    virtual ~CQbRequestBase();
    CQbRequestBase(const CQbRequestBase&) = delete;
    CQbRequestBase& operator=(const CQbRequestBase&) = delete;

    // --- transport; CQbXml overrides all seven ---
    virtual bool isConnected();
    virtual void connect();
    virtual void disconnect();
    // Sends one request document and returns the response document.
    virtual std::string sendXml(const std::string& request);
    virtual std::string errorText(HRESULT code);
    virtual std::string envelopeHead();
    virtual std::string envelopeTail();

    // --- request documents ---
    // Field form: requestID 1688, the attributes, the fields' XML.
    std::string buildRequest(const std::string& name, const CQbAttrList* attrs,
                             const CQbFieldList* fields);
    // Text form: requestID 8888 and the ready body text.
    std::string buildRequestText(const std::string& name, const std::string* body);
    // The request element alone, without the envelope, in the field form.
    std::string requestElement(const std::string& name, const CQbAttrList* attrs,
                               const CQbFieldList* fields);
    std::string valuationSummaryRequest(const CDateTime& date, std::unique_ptr<CQbFieldList> itemFilter);
    // Each sends a document and returns its parsed answer; `response` is not touched.
    std::unique_ptr<CQbResponse> sendBody(const std::string& element);
    std::unique_ptr<CQbResponse> sendRequest(const std::string& name, const CQbAttrList* attrs,
                                             const CQbFieldList* fields);
    std::unique_ptr<CQbResponse> sendRequestText(const std::string& name,
                                                 const std::string* body);

    // --- message sets ---
    // Sends the request elements as one message set, in one round trip, and returns
    // QuickBooks' answers to them in the order of the requests. QuickBooks processes no
    // request after one it refuses with an error (the envelope asks it to stop on
    // error), so the list is then shorter than the requests. An answer whose response
    // element is not named after its request, or more answers than requests, throws
    // CQbException: the answers could not be told apart. Empty without a session or
    // without requests. `response` is dropped: the answers are the caller's.
    std::vector<std::unique_ptr<CQbResponse>> sendMessageSet(const std::vector<std::string>& requests);
    // The name of a request element's request ("InvoiceQueryRq" for "<InvoiceQueryRq ...").
    static std::string requestName(const std::string& request);
    // The text QuickBooks' silence about a request of a message set gives: the request
    // was not carried out, or nobody knows whether it was.
    static std::string unansweredText(const std::string& requestName);

    // --- queries ---
    // One query, as a request of a message set: the filter belongs to the caller and must
    // outlive the query's answer (its further pages are asked for with it).
    struct CQuery {
        std::string requestName;  // "InvoiceQueryRq"
        std::string elementName;  // "InvoiceRet"
        const CQbFieldList* filter = nullptr;
        bool useIterator = false;
    };
    // The query's request element (the first page when it uses the iterator).
    std::string queryRequest(const CQuery& query);
    // The records of a query whose first answer has arrived, judged as query() judges
    // every answer; further pages are asked for one by one. A missing answer (null: the
    // message set stopped before the query) throws CQbException. Null without a session.
    std::unique_ptr<CQbObjectList> queryRecords(const CQuery& query,
                                                std::unique_ptr<CQbResponse> firstAnswer);
    // The queries in one message set; the records of each, in the order of the queries.
    std::vector<std::unique_ptr<CQbObjectList>> queryAll(const std::vector<CQuery>& queries);

    // Every record named elementName in the answer(s), as objects named after the
    // element less "Ret". With the iterator, pages of at most 500 records are gathered
    // until none remain. Each answer (every page) is judged: status 0 gives its records;
    // status 1 ("no match") gives nothing and no error; a warning (statusSeverity "Warn",
    // any other numeric code) gives its records and keeps the warning for takeWarnings;
    // anything else - an error, a missing or unreadable status, an iterator QuickBooks
    // no longer knows - throws CQbException with QuickBooks' message, and no records are
    // returned. Null when no session is open.
    std::unique_ptr<CQbObjectList> query(const std::string& requestName,
                                         const std::string& elementName,
                                         const CQbFieldList* filter, bool useIterator);
    std::unique_ptr<CQbObjectList> queryItemInventory(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryItemInventoryAssembly(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryItemNonInventory(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryItemService(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryItemOtherCharge(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> querySalesReceipt(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryVendor(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryDepartment(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryDataExtDef(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryCustomer(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> querySalesOrder(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryItemReceipt(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryBill(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryInvoice(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryBuildAssembly(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryInventoryAdjustment(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryAccount(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryCreditMemo(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryVendorCredit(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryUnitOfMeasureSet(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryClass(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryCheck(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryCreditCardCharge(const CQbFieldList* filter);
    std::unique_ptr<CQbObjectList> queryCreditCardCredit(const CQbFieldList* filter);

    // Single records, judged as queries are: null for "no match" (or without a
    // session); a refusal throws CQbException.
    std::unique_ptr<CQbObject> customerByListId(const std::string& listId);
    std::unique_ptr<CQbObject> assemblyByListId(const std::string& listId);
    std::unique_ptr<CQbObject> queryPreferences();
    // The company record with the system's own custom fields. Null only without a
    // session; any answer but a success carrying a CompanyRet throws CQbException with
    // QuickBooks' message, or kNoCompanyRecord when a success came without the record.
    std::unique_ptr<CQbObject> queryCompany();
    // QuickBooks' status for a feature its edition or the company file does not have
    // (assemblies in Pro, units of measure turned off).
    static constexpr const char* kFeatureNotAvailable = "3250";
    static constexpr const char* kNoCompanyRecord =
        "QuickBooks returned no company record for this file.";

    // --- generic Add and Mod (the answer stays in `response`) ---
    void addObject(const std::string& requestName, const CQbObject& object);
    void modObject(const std::string& requestName, const CQbObject& object);
    void addObject(const CQbObject& object);
    void modObject(const CQbObject& object);
    // Send the objects in order and stop after the first whose answer is not a success
    // by the rule; its position in the list is then getFailedIndex() (-1 when every
    // object was accepted). The answer of the last request sent stays in `response`.
    void addObjects(const std::string& requestName, const CQbObjectList* objects);
    void modObjects(const std::string& requestName, const CQbObjectList* objects);
    void addObjects(const CQbObjectList* objects);
    void modObjects(const CQbObjectList* objects);

    // QuickBooks' inventory valuation summary of one day for one item type filter. An
    // answer that is not a success gives a report without rows; the answer stays in
    // `response`, so the caller tells a refusal from an empty day with succeeded().
    std::unique_ptr<CQbReport> inventoryValuationSummary(const CDateTime& date,
                                                         const std::string& itemType);
    std::string inventoryValuationSummaryRequest(const CDateTime& date, const std::string& itemType);
    // The same report for the items named (FullName), of either type, in one request.
    std::string inventoryValuationSummaryRequest(const CDateTime& date, const std::vector<std::string>& items);
    // Deletes one transaction: true when QuickBooks deleted it, false without a session;
    // a refusal throws CQbException with QuickBooks' message.
    bool txnDel(const std::string& txnId, const std::string& txnDelType);

    // --- custom fields ---
    // Defines the field unless it exists, with one query for the definitions; throws
    // CQbException when a field of that name exists with another type or when
    // QuickBooks refuses the definition.
    void dataExtDefAdd(const std::string& owner, const std::string& name,
                       const std::string& type, const std::string& assignToObject);
    void dataExtDefDel(const std::string& owner, const std::string& name);
    bool dataExtDefExists(const std::string& owner, const std::string& name,
                          const std::string& type, const std::string& assignToObject);
    bool dataExtDefNameExists(const std::string& owner, const std::string& name,
                              const std::string& assignToObject);
    // The company field writes answer true when QuickBooks stored the value and false
    // when it refused it or no session is open; a refusal does not throw, so that the
    // caller can try the other of add and modify. The answer stays in `response`.
    bool dataExtModCompany(const std::string& owner, const std::string& name,
                           const std::string& value);
    bool dataExtModCompany(const std::string& owner, const std::string& name,
                           const std::optional<CDateTime>& value);
    bool dataExtAddCompany(const std::string& owner, const std::string& name,
                           const std::string& value);
    bool dataExtAddCompany(const std::string& owner, const std::string& name,
                           const std::optional<CDateTime>& value);
    // The request elements of the company field writes, for a message set.
    std::string dataExtCompanyRequest(bool add, const std::string& owner, const std::string& name,
                                      const std::string& value);
    // Stores the value of the system's own field on the transaction txnId. True when
    // QuickBooks stored the value; a refusal does not throw (the answer stays in
    // `response`).
    bool dataExtAddTxn(const std::string& txnDataExtType, const std::string& txnId,
                       const std::string& name, const std::string& value);
    // Replaces the value of the system's own field on a transaction; answers as
    // dataExtAddTxn does.
    bool dataExtModTxn(const std::string& txnDataExtType, const std::string& txnId,
                       const std::string& name, const std::string& value);
    // The request element of dataExtAddTxn (add) or dataExtModTxn, for a message set.
    std::string dataExtTxnRequest(bool add, const std::string& txnDataExtType,
                                  const std::string& txnId, const std::string& name,
                                  const std::string& value);

    // Removes the value of a custom field: from the company when txnId is null,
    // otherwise from that transaction of the given type. True when QuickBooks removed
    // it, false without a session; a refusal throws CQbException with QuickBooks' message.
    bool dataExtDel(const std::string& owner, const std::string& name,
                    const std::string* txnDataExtType, const std::string* txnId);

    // --- value adjustments ---
    // Posts value adjustment lines in requests of just over 10240 characters of lines.
    // True on success and for no items; false without a session or for arrays of
    // different lengths. A refused batch throws with QuickBooks' status message.
    bool postValueAdjustments(const CDateTime& date, const std::string& account,
                              const std::string* className, const std::string* customer,
                              const std::string* memo, const std::vector<std::string>& names,
                              const std::vector<std::string>& values);
    // The request elements postValueAdjustments sends, for a message set: one
    // InventoryAdjustmentAddRq per batch of lines, each answered with the adjustment's
    // TxnID and EditSequence. Empty for no items or arrays of different lengths. When
    // `lineCounts` is given it receives how many of the lines each request holds, in order.
    std::vector<std::string> valueAdjustmentRequests(const CDateTime& date, const std::string& account,
                                                     const std::string* className,
                                                     const std::string* customer,
                                                     const std::string* memo,
                                                     const std::vector<std::string>& names,
                                                     const std::vector<std::string>& values,
                                                     std::vector<std::size_t>* lineCounts = nullptr);
    bool inventoryAdjustmentAdd(const CDateTime& date, const std::string& account,
                                const std::string* className, const std::string* customer,
                                const std::string* memo, const std::vector<std::string>& names,
                                const std::vector<std::string>& values);
    // How many value adjustment transactions QuickBooks has taken in this session.
    int getPostedAdjustments() const { return postedAdjustments; }

    // --- status ---
    void logError(const std::string& text);
    // The success rule: a parsed answer whose statusCode attribute is exactly "0". A
    // missing, empty or unreadable status is no success.
    static bool succeeded(const CQbResponse& answer);
    // The rule applied to the latest answer; false when there is none.
    bool succeeded() const;
    // The text of a refusal: QuickBooks' statusMessage as it stands, or when that is
    // empty "QuickBooks refused the request <requestName> (status <code>)." ("no
    // status" in place of the code when the answer carries none).
    static std::string refusalText(const CQbResponse& answer, const std::string& requestName);
    // refusalText of the latest answer; statusMessage() when there is none.
    std::string refusalText(const std::string& requestName) const;
    // statusCode of `response` as a whole integer; -1 when there is no answer, no status
    // attribute, or one that is not an integer (so that only a real "0" compares equal
    // to 0).
    int statusCode() const;
    std::string statusMessage() const;
    // The warnings QuickBooks gave with answers that were still used (statusSeverity
    // "Warn"), each "RequestName: message", gathered since the previous call; the list
    // is emptied.
    std::vector<std::string> takeWarnings();

    // True when the latest request got no usable answer: the transport failed or the
    // answer could not be parsed. QuickBooks may then have carried the request out or
    // not; unlike a refusal with a status code, nothing is known about it.
    bool lastExchangeFailed() const { return exchangeFailed; }
    const CQbResponse* getResponse() const { return response.get(); }
    const std::string& getLastRequest() const { return lastRequest; }
    const std::string& getLastError() const { return lastError; }
    // Position in the list of the last addObjects/modObjects call of the object that
    // QuickBooks did not accept; -1 when all were accepted.
    int getFailedIndex() const { return failedIndex; }
    const std::string& getAppName() const { return appName; }
    const std::string& getAppId() const { return appId; }
    CQbEventLog& getEventLog() { return *eventLog; }

protected:
    std::string appName;
    std::string appId;
    std::wstring ticket;
    std::unique_ptr<CQbEventLog> eventLog;
    std::string lastError;
    std::unique_ptr<CQbResponse> response;
    int failedIndex = -1;
    std::vector<std::string> warnings;
    std::string lastRequest;
    bool exchangeFailed = false;
    int postedAdjustments = 0;

private:
    // Sends one request document and parses the answer, keeping exchangeFailed.
    std::unique_ptr<CQbResponse> exchange(const std::string& document);
    void dropResponse() { response.reset(); }
    // Records named elementName in `response`, appended to the list.
    void collectObjects(const std::string& elementName, CQbObjectList& into);
    // Judges `response` as the answer to a query: true when its records are to be used
    // (a success, or a warning, which is kept), false for "no match"; throws
    // CQbException for anything else.
    bool acceptQueryAnswer(const std::string& requestName);
    void addOrModObjects(bool add, const std::string& requestName,
                         const CQbObjectList* objects);
    std::unique_ptr<CQbObject> detachFirst(std::unique_ptr<CQbObjectList> list);
    // What one DataExtDefQuery says of the definition of the field `name` of `owner`:
    // none, one of the given type, or only one of another type.
    enum class CDefMatch { absent, sameType, otherType };
    CDefMatch dataExtDefFind(const std::string& owner, const std::string& name,
                             const std::string& type, const std::string& assignToObject);
    bool dataExtCompany(bool add, const std::string& owner, const std::string& name,
                       const std::string& value);
    // The request element of one InventoryAdjustmentAdd holding the given lines.
    std::string valueAdjustmentRequest(const CDateTime& date, const std::string& account,
                                       const std::string* className, const std::string* customer,
                                       const std::string* memo, const std::string* names,
                                       const std::string* values, std::size_t count);
    // Counts a value adjustment QuickBooks took.
    void noteAnswer(const CQbResponse& answer);
};
