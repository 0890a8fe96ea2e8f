// Request documents, queries (paged with the qbXML iterator or in one answer), single
// records, generic Add/Mod, the inventory valuation report, transaction deletion,
// custom fields and value adjustments. Every operation that sends first checks the
// session and drops the previous answer, then keeps its own answer in `response`.
#include "qbrequestbase.h"

#include <cassert>
#include <charconv>

#include "qbexception.h"
#include "qbprogress.h"
#include "qbtimings.h"
#include "qbutils.h"
#include "qbxml.h"

namespace {

constexpr const char* kFieldRequestId = "1688";
constexpr const char* kTextRequestId = "8888";
constexpr const char* kPageSize = "500";
// Lines are sent in requests of just over this many characters.
constexpr std::size_t kAdjustmentBatchChars = 10240;
// The tags of one adjustment line: ItemRef/FullName (40) and ValueAdjustment/NewValue (56).
constexpr std::size_t kAdjustmentLineTags = 96;

// statusCode "1": the query found nothing that matches its filter.
constexpr std::string_view kNoMatch = "1";

// The status code as a whole integer; -1 when the text is empty or not an integer.
int statusNumber(std::string_view text) {
    int value = -1;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return -1;
    }
    return value;
}

}  // namespace

CQbRequestBase::CComApartment::CComApartment()
    : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
// Only a successful initialisation (S_OK or S_FALSE) may be matched by an uninitialisation.
CQbRequestBase::CComApartment::~CComApartment() {
    if (initialised) CoUninitialize();
}

CQbRequestBase::CQbRequestBase(std::string name, std::string id,
                               const std::optional<std::string>& eventLogFolder)
    : appName(std::move(name)),
      appId(std::move(id)),
      eventLog(std::make_unique<CQbEventLog>(eventLogFolder)) {}

CQbRequestBase::~CQbRequestBase() = default;

bool CQbRequestBase::isConnected() { return false; }
void CQbRequestBase::connect() {}
void CQbRequestBase::disconnect() {}
std::string CQbRequestBase::sendXml(const std::string& request) {
    lastRequest = request;
    return std::string();
}
std::string CQbRequestBase::errorText(HRESULT) { return std::string(); }
std::string CQbRequestBase::envelopeHead() { return std::string(); }
std::string CQbRequestBase::envelopeTail() { return std::string(); }

std::string CQbRequestBase::requestElement(const std::string& name, const CQbAttrList* attrs,
                                           const CQbFieldList* fields) {
    std::string attributeText = std::string(" requestID=\"") + kFieldRequestId + "\"";
    if (attrs) attributeText += attrs->toAttributeText();
    return xmlElement(name, attributeText, fields ? fields->toXml() : "");
}

std::string CQbRequestBase::buildRequest(const std::string& name, const CQbAttrList* attrs,
                                         const CQbFieldList* fields) {
    return envelopeHead() + requestElement(name, attrs, fields) + envelopeTail();
}

std::string CQbRequestBase::buildRequestText(const std::string& name, const std::string* body) {
    return envelopeHead() +
           xmlElement(name, std::string(" requestID=\"") + kTextRequestId + "\"",
                       body ? *body : std::string()) +
           envelopeTail();
}

std::unique_ptr<CQbResponse> CQbRequestBase::exchange(const std::string& document) {
    // Cleared only once an answer has arrived and been parsed: a thrown transport or
    // parse failure leaves it set.
    exchangeFailed = true;
    auto answer = std::make_unique<CQbResponse>(sendXml(document));
    exchangeFailed = false;
    return answer;
}

std::unique_ptr<CQbResponse> CQbRequestBase::sendBody(const std::string& element) {
    return exchange(envelopeHead() + element + envelopeTail());
}

std::unique_ptr<CQbResponse> CQbRequestBase::sendRequest(const std::string& name,
                                                         const CQbAttrList* attrs,
                                                         const CQbFieldList* fields) {
    return exchange(buildRequest(name, attrs, fields));
}

std::unique_ptr<CQbResponse> CQbRequestBase::sendRequestText(const std::string& name,
                                                             const std::string* body) {
    return exchange(buildRequestText(name, body));
}

std::vector<std::unique_ptr<CQbResponse>> CQbRequestBase::sendMessageSet(
    const std::vector<std::string>& requests) {
    std::vector<std::unique_ptr<CQbResponse>> answers;
    if (!isConnected() || requests.empty()) return answers;
    dropResponse();
    std::string document = envelopeHead();
    for (const std::string& request : requests) document += request;
    document += envelopeTail();
    std::shared_ptr<const CQbResponse> whole = exchange(document);
    answers = CQbResponse::answers(whole);
    if (answers.size() > requests.size()) {
        throw CQbException("QuickBooks gave more answers than the message set held requests.");
    }
    for (std::size_t i = 0; i < answers.size(); ++i) {
        // "<InvoiceQueryRq requestID=..." is answered by "InvoiceQueryRs".
        const std::string name = requestName(requests[i]);
        if (name.size() < 2 || answers[i]->responseName() != name.substr(0, name.size() - 2) + "Rs") {
            throw CQbException("QuickBooks answered the request " + name + " with " +
                               answers[i]->responseName() + ": the answers are out of order.");
        }
        noteAnswer(*answers[i]);
    }
    return answers;
}

std::string CQbRequestBase::requestName(const std::string& request) {
    if (request.size() < 2 || request[0] != '<') return std::string();
    const std::size_t end = request.find_first_of(" >/", 1);
    return request.substr(1, end == std::string::npos ? std::string::npos : end - 1);
}

std::string CQbRequestBase::unansweredText(const std::string& requestName) {
    return "QuickBooks did not answer the request " + requestName + ".";
}

void CQbRequestBase::noteAnswer(const CQbResponse& answer) {
    if (succeeded(answer) && answer.responseName() == "InventoryAdjustmentAddRs") ++postedAdjustments;
}

void CQbRequestBase::collectObjects(const std::string& elementName, CQbObjectList& into) {
    CQbTimer timer(qbTimings().parsingSeconds);
    const std::string objectName = baseName(elementName);
    for (CQbDomReader::Node* node : response->findElements(elementName)) {
        auto object = std::make_unique<CQbObject>();
        object->setName(objectName);
        object->load(node);
        into.add(std::move(object));
    }
}

bool CQbRequestBase::acceptQueryAnswer(const std::string& requestName) {
    if (succeeded(*response)) return true;
    if (response->statusCode() == kNoMatch) return false;
    // A warning still carries the answer's records; a warning without a numeric code is
    // no answer that can be judged.
    if (response->statusSeverity() == "Warn" && statusNumber(response->statusCode()) >= 0) {
        const std::string message = response->statusMessage();
        warnings.push_back(requestName + ": " +
                           (message.empty() ? "status " + response->statusCode() : message));
        return true;
    }
    throw CQbException(refusalText(*response, requestName));
}

namespace {

// The fields of a paged query: the page size, then the filter's own fields.
void pageFields(const CQbFieldList* filter, CQbFieldList& fields) {
    fields.addText("MaxReturned", kPageSize);
    for (int i = 0; filter && i < filter->getSize(); ++i) fields.add(filter->getAt(i)->clone());
}

}  // namespace

std::string CQbRequestBase::queryRequest(const CQuery& query) {
    if (!query.useIterator) return requestElement(query.requestName, nullptr, query.filter);
    CQbFieldList fields;
    pageFields(query.filter, fields);
    CQbAttrList start;
    start.add("iterator", "Start");
    return requestElement(query.requestName, &start, &fields);
}

std::unique_ptr<CQbObjectList> CQbRequestBase::queryRecords(const CQuery& query,
                                                            std::unique_ptr<CQbResponse> firstAnswer) {
    if (!isConnected()) return nullptr;
    if (!firstAnswer) throw CQbException(unansweredText(query.requestName));
    response = std::move(firstAnswer);
    auto result = std::make_unique<CQbObjectList>();
    if (!query.useIterator) {
        if (acceptQueryAnswer(query.requestName)) collectObjects(query.elementName, *result);
        return result;
    }

    CQbFieldList fields;
    pageFields(query.filter, fields);
    CQbAttrList next;
    next.add("iterator", "Continue");
    next.add("iteratorID", response->iteratorID());
    // A refused page throws: the pages before it are no complete answer either.
    for (;;) {
        if (!acceptQueryAnswer(query.requestName)) break;
        const std::size_t before = static_cast<std::size_t>(result->getSize());
        collectObjects(query.elementName, *result);
        // A page without records ends the loop even when QuickBooks reports more.
        if (static_cast<std::size_t>(result->getSize()) == before) break;
        if (response->iteratorRemainingCount() <= 0) break;
        dropResponse();
        pumpMessages();
        response = sendRequest(query.requestName, &next, &fields);
    }
    return result;
}

std::vector<std::unique_ptr<CQbObjectList>> CQbRequestBase::queryAll(const std::vector<CQuery>& queries) {
    std::vector<std::unique_ptr<CQbObjectList>> lists;
    if (!isConnected()) return lists;
    std::vector<std::string> requests;
    for (const CQuery& query : queries) requests.push_back(queryRequest(query));
    std::vector<std::unique_ptr<CQbResponse>> answers = sendMessageSet(requests);
    answers.resize(queries.size());
    for (std::size_t i = 0; i < queries.size(); ++i) {
        lists.push_back(queryRecords(queries[i], std::move(answers[i])));
    }
    return lists;
}

std::unique_ptr<CQbObjectList> CQbRequestBase::query(const std::string& requestName,
                                                     const std::string& elementName,
                                                     const CQbFieldList* filter,
                                                     bool useIterator) {
    if (!isConnected()) return nullptr;
    dropResponse();
    const CQuery one{requestName, elementName, filter, useIterator};
    return queryRecords(one, sendBody(queryRequest(one)));
}

#define LOTWISE_QUERY(object, iterator)                                                     \
    std::unique_ptr<CQbObjectList> CQbRequestBase::query##object(const CQbFieldList* filter) { \
        return query(#object "QueryRq", #object "Ret", filter, iterator);                   \
    }
LOTWISE_QUERY(ItemInventory, true)
LOTWISE_QUERY(ItemInventoryAssembly, true)
LOTWISE_QUERY(ItemNonInventory, true)
LOTWISE_QUERY(ItemService, true)
LOTWISE_QUERY(ItemOtherCharge, true)
LOTWISE_QUERY(SalesReceipt, true)
LOTWISE_QUERY(Vendor, true)
LOTWISE_QUERY(Department, true)
LOTWISE_QUERY(DataExtDef, false)
LOTWISE_QUERY(Customer, false)
LOTWISE_QUERY(SalesOrder, false)
LOTWISE_QUERY(ItemReceipt, true)
LOTWISE_QUERY(Bill, true)
LOTWISE_QUERY(Invoice, true)
LOTWISE_QUERY(BuildAssembly, true)
LOTWISE_QUERY(InventoryAdjustment, true)
LOTWISE_QUERY(Account, false)
LOTWISE_QUERY(CreditMemo, true)
LOTWISE_QUERY(VendorCredit, true)
LOTWISE_QUERY(UnitOfMeasureSet, false)
LOTWISE_QUERY(Class, false)
LOTWISE_QUERY(Check, true)
LOTWISE_QUERY(CreditCardCharge, true)
LOTWISE_QUERY(CreditCardCredit, true)
#undef LOTWISE_QUERY

std::unique_ptr<CQbObject> CQbRequestBase::detachFirst(std::unique_ptr<CQbObjectList> list) {
    if (!list || list->getSize() == 0) return nullptr;
    return list->detach(0);
}

std::unique_ptr<CQbObject> CQbRequestBase::customerByListId(const std::string& listId) {
    CQbFieldList filter;
    filter.addText("ListID", listId);
    return detachFirst(query("CustomerQueryRq", "CustomerRet", &filter, false));
}

std::unique_ptr<CQbObject> CQbRequestBase::assemblyByListId(const std::string& listId) {
    CQbFieldList filter;
    filter.addText("ListID", listId);
    return detachFirst(
        query("ItemInventoryAssemblyQueryRq", "ItemInventoryAssemblyRet", &filter, false));
}

std::unique_ptr<CQbObject> CQbRequestBase::queryPreferences() {
    if (!isConnected()) return nullptr;
    dropResponse();
    response = sendRequest("PreferencesQueryRq", nullptr, nullptr);
    if (!acceptQueryAnswer("PreferencesQueryRq")) return nullptr;
    CQbDomReader::Node* node = response->findElement("PreferencesRet");
    if (node == nullptr) return nullptr;
    auto object = std::make_unique<CQbObject>();
    object->load(node);
    return object;
}

std::unique_ptr<CQbObject> CQbRequestBase::queryCompany() {
    if (!isConnected()) return nullptr;
    dropResponse();
    CQbFieldList fields;
    fields.addText("OwnerID", kPrivateOwnerId);
    response = sendRequest("CompanyQueryRq", nullptr, &fields);
    if (!succeeded(*response)) throw CQbException(refusalText(*response, "CompanyQueryRq"));
    CQbDomReader::Node* node = response->findElement("CompanyRet");
    if (node == nullptr) throw CQbException(kNoCompanyRecord);
    auto object = std::make_unique<CQbObject>();
    object->load(node);
    return object;
}

void CQbRequestBase::addObject(const std::string& requestName, const CQbObject& object) {
    if (!isConnected()) return;
    assert(!object.getName().empty());
    dropResponse();
    const std::string element = addName(object.getName());
    const std::string body = xmlElement(element, "", object.toXml());
    response = sendRequestText(requestName, &body);
}

void CQbRequestBase::modObject(const std::string& requestName, const CQbObject& object) {
    if (!isConnected()) return;
    assert(!object.getName().empty());
    dropResponse();
    const std::string element = modName(object.getName());
    const std::string body = xmlElement(element, "", object.toXml());
    response = sendRequestText(requestName, &body);
}

void CQbRequestBase::addObject(const CQbObject& object) {
    addObject(addRqName(object.getName()), object);
}

void CQbRequestBase::modObject(const CQbObject& object) {
    modObject(modRqName(object.getName()), object);
}

void CQbRequestBase::addOrModObjects(bool add, const std::string& requestName,
                                     const CQbObjectList* objects) {
    failedIndex = -1;
    if (!isConnected() || objects == nullptr) return;
    for (int i = 0; i < objects->getSize(); ++i) {
        if (add) {
            addObject(requestName, *objects->getAt(i));
        } else {
            modObject(requestName, *objects->getAt(i));
        }
        if (!succeeded()) {
            failedIndex = i;
            return;
        }
    }
}

void CQbRequestBase::addObjects(const std::string& requestName, const CQbObjectList* objects) {
    addOrModObjects(true, requestName, objects);
}

void CQbRequestBase::modObjects(const std::string& requestName, const CQbObjectList* objects) {
    addOrModObjects(false, requestName, objects);
}

void CQbRequestBase::addObjects(const CQbObjectList* objects) {
    if (objects != nullptr) addObjects(addRqName(objects->firstName()), objects);
}

void CQbRequestBase::modObjects(const CQbObjectList* objects) {
    if (objects != nullptr) modObjects(modRqName(objects->firstName()), objects);
}

std::unique_ptr<CQbReport> CQbRequestBase::inventoryValuationSummary(const CDateTime& date,
                                                                     const std::string& itemType) {
    if (!isConnected()) return nullptr;
    dropResponse();
    auto report = std::make_unique<CQbReport>();
    response = sendBody(inventoryValuationSummaryRequest(date, itemType));
    if (succeeded(*response)) report->load(*response);
    return report;
}

std::string CQbRequestBase::valuationSummaryRequest(const CDateTime& date,
                                                    std::unique_ptr<CQbFieldList> itemFilter) {
    CQbFieldList fields;
    fields.addText("GeneralSummaryReportType", "InventoryValuationSummary");
    fields.addText("DisplayReport", "false");
    auto period = std::make_unique<CQbFieldList>();
    period->addText("FromReportDate", dateText(date));
    period->addText("ToReportDate", dateText(date));
    fields.addAggregate("ReportPeriod", std::move(period));
    fields.addAggregate("ReportItemFilter", std::move(itemFilter));
    return requestElement("GeneralSummaryReportQueryRq", nullptr, &fields);
}

std::string CQbRequestBase::inventoryValuationSummaryRequest(const CDateTime& date,
                                                             const std::string& itemType) {
    auto filter = std::make_unique<CQbFieldList>();
    filter->addText("ItemTypeFilter", itemType);
    return valuationSummaryRequest(date, std::move(filter));
}

std::string CQbRequestBase::inventoryValuationSummaryRequest(const CDateTime& date,
                                                             const std::vector<std::string>& items) {
    auto filter = std::make_unique<CQbFieldList>();
    for (const std::string& item : items) filter->addText("FullName", item);
    return valuationSummaryRequest(date, std::move(filter));
}

bool CQbRequestBase::txnDel(const std::string& txnId, const std::string& txnDelType) {
    if (!isConnected()) return false;
    dropResponse();
    CQbFieldList fields;
    fields.addText("TxnDelType", txnDelType);
    fields.addText("TxnID", txnId);
    response = sendRequest("TxnDelRq", nullptr, &fields);
    if (!succeeded(*response)) throw CQbException(refusalText(*response, "TxnDelRq"));
    return true;
}

CQbRequestBase::CDefMatch CQbRequestBase::dataExtDefFind(const std::string& owner,
                                                         const std::string& name,
                                                         const std::string& type,
                                                         const std::string& assignToObject) {
    if (!isConnected()) return CDefMatch::absent;
    CQbFieldList filter;
    if (owner == kPublicOwnerId) {
        filter.addText("AssignToObject", assignToObject);
    } else {
        filter.addText("OwnerID", owner);
    }
    std::unique_ptr<CQbObjectList> definitions = queryDataExtDef(&filter);
    CDefMatch match = CDefMatch::absent;
    for (int i = 0; definitions && i < definitions->getSize(); ++i) {
        const CQbObject* definition = definitions->getAt(i);
        if (definition->getValue("DataExtName") != name) continue;
        if (!equalsIgnoringAsciiCase(definition->getValue("OwnerID"), owner)) continue;
        if (definition->getValue("DataExtType") == type) return CDefMatch::sameType;
        match = CDefMatch::otherType;
    }
    return match;
}

bool CQbRequestBase::dataExtDefExists(const std::string& owner, const std::string& name,
                                      const std::string& type,
                                      const std::string& assignToObject) {
    return dataExtDefFind(owner, name, type, assignToObject) == CDefMatch::sameType;
}

bool CQbRequestBase::dataExtDefNameExists(const std::string& owner, const std::string& name,
                                          const std::string& assignToObject) {
    return dataExtDefFind(owner, name, std::string(), assignToObject) != CDefMatch::absent;
}

void CQbRequestBase::dataExtDefAdd(const std::string& owner, const std::string& name,
                                   const std::string& type, const std::string& assignToObject) {
    if (!isConnected()) return;
    switch (dataExtDefFind(owner, name, type, assignToObject)) {
        case CDefMatch::sameType: return;
        case CDefMatch::otherType:
            throw CQbException(name + " already exists but different with different data type");
        case CDefMatch::absent: break;
    }
    CQbObject definition;
    definition.setName("DataExtDef");
    definition.addText("OwnerID", owner);
    definition.addText("DataExtName", name);
    definition.addText("DataExtType", type);
    definition.addText("AssignToObject", assignToObject);
    addObject("DataExtDefAddRq", definition);
    if (!succeeded()) throw CQbException(refusalText(*response, "DataExtDefAddRq"));
}

void CQbRequestBase::dataExtDefDel(const std::string& owner, const std::string& name) {
    if (!isConnected()) return;
    dropResponse();
    CQbFieldList fields;
    fields.addText("OwnerID", owner);
    fields.addText("DataExtName", name);
    response = sendRequest("DataExtDefDelRq", nullptr, &fields);
}

bool CQbRequestBase::dataExtCompany(bool add, const std::string& owner, const std::string& name,
                                    const std::string& value) {
    if (!isConnected()) return false;
    dropResponse();
    response = sendBody(dataExtCompanyRequest(add, owner, name, value));
    return succeeded(*response);
}

std::string CQbRequestBase::dataExtCompanyRequest(bool add, const std::string& owner,
                                                  const std::string& name, const std::string& value) {
    auto ext = std::make_unique<CQbFieldList>();
    ext->addText("OwnerID", owner);
    ext->addText("DataExtName", name);
    ext->addText("OtherDataExtType", "Company");
    ext->addText("DataExtValue", value);
    CQbFieldList fields;
    fields.addAggregate(add ? "DataExtAdd" : "DataExtMod", std::move(ext));
    return requestElement(add ? "DataExtAddRq" : "DataExtModRq", nullptr, &fields);
}

bool CQbRequestBase::dataExtModCompany(const std::string& owner, const std::string& name,
                                       const std::string& value) {
    return dataExtCompany(false, owner, name, value);
}

bool CQbRequestBase::dataExtModCompany(const std::string& owner, const std::string& name,
                                       const std::optional<CDateTime>& value) {
    return dataExtModCompany(owner, name, zoneDateTimeText(value));
}

bool CQbRequestBase::dataExtAddCompany(const std::string& owner, const std::string& name,
                                       const std::string& value) {
    return dataExtCompany(true, owner, name, value);
}

bool CQbRequestBase::dataExtAddCompany(const std::string& owner, const std::string& name,
                                       const std::optional<CDateTime>& value) {
    return dataExtAddCompany(owner, name, zoneDateTimeText(value));
}

std::string CQbRequestBase::dataExtTxnRequest(bool add, const std::string& txnDataExtType,
                                              const std::string& txnId, const std::string& name,
                                              const std::string& value) {
    const char* element = add ? "DataExtAdd" : "DataExtMod";
    // The texts are escaped like any element text, so a name or value holding '&' or
    // '<' cannot break the request document.
    std::string body = std::string("<") + element + "><OwnerID>";
    body += kPrivateOwnerId;
    body += "</OwnerID><DataExtName>" + escapeText(name) + "</DataExtName>";
    body += "<TxnDataExtType>" + escapeText(txnDataExtType) + "</TxnDataExtType>";
    body += "<TxnID>" + escapeText(txnId) + "</TxnID>";
    body += "<DataExtValue>" + escapeText(value) + "</DataExtValue></" + element + ">";
    return xmlElement(add ? "DataExtAddRq" : "DataExtModRq",
                       std::string(" requestID=\"") + kTextRequestId + "\"", body);
}

bool CQbRequestBase::dataExtAddTxn(const std::string& txnDataExtType, const std::string& txnId,
                                   const std::string& name, const std::string& value) {
    if (!isConnected()) return false;
    dropResponse();
    response = sendBody(dataExtTxnRequest(true, txnDataExtType, txnId, name, value));
    return succeeded(*response);
}

bool CQbRequestBase::dataExtModTxn(const std::string& txnDataExtType, const std::string& txnId,
                                   const std::string& name, const std::string& value) {
    if (!isConnected()) return false;
    dropResponse();
    response = sendBody(dataExtTxnRequest(false, txnDataExtType, txnId, name, value));
    return succeeded(*response);
}

bool CQbRequestBase::dataExtDel(const std::string& owner, const std::string& name,
                                const std::string* txnDataExtType, const std::string* txnId) {
    if (!isConnected()) return false;
    dropResponse();
    auto ext = std::make_unique<CQbFieldList>();
    ext->addText("OwnerID", owner);
    ext->addText("DataExtName", name);
    if (txnId != nullptr) {
        ext->addText("TxnDataExtType", txnDataExtType != nullptr ? *txnDataExtType : std::string());
        ext->addText("TxnID", *txnId);
    } else {
        ext->addText("OtherDataExtType", "Company");
    }
    CQbFieldList fields;
    fields.addAggregate("DataExtDel", std::move(ext));
    response = sendRequest("DataExtDelRq", nullptr, &fields);
    if (!succeeded(*response)) throw CQbException(refusalText(*response, "DataExtDelRq"));
    return true;
}

std::vector<std::string> CQbRequestBase::valueAdjustmentRequests(
    const CDateTime& date, const std::string& account, const std::string* className,
    const std::string* customer, const std::string* memo, const std::vector<std::string>& names,
    const std::vector<std::string>& values, std::vector<std::size_t>* lineCounts) {
    std::vector<std::string> requests;
    if (lineCounts != nullptr) lineCounts->clear();
    if (names.empty() || names.size() != values.size()) return requests;
    // A batch ends after the line that takes its size past kAdjustmentBatchChars.
    std::size_t size = 0;
    std::size_t batchStart = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (size > kAdjustmentBatchChars) {
            requests.push_back(valueAdjustmentRequest(date, account, className, customer, memo,
                                                      &names[batchStart], &values[batchStart],
                                                      i - batchStart));
            if (lineCounts != nullptr) lineCounts->push_back(i - batchStart);
            batchStart = i;
            size = 0;
        }
        size += kAdjustmentLineTags + names[i].size() + values[i].size();
    }
    requests.push_back(valueAdjustmentRequest(date, account, className, customer, memo,
                                              &names[batchStart], &values[batchStart],
                                              names.size() - batchStart));
    if (lineCounts != nullptr) lineCounts->push_back(names.size() - batchStart);
    return requests;
}

bool CQbRequestBase::postValueAdjustments(const CDateTime& date, const std::string& account,
                                          const std::string* className,
                                          const std::string* customer, const std::string* memo,
                                          const std::vector<std::string>& names,
                                          const std::vector<std::string>& values) {
    if (!isConnected()) return false;
    if (names.empty() || values.empty()) return true;
    if (names.size() != values.size()) return false;
    for (const std::string& request :
         valueAdjustmentRequests(date, account, className, customer, memo, names, values)) {
        dropResponse();
        response = sendBody(request);
        if (!succeeded(*response)) {
            throw CQbException(refusalText(*response, "InventoryAdjustmentAddRq"));
        }
        noteAnswer(*response);
    }
    return true;
}

bool CQbRequestBase::inventoryAdjustmentAdd(const CDateTime& date, const std::string& account,
                                            const std::string* className,
                                            const std::string* customer,
                                            const std::string* memo,
                                            const std::vector<std::string>& names,
                                            const std::vector<std::string>& values) {
    if (!isConnected()) return false;
    if (names.empty() || values.empty()) return true;
    if (names.size() != values.size()) return false;
    dropResponse();
    response = sendBody(valueAdjustmentRequest(date, account, className, customer, memo,
                                               names.data(), values.data(), names.size()));
    if (!succeeded(*response)) {
        throw CQbException(refusalText(*response, "InventoryAdjustmentAddRq"));
    }
    noteAnswer(*response);
    return true;
}

std::string CQbRequestBase::valueAdjustmentRequest(const CDateTime& date, const std::string& account,
                                                   const std::string* className,
                                                   const std::string* customer,
                                                   const std::string* memo,
                                                   const std::string* names,
                                                   const std::string* values, std::size_t count) {
    auto adjustment = std::make_unique<CQbFieldList>();
    adjustment->addRef("AccountRef", "FullName", account);
    adjustment->addText("TxnDate", dateText(date));
    if (customer != nullptr && !customer->empty()) {
        adjustment->addRef("CustomerRef", "FullName", *customer);
    }
    if (className != nullptr && !className->empty()) {
        adjustment->addRef("ClassRef", "FullName", *className);
    }
    if (memo != nullptr) adjustment->addText("Memo", *memo);
    for (std::size_t i = 0; i < count; ++i) {
        auto line = std::make_unique<CQbFieldList>();
        line->addRef("ItemRef", "FullName", names[i]);
        line->addRef("ValueAdjustment", "NewValue", values[i]);
        adjustment->addAggregate("InventoryAdjustmentLineAdd", std::move(line));
    }
    CQbFieldList fields;
    fields.addAggregate("InventoryAdjustmentAdd", std::move(adjustment));
    // Whether QuickBooks took it, and what it is known by afterwards: the answer need
    // not echo the whole adjustment back, which a run would parse some fifty times a day.
    fields.addText("IncludeRetElement", "TxnID");
    fields.addText("IncludeRetElement", "EditSequence");
    return requestElement("InventoryAdjustmentAddRq", nullptr, &fields);
}

void CQbRequestBase::logError(const std::string& text) {
    lastError = text;
    eventLog->write(text);
}

bool CQbRequestBase::succeeded(const CQbResponse& answer) { return answer.statusCode() == "0"; }

bool CQbRequestBase::succeeded() const { return response && succeeded(*response); }

std::string CQbRequestBase::refusalText(const CQbResponse& answer,
                                        const std::string& requestName) {
    std::string message = answer.statusMessage();
    if (!message.empty()) return message;
    const std::string code = answer.statusCode();
    return "QuickBooks refused the request " + requestName + " (" +
           (code.empty() ? std::string("no status") : "status " + code) + ").";
}

std::string CQbRequestBase::refusalText(const std::string& requestName) const {
    return response ? refusalText(*response, requestName) : statusMessage();
}

int CQbRequestBase::statusCode() const {
    return response ? statusNumber(response->statusCode()) : -1;
}

std::vector<std::string> CQbRequestBase::takeWarnings() {
    std::vector<std::string> taken;
    taken.swap(warnings);
    return taken;
}

std::string CQbRequestBase::statusMessage() const {
    return response ? response->statusMessage()
                    : std::string("Internal Error : QuickBooks connection function failed");
}
