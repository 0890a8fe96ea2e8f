// The balance check at open: a run keeps QuickBooks' quantity and value of every item at
// the end of the valued period, and the next open compares them with what QuickBooks
// carries then. An item that moved is a change behind the valued period even when no
// transaction QuickBooks lists explains it, and the advice then offers a rewind to the
// start date.
#include <filesystem>

#include "fifowidget.h"
#include "runstores.h"

namespace {

// The answer without any element of the name: what QuickBooks would answer if it did not
// list those objects.
std::string withoutElements(const std::string& answer, const std::string& name) {
    const std::string open = "<" + name + ">";
    const std::string close = "</" + name + ">";
    std::string result = answer;
    for (std::size_t start = result.find(open); start != std::string::npos; start = result.find(open, start)) {
        const std::size_t end = result.find(close, start);
        if (end == std::string::npos) break;
        result.erase(start, end + close.size() - start);
    }
    return result;
}

const char* const kNoTransactionDatesIt =
    "Warning : FIFO values may be stale: QuickBooks' inventory on 01/31/2025 is not what the last run left, and no "
    "transaction entered, changed or deleted since the last run dates the change. Use Rewind to the start date "
    "01/01/2025, or to the last date you trust.";

}  // namespace

class BalanceCheck : public FifoWidget {
protected:
    // Sessions from now on see answers without the elements of the name.
    void hide(const std::string& name) {
        wrapProcessor([name](IRequestProcessor2* real) {
            return new CRewritingProcessor(real, [name](const std::string& text) { return withoutElements(text, name); });
        });
    }

    static void removeKeptBalances(const std::filesystem::path& folder) {
        EXPECT_TRUE(changeRunStores(folder, "DELETE FROM closing; DELETE FROM closing_item"));
    }
};

// Each change is made behind the valued period where QuickBooks' lists do not show it:
// the open names the item with what QuickBooks carries and what the last run left, and
// the rewind to the start date it offers, with a run, ends with the FIFO books.
TEST_F(BalanceCheck, AnItemThatMovedIsNamedWhenNoTransactionExplainsIt) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> change;  // what the user does
        const char* hidden;  // the element QuickBooks' answers leave out; null for none
        std::string line;  // the item's line; "" when nothing moved
        std::pair<double, double> carried;  // Widget on 01/31/2025 after the rewind and run
    };
    const std::vector<Case> cases = {
        {"the posting deleted where no deletion is listed",
         deletePosting,
         "TxnDeletedRet",
         "\n  Widget: on 01/31/2025 QuickBooks now carries 15.00 worth 150.00; the last run left 15.00 worth 250.00.",
         {15.0, 250.0}},
        {"a bill entered where no modification is listed",
         [](const std::string& path) {
             CCompanyBuilder bill;
             bill.bill("2025-01-25", "LATE-1").line("Widget", 5, 10.00);
             send(path, bill.requests());
         },
         "BillRet",
         "\n  Widget: on 01/31/2025 QuickBooks now carries 20.00 worth 300.00; the last run left 15.00 worth 250.00.",
         {20.0, 300.0}},
        {"nothing", [](const std::string&) {}, nullptr, "", {15.0, 250.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = valuedCompany();
        c.change(path);
        if (c.hidden != nullptr) hide(c.hidden);
        auto opened = window();
        ASSERT_TRUE(opened->openFile(path));
        if (c.line.empty()) {
            EXPECT_EQ(opened->statusText(), kOpenedValued);
            EXPECT_FALSE(opened->getEngine()->earliestChangeBehind());
        } else {
            EXPECT_EQ(opened->statusText(), kNoTransactionDatesIt + c.line + "\n\n" + kOpenedValued);
            ASSERT_TRUE(opened->getEngine()->earliestChangeBehind());
            EXPECT_EQ(opened->getEngine()->earliestChangeBehind()->userDateText(), "01/01/2025");
            opened.reset();
            qbsimRegister();
            std::string status;
            ASSERT_TRUE(rewind(path, day(2025, 1, 1), &status)) << status;
            ASSERT_TRUE(run(path, day(2025, 1, 1), day(2025, 1, 31), &status)) << status;
            expectPostings(path, kFifoWidgetPosting);
            opened = window();
            ASSERT_TRUE(opened->openFile(path));
            EXPECT_EQ(opened->statusText(), kOpenedValued);
        }
        EXPECT_EQ(carried(*opened->getEngine(), day(2025, 1, 31), "Widget"), c.carried);
        opened.reset();
        qbsimRegister();
        std::filesystem::remove(path);
        std::filesystem::remove_all(dir / "appdata");
    }
}

// A file whose last run kept no closing valuation opens as before, checked by its
// transactions alone; its next run keeps one, and the open after it finds what moved.
TEST_F(BalanceCheck, AFileValuedBeforeTheBalanceWasKeptIsCheckedFromItsNextRun) {
    const std::string path = valuedCompany();
    removeKeptBalances(dir / "appdata");
    hide("TxnDeletedRet");
    EXPECT_EQ(openStatus(path), kOpenedValued);
    std::string status;
    ASSERT_TRUE(run(path, day(2025, 1, 1), day(2025, 2, 28), &status)) << status;
    deletePosting(path);
    EXPECT_EQ(openStatus(path),
              std::string(
                  "Warning : FIFO values may be stale: QuickBooks' inventory on 02/28/2025 is not what the last run "
                  "left, and no transaction entered, changed or deleted since the last run dates the change. Use "
                  "Rewind to the start date 01/01/2025, or to the last date you trust.\n  Widget: on 02/28/2025 "
                  "QuickBooks now carries 15.00 worth 150.00; the last run left 15.00 worth 250.00.\n\n") +
                  kOpenedValued);
}
