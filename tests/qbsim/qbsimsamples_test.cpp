// The sample company loads cleanly under the schema check and values sensibly, and the
// synthetic company generator gives the same file for the same seed.
#include "qbsimgenerator.h"
#include "qbsimtesthelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every row of the tables that hold the company's content, as text.
std::string contentOf(const std::string& path) {
    auto company = CQbSimCompany::open(path);
    std::string text;
    for (const char* sql : {"SELECT list_id, kind, full_name, time_created, parent_id, sublevel FROM list_object ORDER BY id",
                            "SELECT txn_id, txn_type, txn_date, is_pending, ref_number, edit_sequence FROM txn ORDER BY id",
                            "SELECT txn_row, seq, line_kind, item_id, quantity, amount FROM txn_line ORDER BY id"}) {
        CQbSimStmt s(company->db(), sql);
        while (s.step())
            for (int c = 0; c < 6; ++c) text += s.optText(c).value_or("") + "|";
        text += "\n";
    }
    return text;
}

}  // namespace

TEST(QbSimSamples, AcmeHardwareLoadsUnderTheSchemaAndValues) {
    const std::string schemaPath = qbsimTestSchemaPath();
    CTempDir dir;
    auto company = CQbSimCompany::create(dir.file("acme.qbw"), {"Acme Hardware", false, false});
    std::shared_ptr<const CQbSimSchema> schema;
    if (std::filesystem::exists(schemaPath)) schema = CQbSimSchema::load(schemaPath);
    CQbSimEngine engine(*company, schema);
    for (const char* name : {"acme_hardware_lists.xml", "acme_hardware_2024_12.xml", "acme_hardware_2025_q1.xml"}) {
        const CParsedResponse rs(engine.processRequest(readFile(std::string(LOTWISE_SOURCE_DIR) + "/samples/" + name)));
        ASSERT_TRUE(rs.ok()) << name;
        ASSERT_GT(rs.size(), 0u) << name;
        for (const auto& r : rs.all()) ASSERT_EQ(r.code, 0) << name << ": " << r.name << ": " << r.message;
    }
    CQbSimStmt pending(company->db(), "SELECT COUNT(*) FROM txn WHERE txn_type = 'BuildAssembly' AND is_pending = 1");
    pending.step();
    EXPECT_EQ(pending.integer(0), 1);

    // Every stocked item is valued at a plausible average cost at the start and end.
    for (const char* date : {"2024-12-31", "2025-03-31"}) {
        int items = 0;
        for (const auto& row : engine.valuationSummary(date, CQbSimEngine::valuationKinds(std::nullopt))) {
            if (row.kind != CQbSimEngine::CValuationRow::Data) continue;
            ++items;
            EXPECT_GT(row.quantity, 0) << date << " " << row.fullName;
            EXPECT_GT(row.valueCents, 0) << date << " " << row.fullName;
        }
        EXPECT_EQ(items, 12) << date;
    }
}

TEST(QbSimGenerator, SameSeedSameCompanyAndEveryKindOfTransaction) {
    CTempDir dir;
    CQbSimGeneratorOptions options;
    options.items = 40;
    options.assemblies = 6;
    options.days = 12;
    options.seed = 11;
    qbsimGenerateCompany(dir.file("a.qbw"), options);
    qbsimGenerateCompany(dir.file("b.qbw"), options);
    options.seed = 12;
    qbsimGenerateCompany(dir.file("c.qbw"), options);
    const std::string a = contentOf(dir.file("a.qbw"));
    EXPECT_EQ(a, contentOf(dir.file("b.qbw")));
    EXPECT_NE(a, contentOf(dir.file("c.qbw")));

    auto company = CQbSimCompany::open(dir.file("a.qbw"));
    CQbSimStmt kinds(company->db(), "SELECT COUNT(DISTINCT txn_type), COUNT(DISTINCT txn_date) FROM txn");
    kinds.step();
    EXPECT_EQ(kinds.integer(0), 8);
    EXPECT_EQ(kinds.integer(1), 12);
    CQbSimStmt structure(company->db(),
                         "SELECT (SELECT COUNT(*) FROM list_object WHERE parent_id IS NOT NULL AND name_space = 'Item'), "
                         "(SELECT COUNT(*) FROM account WHERE account_type = 'CostOfGoodsSold'), "
                         "(SELECT COUNT(*) FROM list_object WHERE kind = 'Class'), "
                         "(SELECT COUNT(*) FROM txn_line WHERE group_row IS NOT NULL)");
    structure.step();
    EXPECT_GT(structure.integer(0), 0);
    EXPECT_GE(structure.integer(1), 2);
    EXPECT_GE(structure.integer(2), 2);
    EXPECT_GT(structure.integer(3), 0);
}

namespace {

// Runs the qbsim tool; returns its exit code and leaves stdout in `output`.
int runTool(const std::string& arguments, std::string& output) {
    output.clear();
    FILE* pipe = popen((std::string(QBSIM_TOOL) + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(QbSimTool, ValuationPrintsTheItemRowsAsCsv) {
    CTempDir dir;
    const std::string file = dir.file("tool.qbw");
    {
        auto company = CQbSimCompany::create(file, {"Tool Co", false, false});
        CQbSimEngine engine(*company, nullptr);
        const CParsedResponse rs(engine.processRequest(envelope(
            "<AccountAddRq><AccountAdd><Name>Asset</Name><AccountType>OtherCurrentAsset</AccountType></AccountAdd></AccountAddRq>"
            "<AccountAddRq><AccountAdd><Name>COGS</Name><AccountType>CostOfGoodsSold</AccountType></AccountAdd></AccountAddRq>"
            "<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
            "<ItemInventoryAddRq><ItemInventoryAdd><Name>Nails, \"long\"</Name><IncomeAccountRef><FullName>Sales</FullName>"
            "</IncomeAccountRef><COGSAccountRef><FullName>COGS</FullName></COGSAccountRef><AssetAccountRef><FullName>Asset"
            "</FullName></AssetAccountRef><QuantityOnHand>12.5</QuantityOnHand><TotalValue>25.00</TotalValue>"
            "<InventoryDate>2024-06-01</InventoryDate></ItemInventoryAdd></ItemInventoryAddRq>")));
        for (const auto& r : rs.all()) ASSERT_EQ(r.code, 0) << r.name << ": " << r.message;
    }
    std::string out;
    EXPECT_EQ(runTool("valuation " + file + " --date 2024-06-01 --type Inventory", out), 0);
    EXPECT_EQ(out, "\"Nails, \"\"long\"\"\",12.5,25.00\r\n");
    EXPECT_EQ(runTool("valuation " + file + " --date 2024-05-31", out), 0);
    EXPECT_EQ(out, "\"Nails, \"\"long\"\"\",0,0.00\r\n");
    EXPECT_EQ(runTool("valuation " + file + " --date 2024-06-01 --type Assembly", out), 0);
    EXPECT_EQ(out, "");
    for (const std::string& bad : {"valuation " + file + " --date 2024-13-01", "valuation " + file,
                                  "valuation " + file + " --date 2024-06-01 --type Service",
                                  "valuation " + dir.file("none.qbw") + " --date 2024-06-01",
                                  "generate " + dir.file("g.qbw") + " --items x --assemblies 1 --days 1 --seed 1",
                                  "generate " + file + " --items 5 --assemblies 1 --days 2 --seed 1"})
        EXPECT_NE(runTool(bad, out), 0) << bad;
}
