// QuickBooks lists a deleted transaction for 90 days: TxnDeletedQueryRq answers those
// deleted since then, with or without a deletion-date filter reaching further back.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

class QbSimDeletedHorizonTest : public CValuationFixture {};

TEST_F(QbSimDeletedHorizonTest, DeletionsAreListedForNinetyDays) {
    constexpr std::int64_t kDay = 24 * 60 * 60;
    inventoryItem("Widget", "10.00");
    const std::int64_t deletedAt = company->now() + 1000;
    company->freezeClock(deletedAt - 10);
    const std::string bill = textAt(ok(receipt("Bill", "2024-01-02", "Widget", "5", "10.00"))[0].rets().at(0), "TxnID");
    company->freezeClock(deletedAt);
    deleteTxn("Bill", bill);

    const std::string farBack = "<DeletedDateRangeFilter><FromDeletedDate>2000-01-01T00:00:00+00:00</FromDeletedDate>"
                                "</DeletedDateRangeFilter>";
    struct Case {
        std::int64_t askedAt;  // seconds after the deletion
        std::string filter;
        int status;  // 0: the bill is listed; 1: nothing found
    };
    for (const Case& c : std::vector<Case>{{0, "", 0},
                                          {90 * kDay, "", 0},
                                          {90 * kDay, farBack, 0},
                                          {90 * kDay + 1, "", 1},
                                          {90 * kDay + 1, farBack, 1},
                                          {200 * kDay, "", 1}}) {
        SCOPED_TRACE(std::to_string(c.askedAt) + " s later" + (c.filter.empty() ? "" : ", from 2000"));
        company->freezeClock(deletedAt + c.askedAt);
        const auto rs = send("<TxnDeletedQueryRq><TxnDelType>Bill</TxnDelType>" + c.filter + "</TxnDeletedQueryRq>");
        ASSERT_EQ(rs[0].code, c.status);
        if (c.status == 0) {
            EXPECT_EQ(textAt(rs[0].rets().at(0), "TxnID"), bill);
        }
    }
}

}  // namespace
