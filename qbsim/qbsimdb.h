// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// A thin layer over the SQLite C API for the stand-in's company file: an owning
// connection, prepared statements that reset themselves, and one exception type for
// every SQLite failure. Nothing here knows about qbXML.
//
// Not thread-safe: a connection and its statements belong to one thread.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// Any failure reported by SQLite; what() carries SQLite's own message.
class CQbSimDbError : public std::runtime_error {
public:
    CQbSimDbError(const std::string& message, int code)
        : std::runtime_error(message), sqliteCode(code) {}
    int code() const { return sqliteCode; }

private:
    int sqliteCode;
};

class CQbSimDb;

// A prepared statement. Parameters are numbered from 1, columns from 0. step() returns
// true while a row is available; the statement is reset (and its bindings cleared)
// when it is destroyed or rebound with reset(). The compiled statement is borrowed from
// the connection's cache of recently used statements and handed back, reset, on
// destruction, so a statement run again and again is compiled once.
class CQbSimStmt {
public:
    CQbSimStmt(CQbSimDb& db, std::string_view sql);
    ~CQbSimStmt();
    CQbSimStmt(const CQbSimStmt&) = delete;
    CQbSimStmt& operator=(const CQbSimStmt&) = delete;

    CQbSimStmt& bind(int index, std::int64_t value);
    CQbSimStmt& bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
    CQbSimStmt& bind(int index, double value);
    CQbSimStmt& bind(int index, std::string_view value);
    CQbSimStmt& bind(int index, const char* value) { return bind(index, std::string_view(value)); }
    CQbSimStmt& bind(int index, const std::string& value) { return bind(index, std::string_view(value)); }
    CQbSimStmt& bindNull(int index);
    template <class T>
    CQbSimStmt& bind(int index, const std::optional<T>& value) {
        return value ? bind(index, *value) : bindNull(index);
    }

    bool step();
    // Runs a statement that returns no rows.
    void run();
    void reset();

    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::optional<std::int64_t> optInteger(int column) const;
    std::optional<double> optReal(int column) const;
    std::optional<std::string> optText(int column) const;

private:
    CQbSimDb& db;
    std::string sql;
    sqlite3_stmt* stmt = nullptr;
};

class CQbSimDb {
public:
    // Opens (create = true: creates) the database file. Throws CQbSimDbError.
    CQbSimDb(const std::string& path, bool create);
    ~CQbSimDb();
    CQbSimDb(const CQbSimDb&) = delete;
    CQbSimDb& operator=(const CQbSimDb&) = delete;

    void exec(std::string_view sql);
    std::int64_t lastInsertId() const;
    sqlite3* handle() const { return conn; }
    [[noreturn]] void fail(int code) const;

    // The statement cache behind CQbSimStmt: take() hands out an idle compiled statement
    // of that text, or null; give() takes a reset statement back, finalizing the least
    // recently returned one beyond kCachedStatements. Statements out on loan are not in
    // the cache, so the same text can be run nested.
    sqlite3_stmt* take(std::string_view sql);
    void give(std::string sql, sqlite3_stmt* stmt);
    static constexpr std::size_t kCachedStatements = 64;

private:
    sqlite3* conn = nullptr;
    // Most recently returned first.
    std::list<std::pair<std::string, sqlite3_stmt*>> idle;
};

// Runs its scope as one SQLite transaction: committed by commit(), rolled back when the
// scope is left without it (also by an exception).
class CQbSimTransaction {
public:
    explicit CQbSimTransaction(CQbSimDb& db);
    ~CQbSimTransaction();
    CQbSimTransaction(const CQbSimTransaction&) = delete;
    CQbSimTransaction& operator=(const CQbSimTransaction&) = delete;
    void commit();

private:
    CQbSimDb& db;
    bool open = true;
};
