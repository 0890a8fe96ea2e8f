// The company of the tests of Lotwise's own postings and of the balance check: 20 Widgets
// on hand at 5.00 from before the start, 10 bought at 10.00 and 10 at 20.00, 25 sold. FIFO
// leaves 250.00 where QuickBooks' average leaves 150.00, and the sale's day posts +100.00.
#pragma once

#include "e2efixture.h"

inline const std::vector<CPostingRow> kFifoWidgetPosting = {
    {"2025-01-20", "Cost of Goods Sold", "", "Bright Shop", "Widget", 100.00}};

class FifoWidget : public ValuationRun {
protected:
    // The company valued from 01/01/2025 up to 01/31/2025.
    std::string valuedCompany() {
        CCompanyBuilder company;
        company.lists().item("Widget");
        company.bill("2024-12-15", "B-0").line("Widget", 20, 5.00);
        company.bill("2025-01-10", "B-1").line("Widget", 10, 10.00);
        company.bill("2025-01-15", "B-2").line("Widget", 10, 20.00);
        company.invoice("2025-01-20", "1001").line("Widget", 25);
        const std::string path = companyWith(company.requests());
        EXPECT_TRUE(run(path, day(2025, 1, 1), day(2025, 1, 31)));
        expectPostings(path, kFifoWidgetPosting);
        return path;
    }

    // The TxnID of the system's one posting.
    static std::string postingId(const std::string& path) {
        const CQbResponse response(answer(path, "<InventoryAdjustmentQueryRq/>"));
        for (CQbDomReader::Node* node : response.findElements("InventoryAdjustmentRet")) {
            CQbObject txn;
            txn.load(node);
            if (txn.getValue("Memo") == kValueAdjustMemo) return txn.getValue("TxnID");
        }
        return {};
    }

    static void deletePosting(const std::string& path) {
        send(path, "<TxnDelRq><TxnDelType>InventoryAdjustment</TxnDelType><TxnID>" + postingId(path) +
                       "</TxnID></TxnDelRq>");
    }
};
