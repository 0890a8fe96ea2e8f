// The company's closing date (Company > Set Closing Date). QuickBooks keeps the books on
// or before it as they were closed: a transaction dated then can be neither added,
// changed nor deleted, and neither can the custom fields on it or its lines, whoever
// asks. Every request that writes a transaction asks here first, before it writes
// anything, so a refused request leaves the file as it was.
#include "qbsimengine.h"

void CQbSimEngine::refuseClosedDate(const std::string& txnDate, const std::string& txnType,
                                    const char* action) {
    const std::string closing = company.closingDate();
    if (!closing.empty() && !txnDate.empty() && txnDate <= closing)
        throw qbsimstatus::closedPeriod(action, txnType);
}

void CQbSimEngine::refuseClosedTxn(std::int64_t txnRow, const char* action) {
    if (company.closingDate().empty()) return;
    CQbSimStmt find(db, "SELECT txn_date, txn_type FROM txn WHERE id = ?");
    find.bind(1, txnRow);
    if (find.step()) refuseClosedDate(find.text(0), find.text(1), action);
}
