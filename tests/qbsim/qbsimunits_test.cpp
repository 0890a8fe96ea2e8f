// The stand-in's units of measure: a line's quantity moves stock in base units (the
// quantity times its unit's ratio), and the item's purchase cost and sales price, kept
// per base unit, price a line in another unit per that unit, as QuickBooks' forms do.
#include "qbsimtesthelpers.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

// Nail, counted in Each, bought and sold by the Box of 12 as well; it costs 0.50 and
// sells for 1.00 each.
constexpr const char* kLists =
    "<AccountAddRq><AccountAdd><Name>Inventory Asset</Name><AccountType>OtherCurrentAsset</AccountType></AccountAdd></AccountAddRq>"
    "<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
    "<AccountAddRq><AccountAdd><Name>COGS</Name><AccountType>CostOfGoodsSold</AccountType></AccountAdd></AccountAddRq>"
    "<VendorAddRq><VendorAdd><Name>Mill</Name></VendorAdd></VendorAddRq>"
    "<CustomerAddRq><CustomerAdd><Name>Shop</Name></CustomerAdd></CustomerAddRq>"
    "<UnitOfMeasureSetAddRq><UnitOfMeasureSetAdd><Name>Count</Name><UnitOfMeasureType>Count</UnitOfMeasureType>"
    "<BaseUnit><Name>Each</Name><Abbreviation>ea</Abbreviation></BaseUnit>"
    "<RelatedUnit><Name>Box</Name><Abbreviation>bx</Abbreviation><ConversionRatio>12</ConversionRatio></RelatedUnit>"
    "</UnitOfMeasureSetAdd></UnitOfMeasureSetAddRq>"
    "<ItemInventoryAddRq><ItemInventoryAdd><Name>Nail</Name><UnitOfMeasureSetRef><FullName>Count</FullName>"
    "</UnitOfMeasureSetRef><SalesPrice>1.00</SalesPrice><IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef>"
    "<PurchaseCost>0.50</PurchaseCost><COGSAccountRef><FullName>COGS</FullName></COGSAccountRef>"
    "<AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef></ItemInventoryAdd></ItemInventoryAddRq>";

struct UnitCase {
    const char* what;
    const char* txn;           // the request that moves Nail
    const char* lineRet;       // the element of its line
    const char* amount;        // the line's Amount
    const char* quantityOnHand;  // Nail's after it
};

void PrintTo(const UnitCase& c, std::ostream* os) { *os << c.what; }

class QbSimUnitsTest : public ::testing::TestWithParam<UnitCase> {};

TEST_P(QbSimUnitsTest, TheLineMovesBaseUnitsAtItsUnitsPrice) {
    const UnitCase& c = GetParam();
    CTempDir dir;
    auto company = CQbSimCompany::create(dir.file("co.qbw"), {"Units Co", false, true});
    CQbSimEngine engine(*company, nullptr);
    const CParsedResponse rs(engine.processRequest(envelope(std::string(kLists) + c.txn + "<ItemInventoryQueryRq/>")));
    ASSERT_TRUE(rs.ok());
    for (const auto& r : rs.all()) ASSERT_EQ(r.code, 0) << r.name << ": " << r.message;
    const std::size_t txn = rs.size() - 2;
    EXPECT_EQ(textAt(rs[txn].rets()[0], std::string(c.lineRet) + "/Amount"), c.amount);
    EXPECT_EQ(textAt(rs[txn + 1].rets()[0], "QuantityOnHand"), c.quantityOnHand);
}

#define BILL(LINE)                                                                                  \
    "<BillAddRq><BillAdd><VendorRef><FullName>Mill</FullName></VendorRef><ItemLineAdd><ItemRef><FullName>" \
    "Nail</FullName></ItemRef>" LINE "</ItemLineAdd></BillAdd></BillAddRq>"
#define INVOICE(LINE)                                                                                  \
    "<InvoiceAddRq><InvoiceAdd><CustomerRef><FullName>Shop</FullName></CustomerRef><InvoiceLineAdd><ItemRef>" \
    "<FullName>Nail</FullName></ItemRef>" LINE "</InvoiceLineAdd></InvoiceAdd></InvoiceAddRq>"

INSTANTIATE_TEST_SUITE_P(
    Lines, QbSimUnitsTest,
    ::testing::Values(
        UnitCase{"a box at the item's cost", BILL("<Quantity>2</Quantity><UnitOfMeasure>Box</UnitOfMeasure>"),
                 "ItemLineRet", "12.00", "24"},
        UnitCase{"a box at its own cost", BILL("<Quantity>2</Quantity><UnitOfMeasure>Box</UnitOfMeasure><Cost>5.00</Cost>"),
                 "ItemLineRet", "10.00", "24"},
        UnitCase{"the base unit at the item's cost", BILL("<Quantity>3</Quantity><UnitOfMeasure>Each</UnitOfMeasure>"),
                 "ItemLineRet", "1.50", "3"},
        UnitCase{"no unit at the item's cost", BILL("<Quantity>3</Quantity>"), "ItemLineRet", "1.50", "3"},
        UnitCase{"a box sold at the item's price", INVOICE("<Quantity>1</Quantity><UnitOfMeasure>Box</UnitOfMeasure>"),
                 "InvoiceLineRet", "12.00", "-12"},
        UnitCase{"a box sold at its own rate",
                 INVOICE("<Quantity>1</Quantity><UnitOfMeasure>Box</UnitOfMeasure><Rate>10.00</Rate>"),
                 "InvoiceLineRet", "10.00", "-12"}),
    [](const ::testing::TestParamInfo<UnitCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
        return name;
    });

}  // namespace
