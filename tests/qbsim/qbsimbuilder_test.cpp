// The company builder the tests write their companies with sends only requests QuickBooks
// would parse: a company holding every form it writes goes through Intuit's schema and is
// taken whole by the stand-in. The end-to-end tests send without the schema, so an
// element out of order would otherwise go unseen there.
#include "companybuilder.h"
#include "qbsimschema.h"
#include "qbsimtesthelpers.h"

#include <gtest/gtest.h>

namespace {

TEST(QbSimCompanyBuilder, EveryFormItWritesPassesTheSchema) {
    if (!std::filesystem::exists(qbsimTestSchemaPath()))
        GTEST_SKIP() << "qbXML schema not found at " << qbsimTestSchemaPath();
    CCompanyBuilder company;
    company.lists().account("Freight", "Expense").unitSet("By the box", "Box", 10);
    company.item("Widget").units("By the box").price(26.00).cost(10.00);
    company.item("Blue Widget").parent("Widget").units("By the box");
    company.item("Bolt").cost("0.25");
    company.service("Labor", 12.50);
    company.assembly("Kit").part("Bolt", 4).part("Labor", 1);
    company.itemGroup("Pack").part("Bolt", 4);
    company.bill("2010-04-01", "B-1").expense("Freight", 5.00).line("Widget", 3, 20.00).unit("Box").inClass("East")
        .lineAmount("Bolt", 100, 25.00).amount("Bolt", 2.00).group("Pack", 1);
    company.itemReceipt("2010-04-01", "IR-1").line("Bolt", 10, 0.25);
    company.check("2010-04-01", "CK-1").lineAmount("Widget:Blue Widget", 1, 12.00).unit("Box");
    company.cardCharge("2010-04-02", "CC-1").line("Bolt", 8, 0.30);
    company.cardCredit("2010-04-02", "CCC-1").expense("Freight", 1.00).line("Bolt", 2, 0.30).group("Pack", 1);
    company.vendorCredit("2010-04-02", "VC-1").line("Bolt", 1, 0.25);
    company.build("2010-04-02", "Kit", "X-1").quantity(2).markPendingIfRequired();
    company.invoice("2010-04-03", "1001").pending().line("Widget", 1).unit("Box").rate(30.00).inClass("West")
        .group("Pack", 1);
    company.salesReceipt("2010-04-03", "SR-1").line("Kit", 1).inClass("East");
    company.creditMemo("2010-04-03", "CM-1").line("Widget", 3).unit("Each");
    company.adjustment("2010-04-03").quantityDifference("Bolt", -1).newQuantity("Widget:Blue Widget", 5)
        .newValue("Widget", 50.00).valueDifference("Bolt", -0.10);

    CTempDir dir;
    CQbSimCompanyOptions options{"Builder Co"};
    options.unitsOfMeasure = true;
    auto file = CQbSimCompany::create(dir.file("co.qbw"), options);
    CQbSimEngine engine(*file, CQbSimSchema::load(qbsimTestSchemaPath()));
    const CParsedResponse rs(engine.processRequest(envelope(company)));
    ASSERT_TRUE(rs.ok());
    EXPECT_EQ(rs.size(), 28u);
    for (const auto& r : rs.all()) EXPECT_EQ(r.code, 0) << r.name << ": " << r.message;
}

}  // namespace
