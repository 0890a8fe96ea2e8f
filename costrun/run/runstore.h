// What the runs keep beside a company file, in one SQLite database per company file's
// valuation history in the data folder (lotwise-<hash>.db, the hash taken from the
// company's name and the first run's time stamp): the record of what was read
// (CSeenRecord), the closing valuation of the last run (CClosingBalance) and the kept
// purchase history (CPurchaseHistory). Each of those owns its tables and writes them in
// one transaction; this file owns the database: its schema and version, opening,
// transactions, statements, the import of the files earlier versions kept, and what
// happens to a database that cannot be read.
//
// What is true of the store after a stop (a crash, a power cut, the program killed) at
// any point:
//  1. Every save is one transaction (BEGIN IMMEDIATE ... COMMIT, SQLite's rollback
//     journal, synchronous writes): a part holds what it held before the save or what
//     the save wrote, never a mixture. A save that fails rolls back.
//  2. The record of what was read is stamped with the "LastRunTime" QuickBooks holds
//     only once that time was stored there (CValuationRun::close, the rewind); a record
//     saved after a refused or lost stamp carries none, and the next open checks by
//     time instead of by content.
//  3. The purchase history is taken (read and deleted in one transaction) before a run
//     or rewind writes anything to QuickBooks, and saved only after the run stored its
//     "LastRunTime", stamped with it. A run stopped between the two leaves no history;
//     a history whose stamp is not the "LastRunTime" QuickBooks holds is never used. A
//     history that could not be deleted when taken is not used either.
//  4. The closing valuation is stamped with the "LastRunTime" of the run that read it and
//     compared only while QuickBooks holds that time and up-to date; a failed save
//     deletes the one before.
//  5. A new store is created, with the import of the record that earlier versions kept
//     in a file beside it, in one transaction (their closing valuation knew items by
//     name, not ListID, and is not imported: the next open checks by transactions); the
//     old files
//     are removed after it committed. A stop before the commit leaves no store and the
//     old files, which the next open imports; a stop after it leaves the old files
//     beside a store, and the next open removes them unread.
//  6. A database that cannot be read (not a database, damaged, of a later schema) is
//     treated as none: it is moved aside (.unreadable) and a new store begun, which
//     remembers why until the next run takes its purchase history and says so in the
//     activity log. Losing the store costs one full reading, never a wrong posting.
//
// Not thread-safe: one object per thread. Several objects, in one process or several,
// may open the same file; a writer waits for another's transaction to end.
#pragma once

#include <optional>
#include <string>

#include "datetime.h"

struct sqlite3;
struct sqlite3_stmt;

class CRunStore {
public:
    // The layout of the tables this version reads and writes (PRAGMA user_version).
    static constexpr int kSchemaVersion = 1;

    // The store of a company's valuation history in the data folder; empty (no store)
    // before a first run stamped the company file.
    static std::string pathFor(const std::string& dataFolder, const std::string& companyName,
                               const std::optional<CDateTime>& lastExecTime);
    // Removes the store at `path` and its journal. Nothing for an empty path.
    static void remove(const std::string& path);

    // Opens the store at `path`, creating it when missing (importing the files earlier
    // versions kept beside it), or beginning a new one in place of one that cannot be
    // read. Not open (errorText says why) for an empty path or a folder that cannot be
    // written.
    explicit CRunStore(const std::string& path);
    ~CRunStore();
    CRunStore(const CRunStore&) = delete;
    CRunStore& operator=(const CRunStore&) = delete;

    bool isOpen() const { return db != nullptr; }
    // Why the store could not be opened, or why its last statement failed.
    const std::string& errorText() const { return error; }
    // Runs SQL statements without results; false (errorText) at the first that fails.
    bool exec(const char* sql);

    // Test hook: the next `count` commits of every store fail as a stop before the
    // commit would leave them (rolled back).
    static void TEST_refuseCommits(int count);

    // Why the store that stood at this path before was set aside, as recorded when this
    // one was begun; empty when none was. forgetSetAside() clears it within the caller's
    // transaction.
    std::string setAsideReason();
    bool forgetSetAside();

    // A write transaction: the lock is taken at construction (BEGIN IMMEDIATE, waiting a
    // while for another writer), everything is undone at destruction unless commit()
    // succeeded. Check started() before writing.
    class CTransaction {
    public:
        explicit CTransaction(CRunStore& store);
        ~CTransaction();
        CTransaction(const CTransaction&) = delete;
        CTransaction& operator=(const CTransaction&) = delete;
        bool started() const { return open; }
        bool commit();

    private:
        CRunStore& store;
        bool open = false;
    };

    // A prepared statement of the store; valid while the store is. A statement that
    // fails leaves the reason in the store's errorText and failed() true.
    class CStatement {
    public:
        CStatement(CRunStore& store, const char* sql);
        ~CStatement();
        CStatement(const CStatement&) = delete;
        CStatement& operator=(const CStatement&) = delete;

        // Parameters count from 1.
        CStatement& bind(int index, const std::string& text);
        CStatement& bind(int index, double value);
        CStatement& bind(int index, long long value);
        CStatement& bind(int index, const std::optional<double>& value);  // NULL when none
        // The next row: true while one is there; false at the end or on failure.
        bool step();
        // Runs a statement without result rows and resets it for new parameters.
        bool run();
        bool failed() const { return broken; }

        // A column of the current row, counted from 0, when it holds that kind of value;
        // none otherwise (a text where a figure should be, NULL).
        std::optional<std::string> text(int column) const;
        std::optional<double> real(int column) const;
        std::optional<long long> whole(int column) const;
        bool isNull(int column) const;

    private:
        CRunStore& store;
        sqlite3_stmt* statement = nullptr;
        bool broken = false;
    };

private:
    // Opens the store at `path` as the public constructor does, a new one remembering
    // `asideWhy` as the reason the one before it was set aside.
    CRunStore(const std::string& path, const std::string& asideWhy);
    bool open(const std::string& asideWhy);
    bool readable(int& version);
    bool create(const std::string& asideWhy);
    void setAside();
    // Takes the reason a call failed; a damaged database is marked so.
    void note(int code);
    void close();

    std::string filePath;
    sqlite3* db = nullptr;
    std::string error;
    // A read or write met a damaged database: it is set aside when this object goes.
    bool damaged = false;
};
