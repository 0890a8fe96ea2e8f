// The kinds of transaction the valuation reads, in one table: the qbXML object that
// names each (also its TxnDelType), the name the report and the activity log give it,
// its place among the receiving records of one date, whether its item lines go back to
// the vendor (a credit), and how a run reads it. Every reader of transactions takes
// these facts from here.
#pragma once

#include <string>

enum CCostrunTxnType : int {
    kTxnBuildAssembly = 101,
    kTxnSalesReceipt = 102,
    kTxnInvoice = 103,
    kTxnBill = 104,
    kTxnItemReceipt = 105,
    kTxnInventoryAdjustment = 106,
    kTxnCreditMemo = 107,
    kTxnCheck = 108,
    kTxnCreditCardCharge = 109,
    kTxnVendorCredit = 110,
    kTxnCreditCardCredit = 111,
    kTxnCharge = 112,
};

// A statement charge names its one item in its header rather than in lines. The day's
// reading gives each charge one line of this name holding the header's item elements,
// so that every sale is read by its lines.
inline constexpr const char* kChargeLine = "ChargeItemLine";

struct CTxnKind {
    int code;
    const char* object;  // qbXML object and TxnDelType: "Bill", "ItemReceipt", ...
    const char* name;    // as the report, the activity log and the user read it
    int walkRank;        // order among the receiving records of one date
    bool credit;         // a vendor's or card's credit: item lines go back to the vendor
    bool sale;           // a sale or a customer's credit: its lines issue (or take back) stock
    const char* line;    // the item line element of its Ret
    const char* group;   // the group line element holding more such lines; null for none
    // Read for the run's whole period with its lines, as a purchase; the progress text
    // says so. Null for the kinds read day by day (sales) or on their own (adjustments,
    // builds).
    const char* purchaseProgress;
};

// Every kind, in the order a run asks QuickBooks about them.
inline constexpr CTxnKind kTxnKinds[] = {
    {kTxnBill, "Bill", "Bill", 0, false, false, "ItemLineRet", "ItemGroupLineRet", "Retrieving the list of bills..."},
    {kTxnItemReceipt, "ItemReceipt", "Item Receipt", 1, false, false, "ItemLineRet", "ItemGroupLineRet",
     "Retrieving the list of item receipts..."},
    {kTxnCheck, "Check", "Check", 2, false, false, "ItemLineRet", "ItemGroupLineRet", "Retrieving the list of checks..."},
    {kTxnCreditCardCharge, "CreditCardCharge", "Credit Card Charge", 3, false, false, "ItemLineRet", "ItemGroupLineRet",
     "Retrieving the list of credit card charges..."},
    {kTxnVendorCredit, "VendorCredit", "Vendor Credit", 6, true, false, "ItemLineRet", "ItemGroupLineRet",
     "Retrieving the list of vendor credits..."},
    {kTxnCreditCardCredit, "CreditCardCredit", "Credit Card Credit", 7, true, false, "ItemLineRet", "ItemGroupLineRet",
     "Retrieving the list of credit card credits..."},
    {kTxnInvoice, "Invoice", "Invoice", 8, false, true, "InvoiceLineRet", "InvoiceLineGroupRet", nullptr},
    {kTxnSalesReceipt, "SalesReceipt", "Sales Receipt", 8, false, true, "SalesReceiptLineRet",
     "SalesReceiptLineGroupRet", nullptr},
    {kTxnCreditMemo, "CreditMemo", "Credit Memo", 8, false, true, "CreditMemoLineRet", "CreditMemoLineGroupRet",
     nullptr},
    {kTxnCharge, "Charge", "Statement Charge", 8, false, true, kChargeLine, nullptr, nullptr},
    {kTxnInventoryAdjustment, "InventoryAdjustment", "Inventory Adjustment", 4, false, false,
     "InventoryAdjustmentLineRet", nullptr, nullptr},
    {kTxnBuildAssembly, "BuildAssembly", "Build Assembly", 5, false, false, "ComponentItemLineRet", nullptr, nullptr},
};

// The kind of a type code or of a qbXML object name; null for one the valuation does
// not read.
const CTxnKind* txnKind(int code);
const CTxnKind* txnKindOf(const std::string& object);

// The kind's name as the report gives it ("Bill", "Item Receipt"); "" for an unknown code.
std::string txnTypeName(int code);
// The kind's place among the receiving records of one date; after every receiving kind
// for the others.
int walkRank(int code);
// Whether the kind is a vendor's or card's credit.
bool isCredit(int code);
