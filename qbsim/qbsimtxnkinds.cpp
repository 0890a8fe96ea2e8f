// The table of transaction kinds. Each Ret's element list follows Intuit's schema for
// that Ret, less the elements the stand-in never writes; the sales forms list
// ExpenseLineRet too, because the stand-in keeps the expense lines an Add sent them.
#include "qbsimtxnkinds.h"

#include <stdexcept>

const CQbSimLineShape kQbSimExpenseLine = {"TxnLineID",   "AccountRef", "Amount", "Memo",
                                           "CustomerRef", "ClassRef"};

namespace {

const CQbSimLineShape kPurchaseItemLine = {"TxnLineID", "ItemRef", "Desc", "Quantity", "UnitOfMeasure",
                                           "Cost", "Amount", "CustomerRef", "ClassRef", "DataExtRet"};
const CQbSimLineShape kPurchaseGroupLine = {"TxnLineID", "ItemGroupRef", "Desc", "Quantity",
                                            "UnitOfMeasure", "TotalAmount"};
const CQbSimLineShape kSaleItemLine = {"TxnLineID", "ItemRef", "Desc", "Quantity", "UnitOfMeasure",
                                       "Rate", "ClassRef", "Amount", "DataExtRet"};
const CQbSimLineShape kSaleGroupLine = {"TxnLineID", "ItemGroupRef", "Desc", "Quantity",
                                        "UnitOfMeasure", "IsPrintItemsInGroup", "TotalAmount"};
const CQbSimLineShape kAdjustmentLine = {"TxnLineID", "ItemRef", "QuantityDifference",
                                         "ValueDifference"};
const CQbSimLineShape kComponentLine = {"ItemRef", "QuantityOnHand", "QuantityNeeded"};

const CQbSimSpecialAccount kPayable{"AccountsPayable", "Accounts Payable", "AccountsPayable"};
const CQbSimSpecialAccount kReceivable{"AccountsReceivable", "Accounts Receivable", "AccountsReceivable"};
const CQbSimSpecialAccount kUndeposited{"UndepositedFunds", "Undeposited Funds", "OtherCurrentAsset"};

CQbSimTxnRef entity(const char* tag, bool required, const char* label, std::vector<std::string> kinds) {
    return {CQbSimTxnRef::Entity, tag, required, label, std::move(kinds), {}, nullptr};
}
CQbSimTxnRef account(const char* tag, bool required, std::vector<std::string> types = {},
                     const CQbSimSpecialAccount* fallback = nullptr) {
    return {CQbSimTxnRef::Account, tag, required, "Account", {"Account"}, std::move(types), fallback};
}
const CQbSimTxnRef kClass{CQbSimTxnRef::Class, "ClassRef", false, "Class", {"Class"}, {}, nullptr};

// The header references of the three kinds of purchase.
std::vector<CQbSimTxnRef> fromVendor() {
    return {entity("VendorRef", true, "Vendor", {"Vendor"}),
            account("APAccountRef", false, {"AccountsPayable"}, &kPayable), kClass};
}
// A check is drawn on a bank (or card) account; a card charge or credit only on a card.
std::vector<CQbSimTxnRef> paidFrom(std::vector<std::string> accountTypes) {
    return {account("AccountRef", true, std::move(accountTypes)),
            entity("PayeeEntityRef", false, "Entity", {"Vendor", "Customer"}), kClass};
}
std::vector<CQbSimTxnRef> toCustomer(bool customerRequired, CQbSimTxnRef receivedInto) {
    return {entity("CustomerRef", customerRequired, "Customer", {"Customer"}), kClass, receivedInto};
}

using F = CQbSimTxnFamily;
const CQbSimTxnRef kARAccount = account("ARAccountRef", false, {"AccountsReceivable"}, &kReceivable);

const CQbSimTxnKind kKinds[] = {
    {"Bill", "Bill", F::Purchase, 1, 20, fromVendor(),
     "ItemLineAdd", "ItemGroupLineAdd", "ItemLineRet", "ItemGroupLineRet", "Item", "Cost",
     &kPurchaseItemLine, &kPurchaseGroupLine,
     {"VendorRef", "APAccountRef", "TxnDate", "DueDate", "AmountDue", "CurrencyRef", "ExchangeRate",
      "AmountDueInHomeCurrency", "RefNumber", "ClassRef", "Memo", "IsPaid", "ExpenseLineRet",
      "ItemLineRet", "OpenAmount", "DataExtRet"}},
    {"ItemReceipt", "Item Receipt", F::Purchase, 1, 20, fromVendor(),
     "ItemLineAdd", "ItemGroupLineAdd", "ItemLineRet", "ItemGroupLineRet", "Item", "Cost",
     &kPurchaseItemLine, &kPurchaseGroupLine,
     {"VendorRef", "APAccountRef", "TxnDate", "TotalAmount", "CurrencyRef", "ExchangeRate",
      "TotalAmountInHomeCurrency", "RefNumber", "Memo", "ExpenseLineRet", "ItemLineRet", "DataExtRet"}},
    {"Check", "Check", F::Purchase, 1, 11, paidFrom({"Bank", "CreditCard"}),
     "ItemLineAdd", "ItemGroupLineAdd", "ItemLineRet", "ItemGroupLineRet", "Item", "Cost",
     &kPurchaseItemLine, &kPurchaseGroupLine,
     {"AccountRef", "PayeeEntityRef", "RefNumber", "TxnDate", "Amount", "CurrencyRef", "ExchangeRate",
      "AmountInHomeCurrency", "Memo", "IsPending", "IsToBePrinted", "ExpenseLineRet", "ItemLineRet",
      "DataExtRet"}},
    {"CreditCardCharge", "Credit Card Charge", F::Purchase, 1, 11, paidFrom({"CreditCard"}),
     "ItemLineAdd", "ItemGroupLineAdd", "ItemLineRet", "ItemGroupLineRet", "Item", "Cost",
     &kPurchaseItemLine, &kPurchaseGroupLine,
     {"AccountRef", "PayeeEntityRef", "TxnDate", "Amount", "CurrencyRef", "ExchangeRate",
      "AmountInHomeCurrency", "RefNumber", "Memo", "ExpenseLineRet", "ItemLineRet", "DataExtRet"}},
    // Credits from vendors (returns) are purchases whose lines take stock out.
    {"VendorCredit", "Vendor Credit", F::Purchase, -1, 20, fromVendor(),
     "ItemLineAdd", "ItemGroupLineAdd", "ItemLineRet", "ItemGroupLineRet", "Item", "Cost",
     &kPurchaseItemLine, &kPurchaseGroupLine,
     {"VendorRef", "APAccountRef", "TxnDate", "CreditAmount", "CurrencyRef", "ExchangeRate",
      "CreditAmountInHomeCurrency", "RefNumber", "Memo", "ExpenseLineRet", "ItemLineRet", "OpenAmount",
      "DataExtRet"}},
    {"CreditCardCredit", "Credit Card Credit", F::Purchase, -1, 11, paidFrom({"CreditCard"}),
     "ItemLineAdd", "ItemGroupLineAdd", "ItemLineRet", "ItemGroupLineRet", "Item", "Cost",
     &kPurchaseItemLine, &kPurchaseGroupLine,
     {"AccountRef", "PayeeEntityRef", "TxnDate", "Amount", "CurrencyRef", "ExchangeRate",
      "AmountInHomeCurrency", "RefNumber", "Memo", "ExpenseLineRet", "ItemLineRet", "DataExtRet"}},
    {"Invoice", "Invoice", F::Sale, -1, 11, toCustomer(true, kARAccount),
     "InvoiceLineAdd", "InvoiceLineGroupAdd", "InvoiceLineRet", "InvoiceLineGroupRet", "Item", "Rate",
     &kSaleItemLine, &kSaleGroupLine,
     {"CustomerRef", "ClassRef", "ARAccountRef", "TxnDate", "RefNumber", "IsPending", "DueDate",
      "Subtotal", "SalesTaxPercentage", "SalesTaxTotal", "AppliedAmount", "BalanceRemaining",
      "CurrencyRef", "ExchangeRate", "BalanceRemainingInHomeCurrency", "Memo", "IsPaid",
      "IsToBePrinted", "IsToBeEmailed", "ExpenseLineRet", "InvoiceLineRet", "DataExtRet"}},
    {"SalesReceipt", "Sales Receipt", F::Sale, -1, 11,
     toCustomer(false, account("DepositToAccountRef", false, {}, &kUndeposited)),
     "SalesReceiptLineAdd", "SalesReceiptLineGroupAdd", "SalesReceiptLineRet", "SalesReceiptLineGroupRet",
     "Item", "Rate", &kSaleItemLine, &kSaleGroupLine,
     {"CustomerRef", "ClassRef", "TxnDate", "RefNumber", "IsPending", "Subtotal", "SalesTaxPercentage",
      "SalesTaxTotal", "TotalAmount", "CurrencyRef", "ExchangeRate", "TotalAmountInHomeCurrency", "Memo",
      "IsToBePrinted", "IsToBeEmailed", "DepositToAccountRef", "ExpenseLineRet", "SalesReceiptLineRet",
      "DataExtRet"}},
    {"CreditMemo", "Credit Memo", F::Sale, 1, 11, toCustomer(true, kARAccount),
     "CreditMemoLineAdd", "CreditMemoLineGroupAdd", "CreditMemoLineRet", "CreditMemoLineGroupRet", "Item",
     "Rate", &kSaleItemLine, &kSaleGroupLine,
     {"CustomerRef", "ClassRef", "ARAccountRef", "TxnDate", "RefNumber", "IsPending", "DueDate",
      "Subtotal", "SalesTaxPercentage", "SalesTaxTotal", "TotalAmount", "CreditRemaining", "CurrencyRef",
      "ExchangeRate", "CreditRemainingInHomeCurrency", "Memo", "IsToBePrinted", "IsToBeEmailed",
      "ExpenseLineRet", "CreditMemoLineRet", "DataExtRet"}},
    // A statement charge sells the one item of its header as an invoice line does.
    {"Charge", "Statement Charge", F::Sale, -1, 11,
     {entity("CustomerRef", true, "Customer", {"Customer"}), kARAccount, kClass},
     nullptr, nullptr, nullptr, nullptr, "Item", "Rate", &kSaleItemLine, nullptr,
     {"CustomerRef", "TxnDate", "RefNumber", "ItemRef", "Quantity", "UnitOfMeasure", "Rate", "Amount",
      "BalanceRemaining", "Desc", "ARAccountRef", "ClassRef", "DueDate", "IsPaid", "DataExtRet"},
     true},
    {"InventoryAdjustment", "Inventory Adjustment", F::Adjustment, 1, 11,
     {account("AccountRef", true), entity("CustomerRef", false, "Customer", {"Customer"}), kClass},
     "InventoryAdjustmentLineAdd", nullptr, "InventoryAdjustmentLineRet", nullptr, "Adjustment", nullptr,
     &kAdjustmentLine, nullptr,
     {"AccountRef", "TxnDate", "RefNumber", "CustomerRef", "ClassRef", "Memo",
      "InventoryAdjustmentLineRet", "DataExtRet"}},
    // The assembly and its quantity are the build's header; its lines are the
    // components it takes out and the assemblies it brings in.
    {"BuildAssembly", "Build Assembly", F::Build, 1, 11, {},
     nullptr, nullptr, "ComponentItemLineRet", nullptr, "Component", nullptr, &kComponentLine, nullptr,
     {"ItemInventoryAssemblyRef", "TxnDate", "RefNumber", "Memo", "IsPending", "QuantityToBuild",
      "QuantityCanBuild", "QuantityOnHand", "QuantityOnSalesOrder", "ComponentItemLineRet",
      "DataExtRet"}},
};

}  // namespace

bool qbsimIsStocked(std::string_view itemKind) {
    return itemKind == "ItemInventory" || itemKind == "ItemInventoryAssembly";
}

std::span<const CQbSimTxnKind> qbsimTxnKinds() { return kKinds; }

const CQbSimTxnKind& qbsimTxnKind(std::string_view type) {
    for (const CQbSimTxnKind& kind : qbsimTxnKinds())
        if (type == kind.type) return kind;
    throw std::logic_error("no transaction kind " + std::string(type));
}
