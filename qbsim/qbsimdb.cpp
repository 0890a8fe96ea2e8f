// SQLite connection, statement and transaction wrappers for the company file.
#include "qbsimdb.h"

#include <sqlite3.h>

CQbSimDb::CQbSimDb(const std::string& path, bool create) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &conn, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = conn ? sqlite3_errmsg(conn) : sqlite3_errstr(rc);
        sqlite3_close(conn);
        conn = nullptr;
        throw CQbSimDbError(message, rc);
    }
    sqlite3_extended_result_codes(conn, 1);
    sqlite3_busy_timeout(conn, 5000);
}

CQbSimDb::~CQbSimDb() {
    for (auto& entry : idle) sqlite3_finalize(entry.second);
    sqlite3_close_v2(conn);
}

sqlite3_stmt* CQbSimDb::take(std::string_view sql) {
    for (auto it = idle.begin(); it != idle.end(); ++it) {
        if (it->first == sql) {
            sqlite3_stmt* stmt = it->second;
            idle.erase(it);
            return stmt;
        }
    }
    return nullptr;
}

void CQbSimDb::give(std::string sql, sqlite3_stmt* stmt) {
    idle.emplace_front(std::move(sql), stmt);
    if (idle.size() > kCachedStatements) {
        sqlite3_finalize(idle.back().second);
        idle.pop_back();
    }
}

void CQbSimDb::fail(int code) const {
    throw CQbSimDbError(sqlite3_errmsg(conn), code);
}

void CQbSimDb::exec(std::string_view sql) {
    std::string text(sql);
    char* error = nullptr;
    const int rc = sqlite3_exec(conn, text.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw CQbSimDbError(message, rc);
    }
}

std::int64_t CQbSimDb::lastInsertId() const { return sqlite3_last_insert_rowid(conn); }

CQbSimStmt::CQbSimStmt(CQbSimDb& database, std::string_view text) : db(database), sql(text) {
    stmt = db.take(sql);
    if (stmt != nullptr) return;
    const int rc = sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &stmt,
                                      nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        db.fail(rc);
    }
}

CQbSimStmt::~CQbSimStmt() {
    if (stmt == nullptr) return;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    db.give(std::move(sql), stmt);
}

CQbSimStmt& CQbSimStmt::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt, index, value);
    return *this;
}
CQbSimStmt& CQbSimStmt::bind(int index, double value) {
    sqlite3_bind_double(stmt, index, value);
    return *this;
}
CQbSimStmt& CQbSimStmt::bind(int index, std::string_view value) {
    sqlite3_bind_text(stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
}
CQbSimStmt& CQbSimStmt::bindNull(int index) {
    sqlite3_bind_null(stmt, index);
    return *this;
}

bool CQbSimStmt::step() {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt);
    db.fail(rc);
}

void CQbSimStmt::run() {
    while (step()) {
    }
    reset();
}

void CQbSimStmt::reset() {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
}

bool CQbSimStmt::isNull(int column) const { return sqlite3_column_type(stmt, column) == SQLITE_NULL; }
std::int64_t CQbSimStmt::integer(int column) const { return sqlite3_column_int64(stmt, column); }
double CQbSimStmt::real(int column) const { return sqlite3_column_double(stmt, column); }
std::string CQbSimStmt::text(int column) const {
    const auto* p = sqlite3_column_text(stmt, column);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
             : std::string();
}
std::optional<std::int64_t> CQbSimStmt::optInteger(int column) const {
    if (isNull(column)) return std::nullopt;
    return integer(column);
}
std::optional<double> CQbSimStmt::optReal(int column) const {
    if (isNull(column)) return std::nullopt;
    return real(column);
}
std::optional<std::string> CQbSimStmt::optText(int column) const {
    if (isNull(column)) return std::nullopt;
    return text(column);
}

CQbSimTransaction::CQbSimTransaction(CQbSimDb& database) : db(database) {
    db.exec("BEGIN IMMEDIATE");
}

CQbSimTransaction::~CQbSimTransaction() {
    if (open) {
        try {
            db.exec("ROLLBACK");
        } catch (const CQbSimDbError&) {
            // SQLite has already rolled the transaction back itself.
        }
    }
}

void CQbSimTransaction::commit() {
    db.exec("COMMIT");
    open = false;
}
