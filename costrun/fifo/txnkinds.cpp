#include "txnkinds.h"

const CTxnKind* txnKind(int code) {
    for (const CTxnKind& kind : kTxnKinds) {
        if (kind.code == code) return &kind;
    }
    return nullptr;
}

const CTxnKind* txnKindOf(const std::string& object) {
    for (const CTxnKind& kind : kTxnKinds) {
        if (object == kind.object) return &kind;
    }
    return nullptr;
}

std::string txnTypeName(int code) {
    const CTxnKind* kind = txnKind(code);
    return kind ? kind->name : "";
}

int walkRank(int code) {
    const CTxnKind* kind = txnKind(code);
    return kind ? kind->walkRank : 8;
}

bool isCredit(int code) {
    const CTxnKind* kind = txnKind(code);
    return kind && kind->credit;
}
