// Merging two items (qbsimmergeitems.h) and the list deletion log that remembers the
// item merged away (ListDeletedQueryRq). A merge moves every use of the item: transaction
// lines, the assembly of a build, the components of assemblies and groups. Moving a line
// changes no column the change log's triggers watch, so the merge records the earliest
// date it moved itself, and every ledger evaluates again from there.
#include "qbsimengine.h"

#include <set>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

CQbSimStatus mergeRefused(const std::string& fullName, const std::string& reason) {
    return qbsimstatus::saveError("Item list, element \"" + fullName + "\"", reason);
}

}  // namespace

void CQbSimEngine::mergeItems(const std::string& fromFullName, const std::string& intoFullName) {
    CQbSimTransaction txn(db);
    try {
        const CListRow from = mergedItem(fromFullName);
        const CListRow into = mergedItem(intoFullName);
        checkMerge(from, into);
        moveItemUses(from.row, into.row);
        removeMergedItem(from);
        txn.commit();
    } catch (...) {
        // The ledger may have evaluated what the rollback takes back.
        valuation->reset();
        throw;
    }
}

void qbsimMergeItems(const std::string& companyPath, const std::string& fromFullName,
                     const std::string& intoFullName) {
    auto company = CQbSimCompany::open(companyPath);
    CQbSimEngine engine(*company, nullptr);
    engine.mergeItems(fromFullName, intoFullName);
}

CQbSimEngine::CListRow CQbSimEngine::mergedItem(const std::string& fullName) {
    const auto found = findList("Item", nullptr, &fullName);
    if (!found) throw qbsimstatus::notFound(fullName);
    return *found;
}

void CQbSimEngine::checkMerge(const CListRow& from, const CListRow& into) {
    if (from.row == into.row) throw mergeRefused(from.fullName, "An item cannot be merged with itself.");
    if (from.kind != into.kind)
        throw mergeRefused(from.fullName, "Only items of the same type can be merged (\"" + from.fullName +
                                              "\" is " + from.kind + ", \"" + into.fullName + "\" is " +
                                              into.kind + ").");
    CQbSimStmt children(db, "SELECT 1 FROM list_object WHERE parent_id = ?");
    children.bind(1, from.row);
    if (children.step()) throw mergeRefused(from.fullName, "An item that has sub-items cannot be merged.");
    if (containsItem(from.row, into.row) || containsItem(into.row, from.row))
        throw mergeRefused(from.fullName, "The merge would make an assembly contain itself.");
}

bool CQbSimEngine::containsItem(std::int64_t assembly, std::int64_t item) {
    CQbSimStmt parts(db, "SELECT component_id FROM item_component WHERE item_id = ?");
    std::vector<std::int64_t> pending = {assembly};
    std::set<std::int64_t> seen;
    while (!pending.empty()) {
        const std::int64_t next = pending.back();
        pending.pop_back();
        if (!seen.insert(next).second) continue;
        parts.bind(1, next);
        while (parts.step()) {
            if (parts.integer(0) == item) return true;
            pending.push_back(parts.integer(0));
        }
        parts.reset();
    }
    return false;
}

void CQbSimEngine::moveItemUses(std::int64_t from, std::int64_t into) {
    // Stamps are left alone: the transactions keep their EditSequence and TimeModified.
    CQbSimStmt earliest(db, "SELECT MIN(t.txn_date) FROM txn t WHERE t.item_id = ?1 OR "
                            "EXISTS(SELECT 1 FROM txn_line l WHERE l.txn_row = t.id AND l.item_id = ?1)");
    earliest.bind(1, from);
    earliest.step();
    const auto date = earliest.optText(0);
    for (const char* sql : {"UPDATE txn_line SET item_id = ?1 WHERE item_id = ?2",
                            "UPDATE txn SET item_id = ?1 WHERE item_id = ?2",
                            "UPDATE item_component SET component_id = ?1 WHERE component_id = ?2"}) {
        CQbSimStmt move(db, sql);
        move.bind(1, into).bind(2, from).run();
    }
    if (date) recordInventoryChange(*date);
}

void CQbSimEngine::removeMergedItem(const CListRow& from) {
    CQbSimStmt created(db, "SELECT time_created FROM list_object WHERE id = ?");
    created.bind(1, from.row);
    created.step();
    CQbSimStmt log(db, "INSERT INTO list_deleted(list_type, list_id, full_name, time_created, time_deleted) "
                       "VALUES(?, ?, ?, ?, ?)");
    log.bind(1, from.kind).bind(2, from.listId).bind(3, from.fullName).bind(4, created.integer(0))
        .bind(5, company.now()).run();
    deleteDataExtOf("List", from.listId);
    for (const char* sql : {"DELETE FROM item_component WHERE item_id = ?", "DELETE FROM item WHERE id = ?",
                            "DELETE FROM list_object WHERE id = ?"}) {
        CQbSimStmt remove(db, sql);
        remove.bind(1, from.row).run();
    }
}

void CQbSimEngine::listDeletedQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    deletionLogQuery(rq, out,
                     {"list_deleted", "list_type, list_id, time_created, time_deleted, full_name", "ListDelType",
                      "ListDeletedRet", "ListID", "FullName"});
}
