// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// "Enter Bill for Received Items": QuickBooks' window turns an item receipt into a bill
// in place. The bill keeps the receipt's TxnID (with a new EditSequence and
// TimeModified), it is dated the bill's date unless the user keeps the receipt's, and its
// item lines may get new amounts. From then on it is answered by Bill queries and no
// longer by ItemReceipt queries, and the average cost follows the bill's amounts and
// date. qbXML has no request for it; `qbsim receive-bill` and the tests call it here.
#pragma once

#include <map>
#include <string>

struct CQbSimBillForReceipt {
    // The bill's date (YYYY-MM-DD); today when empty, as the window fills it in.
    std::string date;
    // "Use item receipt date": the bill keeps the receipt's date; `date` must be empty.
    bool keepReceiptDate = false;
    // New amounts of item lines, by line number: the receipt's item lines counted from 1
    // in the order its Ret lists them, the item lines inside an item group included (the
    // group line itself is not counted, nor are expense lines). A line's cost becomes its
    // amount over its quantity; a group's total follows its lines.
    std::map<int, double> amounts;
};

// Opens the company file, turns the item receipt `txnId` into a bill, and closes the file.
// The change is made whole or not at all. Throws CQbSimCompanyError when the file cannot
// be opened, and CQbSimStatus with QuickBooks' status when the change is refused: 3120
// when no item receipt has that TxnID, 3171 on or before the closing date, 3020 for a
// date QuickBooks does not take, 3210 for a line number the receipt lacks, both a date
// and keepReceiptDate, or an amount out of range, 3180 for a voided receipt.
void qbsimEnterBillForReceivedItems(const std::string& companyPath, const std::string& txnId,
                                    const CQbSimBillForReceipt& bill);
