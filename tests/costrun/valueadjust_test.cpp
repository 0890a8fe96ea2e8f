// The day's value adjustments (CDayAdjustments) and their commit (CDayCommit) against a
// scripted request processor: how the gap of an item is shared over its issuing lines,
// how the lines are grouped into postings by COGS account and class, what each
// InventoryAdjustmentAdd carries, what the activity log says, and how a refused posting
// ends the transaction but not the day.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "activitylog.h"
#include "costrundoc.h"
#include "costrunitemlist.h"
#include "costruntxnlist.h"
#include "dayadjustments.h"
#include "daycommit.h"
#include "enginefixture.h"
#include "qbexception.h"
#include "qbresponse.h"
#include "qbsession.h"
#include "qbutils.h"
#include "receiptwalk.h"
#include "runlists.h"
#include "runsummary.h"
#include "scriptedprocessor.h"
#include "testfiles.h"
#include "txnkinds.h"
#include "valueadjust.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kCogs = "Cost of Goods Sold";
const std::string kCogsB = "COGS Parts";

std::string addResponse() {
    return responseDocument(
        "<InventoryAdjustmentAddRs statusCode=\"0\" statusSeverity=\"Info\" "
        "statusMessage=\"Status OK\"><InventoryAdjustmentRet><TxnID>1-1</TxnID>"
        "</InventoryAdjustmentRet></InventoryAdjustmentAddRs>");
}

std::string refusedResponse(const std::string& message) {
    return responseDocument(
        "<InventoryAdjustmentAddRs statusCode=\"3140\" statusSeverity=\"Error\" "
        "statusMessage=\"" +
        message + "\" />");
}


std::string line(const std::string& element, const std::string& item, const std::string& qty,
                 const std::string& className = "") {
    std::string text = "<" + element + "><ItemRef><FullName>" + item + "</FullName></ItemRef>";
    if (!className.empty()) text += "<ClassRef><FullName>" + className + "</FullName></ClassRef>";
    return text + "<Quantity>" + qty + "</Quantity></" + element + ">";
}

std::string invoice(const std::string& ref, const std::string& lines,
                    const std::string& customer = "Carter") {
    return "<InvoiceRet><TxnID>" + ref + "</TxnID><TxnDate>2010-04-01</TxnDate><RefNumber>" + ref +
           "</RefNumber><CustomerRef><FullName>" + customer + "</FullName></CustomerRef>" + lines +
           "</InvoiceRet>";
}

std::string creditMemo(const std::string& ref, const std::string& lines) {
    return "<CreditMemoRet><TxnID>" + ref + "</TxnID><TxnDate>2010-04-01</TxnDate><RefNumber>" +
           ref + "</RefNumber><CustomerRef><FullName>Carter</FullName></CustomerRef>" + lines +
           "</CreditMemoRet>";
}

std::string adjustmentLine(const std::string& item, const std::string& difference) {
    return "<InventoryAdjustmentLineRet><ItemRef><FullName>" + item +
           "</FullName></ItemRef><QuantityDifference>" + difference +
           "</QuantityDifference></InventoryAdjustmentLineRet>";
}

std::string adjustment(const std::string& ref, const std::string& lines,
                       const std::string& extra = "") {
    return "<InventoryAdjustmentRet><TxnID>" + ref +
           "</TxnID><TxnDate>2010-04-01</TxnDate><RefNumber>" + ref +
           "</RefNumber><AccountRef><FullName>Shrinkage</FullName></AccountRef>"
           "<ClassRef><FullName>K1</FullName></ClassRef>" +
           extra + lines + "</InventoryAdjustmentRet>";
}

// One item of the day's ledger with its receipts all found.
struct ItemRow {
    std::string name;
    double qtyOnHand;
    double qbValue;
    double onHandValue;
    std::string cogsAccount;
};

void addItem(CCostrunItemList& list, const ItemRow& row) {
    auto item = std::make_unique<CCostrunItem>(row.name, row.qtyOnHand, row.qbValue);
    item->onHandValue = row.onHandValue;
    item->collectedQty = row.qtyOnHand;
    item->cogsAccount = row.cogsAccount;
    list.add(std::move(item));
}

// A posted InventoryAdjustmentAdd in the form "account|class|customer|item=value,...".
std::vector<std::string> postings(const CScript& script) {
    std::vector<std::string> out;
    for (const std::string& request : script.requests) {
        if (request.find("<InventoryAdjustmentAddRq") == std::string::npos) continue;
        CQbResponse document(request);
        for (CQbDomReader::Node* node : document.findElements("InventoryAdjustmentAdd")) {
            CQbObject add;
            add.load(node);
            std::string text = add.getValue("AccountRef", "FullName") + "|" +
                               add.getValue("ClassRef", "FullName") + "|" +
                               add.getValue("CustomerRef", "FullName") + "|";
            bool first = true;
            for (const CQbField* entry : add.findAll("InventoryAdjustmentLineAdd")) {
                text += (first ? "" : ",") + entry->grandchildValue("ItemRef", "FullName") + "=" +
                        entry->grandchildValue("ValueAdjustment", "NewValue");
                first = false;
            }
            out.push_back(text);
        }
    }
    return out;
}

class ValueAdjustTest : public CScriptedSessionTest {
protected:
    ValueAdjustTest() {
        script.defaultResponse = addResponse();
        script.perRequest = true;
        log.open();
        lists.setAccountsAndClasses({"", kCogs, kCogsB}, {"", "K1", "K2"});
        startRun();
    }

    // The commit and the adjustments of a run; a new run has committed no day yet.
    void startRun() {
        adjustments.reset();
        commit = std::make_unique<CDayCommit>(
            session(), summary, [this](const std::string& item, const CDateTime& refusedDay, const std::string& why) {
                refused.push_back(item + "|" + refusedDay.userDateText() + "|" + why);
            });
        adjustments = std::make_unique<CDayAdjustments>(lists, walk, log, *commit);
    }

    // Builds the day from the response lists, sums the issues into both item lists as
    // the day does, and runs the sales and inventory adjustment stage.
    void runDay(const std::string& invoices, const std::string& creditMemos = "",
                const std::string& inventoryAdjustments = "") {
        invoiceList = records(invoices, "InvoiceRet");
        creditList = records(creditMemos, "CreditMemoRet");
        adjustmentList = records(inventoryAdjustments, "InventoryAdjustmentRet");
        dayTxns = std::make_unique<CCostrunTxnList>();
        dayTxns->addAll(kTxnInvoice, invoiceList.get());
        dayTxns->addAll(kTxnCreditMemo, creditList.get());
        dayTxns->addAll(kTxnInventoryAdjustment, adjustmentList.get());
        adjustments->sumIssues(inventory, *dayTxns);
        adjustments->sumIssues(assemblies, *dayTxns);
        adjustments->postIssues(day, *dayTxns, &inventory, &assemblies);
        sendDay();
    }

    // Sends the queued postings with the day's commit, as a calculated day does; a
    // refusal's text goes to errorText as the run's does.
    void sendDay() {
        if (commit->empty()) return;
        try {
            commit->commit(day, {});
        } catch (const CQbException& e) {
            errorText = e.getMessage();
        }
    }

    std::string activity() const { return readFile(log.path()); }

    std::unique_ptr<CQbObjectList> invoiceList;
    std::unique_ptr<CQbObjectList> creditList;
    std::unique_ptr<CQbObjectList> adjustmentList;
    std::unique_ptr<CCostrunTxnList> dayTxns;
    const CDateTime day = *CDateTime::fromLocal(2010, 4, 1, 23, 59, 59);
    // The day's item ledgers.
    CCostrunItemList inventory;
    CCostrunItemList assemblies;

    CActivityLog log{(dir / "activity.txt").string()};
    CRunLists lists;
    CStubStockFigures figures;
    CReceiptWalk walk{lists.units(), figures, std::nullopt, false, nullptr};
    CRunSummary summary;
    // "item|day|reason" for every item of a value adjustment QuickBooks refused.
    std::vector<std::string> refused;
    std::unique_ptr<CDayCommit> commit;
    std::unique_ptr<CDayAdjustments> adjustments;
    std::string errorText;
};

// --- the share rule and the grouping into postings ---

struct DayCase {
    const char* title;
    std::vector<ItemRow> inventory;
    std::vector<ItemRow> assembly;
    std::string invoices;
    std::string creditMemos;
    std::string adjustments;
    std::vector<std::string> expected;
};

void PrintTo(const DayCase& c, std::ostream* os) {
    *os << c.title;
}

class ValueAdjustDayTest : public ValueAdjustTest, public ::testing::WithParamInterface<DayCase> {};

TEST_P(ValueAdjustDayTest, PostsTheSharesByAccountAndClass) {
    const DayCase& c = GetParam();
    for (const ItemRow& row : c.inventory) addItem(inventory, row);
    for (const ItemRow& row : c.assembly) addItem(assemblies, row);
    runDay(c.invoices, c.creditMemos, c.adjustments);
    EXPECT_THAT(postings(script), ElementsAreArray(c.expected));
    EXPECT_THAT(errorText, IsEmpty());
}

const ItemRow kWidget{"Widget", 10.0, 100.0, 90.0, kCogs};

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueAdjustDayTest,
    ::testing::Values(
        DayCase{"SharesFollowQuantitiesAcrossClasses",
                {kWidget},
                {},
                invoice("1", line("InvoiceLineRet", "Widget", "1", "K1") +
                                 line("InvoiceLineRet", "Widget", "3", "K2")),
                "",
                "",
                {kCogs + "|K1|Carter|Widget=97.50", kCogs + "|K2|Carter|Widget=90.00"}},
        DayCase{"CreditMemoShareGivesValueBack",
                {kWidget},
                {},
                invoice("1", line("InvoiceLineRet", "Widget", "3")),
                creditMemo("2", line("CreditMemoLineRet", "Widget", "1")),
                "",
                {kCogs + "||Carter|Widget=85.00", kCogs + "||Carter|Widget=90.00"}},
        DayCase{"OnlyDecreasesOfAnAdjustmentAreAdjusted",
                {kWidget},
                {},
                "",
                "",
                adjustment("3", adjustmentLine("Widget", "5") + adjustmentLine("Widget", "-2")),
                {"Shrinkage|K1||Widget=90.00"}},
        DayCase{"DifferenceBelowTwoCentsPostsNothing",
                {{"Widget", 10.0, 100.0, 99.99, kCogs}},
                {},
                invoice("1", line("InvoiceLineRet", "Widget", "2")),
                "",
                "",
                {}},
        DayCase{"TwoLinesOfOneItemMakeOneRequestLine",
                {kWidget},
                {},
                invoice("1", line("InvoiceLineRet", "Widget", "1") +
                                 line("InvoiceLineRet", "Widget", "3")),
                "",
                "",
                {kCogs + "||Carter|Widget=90.00"}},
        DayCase{"TwoCogsAccountsMakeTwoPostings",
                {kWidget, {"Gear", 5.0, 50.0, 52.0, kCogsB}},
                {},
                invoice("1", line("InvoiceLineRet", "Gear", "1") +
                                 line("InvoiceLineRet", "Widget", "2")),
                "",
                "",
                {kCogs + "||Carter|Widget=90.00", kCogsB + "||Carter|Gear=52.00"}},
        DayCase{"DirectLinesThenGroupLinesInventoryBeforeAssembly",
                {kWidget, {"Bolt", 4.0, 8.0, 4.0, kCogs}},
                {{"Kit", 2.0, 40.0, 30.0, kCogs}, {"Gizmo", 1.0, 20.0, 25.0, kCogs}},
                invoice("1", line("InvoiceLineRet", "Kit", "1") + "<InvoiceLineGroupRet>" +
                                 line("InvoiceLineRet", "Gizmo", "1") +
                                 line("InvoiceLineRet", "Bolt", "2") +
                                 line("InvoiceLineRet", "Kit", "1") + "</InvoiceLineGroupRet>" +
                                 line("InvoiceLineRet", "Widget", "2")),
                "",
                "",
                {kCogs + "||Carter|Widget=90.00,Kit=30.00,Bolt=4.00,Gizmo=25.00"}},
        DayCase{"ItemWithoutCogsAccountGoesToTheEmptyAccount",
                {{"Loose", 2.0, 10.0, 12.0, ""}},
                {},
                invoice("1", line("InvoiceLineRet", "Loose", "1")),
                "",
                "",
                {"||Carter|Loose=12.00"}},
        DayCase{"LineWithAClassOutsideTheListIsNotAdjusted",
                {kWidget},
                {},
                invoice("1", line("InvoiceLineRet", "Widget", "2", "Retired")),
                "",
                "",
                {}},
        DayCase{
            "PendingTransactionIsNeitherIssueNorPosting",
            {kWidget},
            {},
            invoice("1", "<IsPending>true</IsPending>" + line("InvoiceLineRet", "Widget", "2")) +
                invoice("2", line("InvoiceLineRet", "Widget", "1")),
            "",
            "",
            {kCogs + "||Carter|Widget=90.00"}}),
    [](const ::testing::TestParamInfo<DayCase>& info) { return info.param.title; });

TEST_F(ValueAdjustTest, IncompleteItemIsNeverAdjusted) {
    addItem(inventory, kWidget);
    inventory.find("Widget")->collectedQty = 6.0;
    runDay(invoice("1", line("InvoiceLineRet", "Widget", "2")));
    EXPECT_THAT(script.requests, IsEmpty());
}

TEST_F(ValueAdjustTest, AClassListedTwiceStillAdjustsTheLineOnce) {
    lists.setAccountsAndClasses({"", kCogs, kCogsB}, {"", "K1", "K1"});
    addItem(inventory, kWidget);
    runDay(invoice("1", line("InvoiceLineRet", "Widget", "2", "K1")));
    EXPECT_THAT(postings(script), ElementsAre(kCogs + "|K1|Carter|Widget=90.00"));
    EXPECT_FLOAT_EQ(inventory.find("Widget")->newValue, 90.0);
}

TEST_F(ValueAdjustTest, RunningValueStartsAtQuickBooksValueAndEndsAtFifo) {
    addItem(inventory, kWidget);
    runDay(invoice("1", line("InvoiceLineRet", "Widget", "1", "K1") +
                            line("InvoiceLineRet", "Widget", "3", "K2")));
    const CCostrunItem& widget = *inventory.find("Widget");
    EXPECT_FLOAT_EQ(widget.issuedQty, 4.0);
    EXPECT_FLOAT_EQ(widget.newValue, 90.0);
}

// --- the request and the log of one posting ---

TEST_F(ValueAdjustTest, PostingCarriesAccountClassCustomerAndMemo) {
    addItem(inventory, kWidget);
    runDay(invoice("1", line("InvoiceLineRet", "Widget", "4", "K1")));
    // The posting and the day's commit after it, in one message set.
    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_THAT(script.requests[0], StartsWith("<?xml version=\"1.0\"?><?qbxml version=\"13.0\"?><QBXML>"
                                               "<QBXMLMsgsRq onError=\"stopOnError\">"));
    const std::vector<std::string> requests = requestElements(script.requests[0]);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0],
              "<InventoryAdjustmentAddRq requestID=\"1688\">"
              "<InventoryAdjustmentAdd>"
              "<AccountRef><FullName>Cost of Goods Sold</FullName></AccountRef>"
              "<TxnDate>2010-04-01</TxnDate>"
              "<CustomerRef><FullName>Carter</FullName></CustomerRef>"
              "<ClassRef><FullName>K1</FullName></ClassRef>"
              "<Memo>FIFO valuation</Memo>"
              "<InventoryAdjustmentLineAdd><ItemRef><FullName>Widget</FullName></ItemRef>"
              "<ValueAdjustment><NewValue>90.00</NewValue></ValueAdjustment>"
              "</InventoryAdjustmentLineAdd>"
              "</InventoryAdjustmentAdd><IncludeRetElement>TxnID</IncludeRetElement>"
              "<IncludeRetElement>EditSequence</IncludeRetElement></InventoryAdjustmentAddRq>");
    EXPECT_THAT(requests[1], StartsWith("<DataExtModRq requestID=\"1688\"><DataExtMod>"));
    EXPECT_THAT(requests[1], HasSubstr("<DataExtName>LastUpToDate</DataExtName>"));
    EXPECT_THAT(activity(), HasSubstr("-- Value adjust account Cost of Goods Sold for customer "
                                      "Carter\nItem NewValue\nWidget 90.00\n"));
}

TEST_F(ValueAdjustTest, InventoryAdjustmentPostingHasNoCustomerAndItsOwnLogHeading) {
    addItem(inventory, kWidget);
    runDay("", "", adjustment("3", adjustmentLine("Widget", "-2")));
    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_THAT(script.requests[0], Not(HasSubstr("CustomerRef")));
    EXPECT_THAT(script.requests[0], HasSubstr("<ClassRef><FullName>K1</FullName></ClassRef>"));
    EXPECT_THAT(activity(), HasSubstr("-- Value adjust account Shrinkage\nItem NewValue\n"
                                      "Widget 90.00\n"));
}

TEST_F(ValueAdjustTest, EmptyListSendsNothingAndSucceeds) {
    CValueAdjustList empty;
    adjustments->post(empty, day, kCogs, "", "", true);
    EXPECT_TRUE(commit->empty());
    EXPECT_THAT(script.requests, IsEmpty());
    EXPECT_THAT(activity(), Not(HasSubstr("Value adjust")));
}

// --- refusals ---

TEST_F(ValueAdjustTest, RefusedPostingStopsTheDayBeforeItsCommit) {
    addItem(inventory, kWidget);
    script.responses.push_back(refusedResponse("The account is not valid."));
    runDay(invoice("1", line("InvoiceLineRet", "Widget", "1", "K1") +
                            line("InvoiceLineRet", "Widget", "1", "K2")) +
           invoice("2", line("InvoiceLineRet", "Widget", "2", "K2")));
    EXPECT_EQ(errorText,
              "QuickBooks refused the value adjustment of Widget on 04/01/2010: The account is not valid.");
    // All three postings and the commit went in one set; QuickBooks carried out none
    // after the refused first, so the day is not committed and nothing counts as posted.
    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_THAT(postings(script), ElementsAre(kCogs + "|K1|Carter|Widget=97.50", kCogs + "|K2|Carter|Widget=95.00",
                                              kCogs + "|K2|Carter|Widget=90.00"));
    EXPECT_FALSE(commit->committed().has_value());
    EXPECT_EQ(summary.postings, 0);
    EXPECT_EQ(summary.decrease, 0.0);
    // The refused posting's item is reported once, with the day and QuickBooks' reason.
    EXPECT_THAT(refused, ElementsAre("Widget|04/01/2010|QuickBooks refused its value adjustment: The account is not valid."));
    EXPECT_TRUE(commit->empty());
}

TEST_F(ValueAdjustTest, RefusedPostingLeavesLaterRequestsPlain) {
    script.responses.push_back(refusedResponse("Object not found."));
    CValueAdjustList list;
    list.add("Widget", 100.0, -10.0);
    adjustments->post(list, day, kCogs, "", "", false);
    EXPECT_FALSE(commit->empty());
    sendDay();
    EXPECT_THAT(errorText, HasSubstr("Object not found."));

    // A request sent afterwards goes out as written, and is taken.
    EXPECT_TRUE(session().inventoryAdjustmentAdd(day, kCogs, nullptr, nullptr, nullptr, {"Widget"}, {"90.00"}));
    ASSERT_EQ(script.requests.size(), 2u);
    EXPECT_THAT(script.requests[1], HasSubstr("<InventoryAdjustmentAdd><AccountRef>"));
}

// --- the day's message sets ---

TEST_F(ValueAdjustTest, ALongDayGoesInBoundedSetsWithTheCommitInTheLast) {
    // 450 postings: sets of 200, 200 and 50 with the commit; nothing counts as posted
    // before QuickBooks answered it.
    for (int i = 0; i < 450; ++i) {
        CValueAdjustList list;
        list.add("Item " + std::to_string(i), 10.0, 1.0);
        adjustments->post(list, day, kCogs, "", "", false);
    }
    EXPECT_FALSE(commit->empty());
    EXPECT_TRUE(script.requests.empty());
    sendDay();
    EXPECT_EQ(errorText, "");
    ASSERT_EQ(script.requests.size(), 3u);
    const std::vector<std::string> last = requestElements(script.requests[2]);
    EXPECT_EQ(requestElements(script.requests[0]).size(), 200u);
    EXPECT_EQ(requestElements(script.requests[1]).size(), 200u);
    ASSERT_EQ(last.size(), 51u);
    EXPECT_THAT(last[49], HasSubstr("<FullName>Item 449</FullName>"));
    EXPECT_THAT(last[50], HasSubstr("<DataExtName>LastUpToDate</DataExtName>"));
    EXPECT_EQ(summary.postings, 450);
    EXPECT_DOUBLE_EQ(summary.increase, 450.0);
    EXPECT_EQ(commit->committed(), day);
}

TEST_F(ValueAdjustTest, ARefusedCommitIsSentAgainAsAnAddFromWhereQuickBooksStopped) {
    // A file whose "LastUpToDate" went missing: the modification is refused, and the set
    // goes again from the commit with the addition; the posting is not sent twice.
    addItem(inventory, kWidget);
    script.responses.push_back(addResponse());
    script.responses.push_back(responseDocument(
        "<DataExtModRs statusCode=\"3120\" statusSeverity=\"Error\" statusMessage=\"Object not found.\" />"));
    runDay(invoice("1", line("InvoiceLineRet", "Widget", "4", "K1")));
    EXPECT_EQ(errorText, "");
    ASSERT_EQ(script.requests.size(), 2u);
    const std::vector<std::string> again = requestElements(script.requests[1]);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_THAT(again[0], StartsWith("<DataExtAddRq"));
    EXPECT_THAT(again[0], HasSubstr("<DataExtName>LastUpToDate</DataExtName>"));
    EXPECT_EQ(summary.postings, 1);
    EXPECT_EQ(commit->committed(), day);

    // Both refused: the day is not committed, and QuickBooks' message says why.
    script.responses.push_back(addResponse());
    script.responses.push_back(responseDocument(
        "<DataExtModRs statusCode=\"3120\" statusSeverity=\"Error\" statusMessage=\"Object not found.\" />"));
    script.responses.push_back(responseDocument(
        "<DataExtAddRs statusCode=\"3180\" statusSeverity=\"Error\" statusMessage=\"Not saved.\" />"));
    startRun();
    runDay(invoice("2", line("InvoiceLineRet", "Widget", "1", "K1")));
    EXPECT_EQ(errorText, "Not saved.");
    EXPECT_FALSE(commit->committed().has_value());
}

// The day's postings borrow the run's session; a company file without one refuses the
// run before anything is posted.
TEST_F(ValueAdjustTest, PostingWithoutSessionFailsWithAReason) {
    CCostrunDoc doc(folders());
    script.responses.push_back(hostResponse({"13.0"}));
    script.responses.push_back(responseDocument(
        "<CompanyQueryRs statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\"><CompanyRet>"
        "<CompanyName>Acme</CompanyName><DataExtRet><OwnerID>" +
        std::string(kPrivateOwnerId) +
        "</OwnerID><DataExtName>StartDate</DataExtName><DataExtType>STR255TYPE</DataExtType>"
        "<DataExtValue>2010-03-01T00:00:00-05:00</DataExtValue></DataExtRet></CompanyRet></CompanyQueryRs>"));
    script.responses.push_back(responseDocument(
        "<PreferencesQueryRs statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\">"
        "<PreferencesRet /></PreferencesQueryRs>"));
    ASSERT_TRUE(doc.openCompany("/data/company.qbw")) << doc.getErrorText();
    ASSERT_TRUE(doc.getStartDate().has_value());
    doc.setSession(nullptr);
    EXPECT_FALSE(doc.runValuation(day));
    EXPECT_THAT(doc.getErrorText(), Not(IsEmpty()));
}

}  // namespace
