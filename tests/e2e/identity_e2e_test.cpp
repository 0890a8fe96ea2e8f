// What users do to their item list between two runs: an item renamed, moved under a
// parent or merged into another. Each case values a company run by run with the change
// made between the runs, keeping its purchase history, and ends in the books of a company
// that never had the change: its item named so from the start.
//
// The company: Widget, 100 on hand at 1.00 from before the start date (01/01/2010); 10
// bought at 5.00 on 01/05; 20 sold on 01/06; valued to 01/10; the change; 5 sold on
// 01/12; valued to 01/15. FIFO then holds 75 at 1.00 and 10 at 5.00: 125.00.
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "e2efixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

}  // namespace

class ItemIdentity : public ValuationRun {
protected:
    // An item's field as QuickBooks answers a query of its full name.
    static std::string itemField(const std::string& path, const std::string& name, const std::string& field) {
        const CQbResponse response(
            answer(path, "<ItemInventoryQueryRq><FullName>" + name + "</FullName></ItemInventoryQueryRq>"));
        CQbObject item;
        if (CQbDomReader::Node* node = response.findElement("ItemInventoryRet")) item.load(node);
        return item.getValue(field);
    }

    // The request that modifies the item with `elements` (in the schema's order).
    static std::string itemMod(const std::string& path, const std::string& name, const std::string& elements) {
        return "<ItemInventoryModRq><ItemInventoryMod><ListID>" + itemField(path, name, "ListID") +
               "</ListID><EditSequence>" + itemField(path, name, "EditSequence") + "</EditSequence>" + elements +
               "</ItemInventoryMod></ItemInventoryModRq>";
    }

    // The activity log of the last run.
    std::string lastLog() const {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            if (entry.path().filename() == "activity.txt") {
                std::ifstream in(entry.path(), std::ios::binary);
                return std::string(std::istreambuf_iterator<char>(in), {});
            }
        }
        return {};
    }

    // The company, with an item Parent that Widget may be moved under.
    std::string widgetCompany(const std::string& fileName) {
        CCompanyBuilder company;
        company.lists();
        company.item("Widget");
        company.item("Parent");
        company.bill("2009-12-20", "B-0").line("Widget", 100, 1.00);
        company.bill("2010-01-05", "B-1").line("Widget", 10, 5.00);
        company.invoice("2010-01-06", "1001").line("Widget", 20);
        return companyWith(company, CQbSimCompanyOptions{"Acme " + fileName}, fileName + ".qbw");
    }

    // Values the file to 01/10, makes the change, sells 5 of `sold` on 01/12 and values to
    // 01/15. Returns the status of the last run. A company that never had the change is
    // changed before its first run instead.
    std::string runAround(const std::string& path, const std::function<void()>& change, const std::string& sold,
                          bool before = false) {
        std::string status;
        if (before) change();
        EXPECT_TRUE(run(path, day(2010, 1, 1), day(2010, 1, 10), &status)) << status;
        if (!before) change();
        send(path, std::string(CCompanyBuilder().invoice("2010-01-12", "1002").line(sold, 5)));
        EXPECT_TRUE(run(path, day(2010, 1, 1), day(2010, 1, 15), &status)) << status;
        if (!before) {
            EXPECT_THAT(lastLog(), HasSubstr("Purchase history kept from"));
        }
        return status;
    }
};

// A rename or a move under a parent changes no transaction and is no change at all: the
// kept purchase history still holds the item's lots, and the books are those of a company
// whose item always had the new name.
TEST_F(ItemIdentity, ARenameOrAMoveBetweenRunsGivesTheBooksOfTheNewName) {
    struct CCase {
        const char* what;
        const char* element;  // the Mod's change
        const char* fullName; // the item's full name afterwards
    };
    const std::vector<CCase> cases = {
        {"renamed", "<Name>Gadget</Name>", "Gadget"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir / "appdata");
        const std::string changed = widgetCompany("Changed");
        const std::string status = runAround(
            changed, [&] { send(changed, itemMod(changed, "Widget", c.element)); }, c.fullName);
        EXPECT_THAT(status, Not(HasSubstr("Warning")));
        EXPECT_THAT(openStatus(changed), Not(HasSubstr("stale")));

        const std::string never = widgetCompany("Never");
        runAround(never, [&] { send(never, itemMod(never, "Widget", c.element)); }, c.fullName, true);
        expectSamePostings(postings(never), postings(changed));
        auto opened = window();
        ASSERT_TRUE(opened->openFile(changed));
        const auto [quantity, value] = carried(*opened->getEngine(), day(2010, 1, 15), c.fullName);
        EXPECT_DOUBLE_EQ(quantity, 85.0);
        EXPECT_NEAR(value, 125.00, 0.005);
    }
}
