// Units of measure: a company that buys by the box and sells by the each. Every quantity
// the valuation reads counts in the item's base unit, so the lots, the shares of a
// correction and the books come out as they would for a company that never used units.
// Each case is worked out by hand in its comment.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"
#include "widestring.h"

namespace {

using ::testing::HasSubstr;


// A set of the base unit Each and one related unit.
std::string unitSet(const std::string& name, const std::string& unit, const std::string& ratio) {
    return "<UnitOfMeasureSetAddRq><UnitOfMeasureSetAdd><Name>" + name +
           "</Name><UnitOfMeasureType>Count</UnitOfMeasureType>"
           "<BaseUnit><Name>Each</Name><Abbreviation>ea</Abbreviation></BaseUnit><RelatedUnit><Name>" + unit +
           "</Name><Abbreviation>" + unit + "</Abbreviation><ConversionRatio>" + ratio +
           "</ConversionRatio></RelatedUnit></UnitOfMeasureSetAdd></UnitOfMeasureSetAddRq>";
}

std::string item(const std::string& name, const std::string& set) {
    return "<ItemInventoryAddRq><ItemInventoryAdd><Name>" + name + "</Name><UnitOfMeasureSetRef><FullName>" + set +
           "</FullName></UnitOfMeasureSetRef><IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef>"
           "<COGSAccountRef><FullName>Cost of Goods Sold</FullName></COGSAccountRef>"
           "<AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef>"
           "</ItemInventoryAdd></ItemInventoryAddRq>";
}

// A bill of one line; an empty unit leaves the line without one.
std::string bill(const std::string& date, const std::string& ref, const std::string& name,
                 const std::string& quantity, const std::string& unit, const std::string& amount) {
    const std::string uom = unit.empty() ? "" : "<UnitOfMeasure>" + unit + "</UnitOfMeasure>";
    return "<BillAddRq><BillAdd><VendorRef><FullName>Acme Supply</FullName></VendorRef><TxnDate>" + date +
           "</TxnDate><RefNumber>" + ref + "</RefNumber><ItemLineAdd><ItemRef><FullName>" + name +
           "</FullName></ItemRef><Quantity>" + quantity + "</Quantity>" + uom + "<Amount>" + amount +
           "</Amount></ItemLineAdd></BillAdd></BillAddRq>";
}

std::string invoiceLine(const std::string& name, const std::string& quantity, const std::string& unit,
                        const std::string& className = "") {
    std::string line = "<InvoiceLineAdd><ItemRef><FullName>" + name + "</FullName></ItemRef><Quantity>" +
                       quantity + "</Quantity><UnitOfMeasure>" + unit + "</UnitOfMeasure>";
    if (!className.empty()) line += "<ClassRef><FullName>" + className + "</FullName></ClassRef>";
    return line + "</InvoiceLineAdd>";
}

std::string invoice(const std::string& date, const std::string& ref, const std::string& lines) {
    return "<InvoiceAddRq><InvoiceAdd><CustomerRef><FullName>Bright Shop</FullName></CustomerRef><TxnDate>" +
           date + "</TxnDate><RefNumber>" + ref + "</RefNumber>" + lines + "</InvoiceAdd></InvoiceAddRq>";
}

// Answers as QuickBooks would for lines whose unit has since gone from their set: every
// line in Carton comes back in Crate, a unit no set holds.
class CGoneUnitProcessor : public CDelegatingProcessor {
public:
    using CDelegatingProcessor::CDelegatingProcessor;
    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        const HRESULT hr = inner->ProcessRequest(ticket, request, response);
        if (FAILED(hr) || *response == nullptr) return hr;
        std::string text = wideToNarrow(std::wstring(*response, SysStringLen(*response)));
        const std::string from = "<UnitOfMeasure>Carton</UnitOfMeasure>";
        const std::string to = "<UnitOfMeasure>Crate</UnitOfMeasure>";
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        SysFreeString(*response);
        const std::wstring wide = narrowToWide(text);
        *response = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return hr;
    }
};

// Notes the name of every request element sent.
class CRecordingProcessor : public CDelegatingProcessor {
public:
    CRecordingProcessor(IRequestProcessor2* real, std::string& sent) : CDelegatingProcessor(real), sent(sent) {}
    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        sent += wideToNarrow(std::wstring(request, SysStringLen(request)));
        return inner->ProcessRequest(ticket, request, response);
    }

private:
    std::string& sent;
};

class UnitsOfMeasure : public ValuationRun {
protected:
    ~UnitsOfMeasure() override { qbsimSetFaults(std::nullopt); }

    // A company with units of measure on, loaded from the request elements.
    std::string unitsCompany(const std::string& requests, bool unitsOn = true) {
        const std::string path = (dir / "Units.qbw").string();
        std::filesystem::remove(path);
        CQbSimCompanyOptions options{"Units Hardware"};
        options.unitsOfMeasure = unitsOn;
        CQbSimCompany::create(path, options);
        send(path, requests);
        return path;
    }

};

// Widget comes by the box of 10: 04/01 three boxes at 20.00 (30 each, 60.00), 04/02 one box
// at 25.00 (10 each, 25.00); 04/03 15 each sold. FIFO keeps 10 at 2.50 and 15 at 2.00:
// 55.00. QuickBooks' average, 85.00 / 40 = 2.125, leaves 25 for 53.12 (cost of the sale
// 31.88): the correction is +1.88 on the invoice's day.
//
// Bolt comes by the box of 12: 04/01 two boxes for 48.00 (24 each at 2.00), 04/02 12 each
// for 30.00 (2.50). 04/03 one box sold in class East and 8 each in class West: 20 each,
// 16 left. FIFO keeps 12 at 2.50 and 4 at 2.00: 38.00. QuickBooks' average, 78.00 / 36,
// costs the sales 26.00 and 17.33 and leaves 34.67: +3.33, shared by base quantity,
// 12/20 = 2.00 to East and 8/20 = 1.33 to West.
//
// Nut comes by the carton of 10: 04/01 two cartons for 20.00, 04/02 10 each for 15.00, 04/03
// 5 each sold. QuickBooks answers the cartons in a unit its set does not hold: the walk
// needs that lot (25 on hand, 10 from 04/02), so Nut is left unvalued that day, and the
// run says which unit it could not read.
TEST_F(UnitsOfMeasure, QuantitiesCountInTheBaseUnit) {
    const std::string path = unitsCompany(
        kLists + unitSet("By the box", "Box", "10") + unitSet("By the dozen", "Box of 12", "12") +
        unitSet("By the carton", "Carton", "10") + item("Widget", "By the box") + item("Bolt", "By the dozen") +
        item("Nut", "By the carton") + bill("2010-04-01", "B-1", "Widget", "3", "Box", "60.00") +
        bill("2010-04-02", "B-2", "Widget", "1", "Box", "25.00") +
        bill("2010-04-01", "B-3", "Bolt", "2", "Box of 12", "48.00") +
        bill("2010-04-02", "B-4", "Bolt", "12", "", "30.00") +
        bill("2010-04-01", "B-5", "Nut", "2", "Carton", "20.00") + bill("2010-04-02", "B-6", "Nut", "10", "Each", "15.00") +
        invoice("2010-04-03", "1001", invoiceLine("Widget", "15", "Each")) +
        invoice("2010-04-03", "1002",
                invoiceLine("Bolt", "1", "Box of 12", "East") + invoiceLine("Bolt", "8", "Each", "West")) +
        invoice("2010-04-03", "1003", invoiceLine("Nut", "5", "Each")));
    wrapProcessor([](IRequestProcessor2* real) { return new CGoneUnitProcessor(real); });

    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectSamePostings({{{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget"}, 1.88},
                        {{"2010-04-03", "Cost of Goods Sold", "East", "Bright Shop", "Bolt"}, 2.00},
                        {{"2010-04-03", "Cost of Goods Sold", "West", "Bright Shop", "Bolt"}, 1.33}},
                       postings(path));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Widget"), std::make_pair(25.0, 55.0));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Bolt"), std::make_pair(16.0, 38.0));

    // The report's lots and the activity log count each, at the cost of one each.
    const std::string report = readFile(engine().getReportPath());
    EXPECT_THAT(report, HasSubstr("\"Widget\",25.00,53.12,55.00\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-2\",2010/04/02,10.00,2.500000\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-1\",2010/04/01,15.00,2.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Bill\",\"B-3\",2010/04/01,4.00,2.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Nut\",25.00,29.17,\"N/A\"\n"));
    const std::string log = readFile(engine().activityLogPath());
    EXPECT_THAT(log, HasSubstr("Widget 30.000000 60.000000\n"));
    EXPECT_THAT(log, HasSubstr("Bolt 12.000000\nBolt 8.000000\n"));

    std::string named;
    for (const CRunException& e : engine().getRunSummary().exceptions)
        named += e.item + " " + e.day.userDateText() + ": " + e.reason + "\n";
    EXPECT_EQ(named, "Nut 04/03/2010: not valued: a line of Bill B-5 is in the unit \"Crate\", which its "
                     "unit of measure set does not hold\n");
}

// Gear by the carton of 10: 04/01 one carton for 20.00, which QuickBooks answers in a unit
// no set holds; 04/02 a Kit built of 5 Gears. Gear's cost cannot be known, so the build
// keeps no value, and the run says why: the unit, not missing purchases.
TEST_F(UnitsOfMeasure, AComponentInAnUnreadUnitLeavesItsBuildUnvalued) {
    const std::string path = unitsCompany(
        kLists + unitSet("By the carton", "Carton", "10") + item("Gear", "By the carton") +
        "<ItemInventoryAssemblyAddRq><ItemInventoryAssemblyAdd><Name>Kit</Name>"
        "<IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef>"
        "<COGSAccountRef><FullName>Cost of Goods Sold</FullName></COGSAccountRef>"
        "<AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef>"
        "<ItemInventoryAssemblyLine><ItemInventoryRef><FullName>Gear</FullName></ItemInventoryRef>"
        "<Quantity>5</Quantity></ItemInventoryAssemblyLine></ItemInventoryAssemblyAdd></ItemInventoryAssemblyAddRq>" +
        bill("2010-04-01", "B-1", "Gear", "1", "Carton", "20.00") +
        "<BuildAssemblyAddRq><BuildAssemblyAdd><ItemInventoryAssemblyRef><FullName>Kit</FullName>"
        "</ItemInventoryAssemblyRef><TxnDate>2010-04-02</TxnDate><RefNumber>X-1</RefNumber>"
        "<QuantityToBuild>1</QuantityToBuild></BuildAssemblyAdd></BuildAssemblyAddRq>");
    wrapProcessor([](IRequestProcessor2* real) { return new CGoneUnitProcessor(real); });
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    expectSamePostings({}, postings(path));
    std::string named;
    for (const CRunException& e : engine().getRunSummary().exceptions)
        named += e.item + " " + e.day.userDateText() + ": " + e.reason + "\n";
    const std::string unit = "a line of Bill B-1 is in the unit \"Crate\", which its unit of measure set does not hold";
    EXPECT_EQ(named, "Kit 04/02/2010: build X-1 not valued: component Gear cannot be valued: " + unit +
                         "\nGear 04/02/2010: not valued: " + unit +
                         "\nKit 04/02/2010: not valued: the purchases found do not cover the quantity on hand (1.00)\n");
}

// Gadget by the pack of 4, received and issued on every kind of form: 04/01 an item receipt
// of 2 packs for 16.00 (8 at 2.00) and a check for 1 pack, 12.00 (4 at 3.00); 04/02 a card
// charge for 1 pack, 16.00 (4 at 4.00); 04/03 3 packs sold on a sales receipt in class
// East and 1 pack back on a credit memo: 8 on hand. FIFO keeps the card's 4 at 4.00 and
// the check's 4 at 3.00, 28.00; QuickBooks' average (44.00 / 16 = 2.75) carries 22.00. The
// +6.00 goes by base quantity over a net issue of 12 - 4 = 8: +9.00 to the sales receipt,
// -3.00 to the credit memo.
TEST_F(UnitsOfMeasure, EveryFormCountsInTheBaseUnit) {
    const std::string line = "<ItemLineAdd><ItemRef><FullName>Gadget</FullName></ItemRef><Quantity>";
    const std::string path = unitsCompany(
        kLists + unitSet("By the pack", "Pack", "4") + item("Gadget", "By the pack") +
        "<ItemReceiptAddRq><ItemReceiptAdd><VendorRef><FullName>Acme Supply</FullName></VendorRef><TxnDate>2010-04-01"
        "</TxnDate><RefNumber>IR-1</RefNumber>" + line + "2</Quantity><UnitOfMeasure>Pack</UnitOfMeasure>"
        "<Amount>16.00</Amount></ItemLineAdd></ItemReceiptAdd></ItemReceiptAddRq>"
        "<CheckAddRq><CheckAdd><AccountRef><FullName>Checking</FullName></AccountRef><PayeeEntityRef><FullName>Acme Supply"
        "</FullName></PayeeEntityRef><RefNumber>CK-1</RefNumber><TxnDate>2010-04-01</TxnDate>" + line +
        "1</Quantity><UnitOfMeasure>Pack</UnitOfMeasure><Amount>12.00</Amount></ItemLineAdd></CheckAdd></CheckAddRq>"
        "<CreditCardChargeAddRq><CreditCardChargeAdd><AccountRef><FullName>Visa</FullName></AccountRef><PayeeEntityRef>"
        "<FullName>Acme Supply</FullName></PayeeEntityRef><TxnDate>2010-04-02</TxnDate><RefNumber>CC-1</RefNumber>" +
        line + "1</Quantity><UnitOfMeasure>Pack</UnitOfMeasure><Amount>16.00</Amount></ItemLineAdd>"
        "</CreditCardChargeAdd></CreditCardChargeAddRq>"
        "<SalesReceiptAddRq><SalesReceiptAdd><CustomerRef><FullName>Bright Shop</FullName></CustomerRef><TxnDate>"
        "2010-04-03</TxnDate><RefNumber>SR-1</RefNumber><SalesReceiptLineAdd><ItemRef><FullName>Gadget</FullName>"
        "</ItemRef><Quantity>3</Quantity><UnitOfMeasure>Pack</UnitOfMeasure><ClassRef><FullName>East</FullName>"
        "</ClassRef></SalesReceiptLineAdd></SalesReceiptAdd></SalesReceiptAddRq>"
        "<CreditMemoAddRq><CreditMemoAdd><CustomerRef><FullName>Bright Shop</FullName></CustomerRef><TxnDate>"
        "2010-04-03</TxnDate><RefNumber>CM-1</RefNumber><CreditMemoLineAdd><ItemRef><FullName>Gadget</FullName>"
        "</ItemRef><Quantity>1</Quantity><UnitOfMeasure>Pack</UnitOfMeasure></CreditMemoLineAdd></CreditMemoAdd>"
        "</CreditMemoAddRq>");
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectSamePostings({{{"2010-04-03", "Cost of Goods Sold", "East", "Bright Shop", "Gadget"}, 9.00},
                        {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Gadget"}, -3.00}},
                       postings(path));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Gadget"), std::make_pair(8.0, 28.0));
}

// Widget by the box of 10: 04/01 one box for 20.00, 04/02 10 each for 25.00, 04/03 15
// each sold. FIFO keeps 5 at 2.50, 12.50; QuickBooks' average (2.25) leaves 11.25: +1.25.
// The sets are asked for once, and only of a file whose items have them: a file without
// units is asked nothing new. When QuickBooks says the file does not use units (3250)
// no unit can be counted, not even the invoice's Each, and Widget is left unvalued; any
// other refusal stops the run
// before a day is committed, and the next run posts the books in full.
TEST_F(UnitsOfMeasure, TheSetsAreAskedForOnceAndARefusalStopsTheRun) {
    const std::string lists = kLists + unitSet("By the box", "Box", "10");
    const std::string moves = bill("2010-04-02", "B-2", "Widget", "10", "", "25.00") +
                              invoice("2010-04-03", "1001", invoiceLine("Widget", "15", "Each"));
    const CPostings books = {{{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget"}, 1.25}};
    std::string sent;
    wrapProcessor([&sent](IRequestProcessor2* real) { return new CRecordingProcessor(real, sent); });
    std::string status;

    // Without units of measure (no set, no unit on any line).
    std::string path = unitsCompany(
        kLists + "<ItemInventoryAddRq><ItemInventoryAdd><Name>Widget</Name><IncomeAccountRef><FullName>Sales"
                 "</FullName></IncomeAccountRef><COGSAccountRef><FullName>Cost of Goods Sold</FullName>"
                 "</COGSAccountRef><AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef>"
                 "</ItemInventoryAdd></ItemInventoryAddRq>" +
            bill("2010-04-01", "B-1", "Widget", "10", "", "20.00") + bill("2010-04-02", "B-2", "Widget", "10", "", "25.00") +
            invoice("2010-04-03", "1001", "<InvoiceLineAdd><ItemRef><FullName>Widget</FullName></ItemRef>"
                                          "<Quantity>15</Quantity></InvoiceLineAdd>"),
        false);
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    EXPECT_EQ(sent.find("UnitOfMeasureSetQueryRq"), std::string::npos);
    expectSamePostings(books, postings(path));

    // With units of measure, asked for once per run.
    path = unitsCompany(lists + item("Widget", "By the box") + bill("2010-04-01", "B-1", "Widget", "1", "Box", "20.00") +
                        moves);
    sent.clear();
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    std::size_t asked = 0;
    for (std::size_t at = sent.find("<UnitOfMeasureSetQueryRq"); at != std::string::npos;
         at = sent.find("<UnitOfMeasureSetQueryRq", at + 1))
        ++asked;
    EXPECT_EQ(asked, 1u);
    expectSamePostings(books, postings(path));

    // The file does not use units of measure (any more): the box cannot be counted.
    path = unitsCompany(lists + item("Widget", "By the box") + bill("2010-04-01", "B-1", "Widget", "1", "Box", "20.00") +
                        moves);
    CQbSimFaults off;
    off.statusRequest = "UnitOfMeasureSetQueryRq";
    off.statusAt = 1;
    off.statusCode = 3250;
    off.statusMessage = "This feature is not enabled or not available in this version of QuickBooks.";
    qbsimSetFaults(off);
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectSamePostings({}, postings(path));
    EXPECT_THAT(readFile(engine().getReportPath()), HasSubstr("\"Widget\",5.00,11.25,\"N/A\"\n"));
    ASSERT_EQ(engine().getRunSummary().exceptions.size(), 1u);
    EXPECT_EQ(engine().getRunSummary().exceptions[0].reason,
              "not valued: a line of Invoice 1001 is in the unit \"Each\", which its unit of measure set does not hold");

    // Refused: nothing is committed, and the next run finishes the books.
    path = unitsCompany(lists + item("Widget", "By the box") + bill("2010-04-01", "B-1", "Widget", "1", "Box", "20.00") +
                        moves);
    CQbSimFaults refused = off;
    refused.statusCode = 3261;
    refused.statusMessage = "You do not have permission to access this data.";
    qbsimSetFaults(refused);
    EXPECT_FALSE(runTo(path, 3, &status));
    EXPECT_EQ(status, "You do not have permission to access this data.");
    expectSamePostings({}, postings(path));
    qbsimSetFaults(std::nullopt);
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectSamePostings(books, postings(path));
}

}  // namespace
