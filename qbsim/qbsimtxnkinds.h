// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// The transaction kinds the stand-in holds, one row each: what an Add reads and in
// which order it resolves the header's references, which way an item line moves stock,
// the names of the line elements, and the elements of the kind's Ret in the order
// Intuit's schema gives them. The Add, the Ret and the ledger read this table; what an
// element of a Ret carries is the Ret writer's business (qbsimtxnret.cpp).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The rule a kind's lines follow. Purchases and sales carry expense, item and item
// group lines; a purchase's item line is valued at its own amount, a sale's at the
// item's average cost. Adjustments and builds have lines of their own.
enum class CQbSimTxnFamily { Purchase, Sale, Adjustment, Build };

// An account QuickBooks creates (once) and uses when an Add names none.
struct CQbSimSpecialAccount {
    const char* special;  // the key it is kept under
    const char* name;
    const char* accountType;
};

// A reference in a transaction's header that the Add resolves.
struct CQbSimTxnRef {
    enum Slot { Entity, Account, Class };
    Slot slot;
    const char* tag;        // the Add's element
    bool required;          // a missing element is a 3140 rather than nothing
    const char* typeLabel;  // what a 3140 says was expected
    std::vector<std::string> kinds;         // the list kinds it may name
    std::vector<std::string> accountTypes;  // Account: the types it may name; any when empty
    const CQbSimSpecialAccount* fallback;  // Account: used when none is named
};

// The element names of one line of a kind, in schema order.
using CQbSimLineShape = std::vector<const char*>;

struct CQbSimTxnKind {
    const char* type;   // the stem of the request and Ret names, and txn.txn_type
    const char* label;  // how QuickBooks' messages name it: "Item Receipt"
    CQbSimTxnFamily family;
    // +1 when an item line brings stock in, -1 when it takes stock out.
    double stockSign;
    std::size_t refNumberLength;
    // The header's references, in the order the Add resolves them (which decides
    // which refusal a request with two bad references gets).
    std::vector<CQbSimTxnRef> refs;
    // Lines: the Add's item and group elements, the Ret's, the stored line_kind of an
    // item line, the element of an item line's cost or rate, and the elements of an
    // item line and a group line (the group's item lines follow its elements).
    const char* lineAdd;
    const char* groupAdd;
    const char* lineRet;
    const char* groupRet;
    const char* lineKind;
    const char* rateTag;
    const CQbSimLineShape* itemLine;
    const CQbSimLineShape* groupLine;
    // The Ret's elements after TxnNumber. The element named lineRet stands for all of
    // the item and group lines (a build's component lines), ExpenseLineRet for the
    // expense lines.
    std::vector<const char*> ret;
    // The kind names one item in its header (ItemRef, Quantity, Rate, Amount, Desc), as
    // a statement charge does: it is kept as the transaction's one item line, and the
    // Ret writes those elements of the header from it. lineAdd and lineRet are null.
    bool itemInHeader = false;
};

// The elements of an expense line of a purchase or sale.
extern const CQbSimLineShape kQbSimExpenseLine;

// Whether items of the kind are counted in stock: inventory parts and assemblies.
bool qbsimIsStocked(std::string_view itemKind);

// Every kind the stand-in holds.
std::span<const CQbSimTxnKind> qbsimTxnKinds();
// The kind of a txn_type; throws std::logic_error for a type the table lacks.
const CQbSimTxnKind& qbsimTxnKind(std::string_view type);
