#include "runstore.h"

#include <sqlite3.h>

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "files.h"
#include "qbutils.h"

namespace {

constexpr const char* kStorePrefix = "lotwise-";
constexpr const char* kStoreExtension = ".db";
// How long a save waits for another program's transaction on the same store.
constexpr int kBusyMilliseconds = 10000;

// Version 1. The record of what was read and the purchase history are keyed by TxnID,
// the closing valuation by item; each part's stamps stand in a table of one row, which is
// missing while the part holds nothing. Figures are REAL: SQLite keeps a double's eight
// bytes, so they read back exactly.
constexpr const char* kSchema = R"sql(
CREATE TABLE store_note(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE seen_record(one INTEGER PRIMARY KEY CHECK (one = 1), last_run_time TEXT);
CREATE TABLE seen_txn(
  txn_id TEXT PRIMARY KEY, type TEXT NOT NULL, txn_date TEXT NOT NULL,
  ref_number TEXT NOT NULL, edit_sequence TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE seen_posting_item(
  txn_id TEXT NOT NULL, position INTEGER NOT NULL, item TEXT NOT NULL,
  PRIMARY KEY (txn_id, position)) WITHOUT ROWID;
CREATE TABLE closing(one INTEGER PRIMARY KEY CHECK (one = 1), last_run_time TEXT NOT NULL, day TEXT NOT NULL);
CREATE TABLE closing_item(
  item TEXT PRIMARY KEY, quantity REAL NOT NULL, value REAL NOT NULL, name TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE purchase_history(
  one INTEGER PRIMARY KEY CHECK (one = 1), company TEXT NOT NULL, first_run TEXT NOT NULL,
  start_date TEXT NOT NULL, up_to TEXT NOT NULL, read_at TEXT NOT NULL, last_run_time TEXT NOT NULL,
  values_moved_from TEXT, records INTEGER NOT NULL, lines INTEGER NOT NULL);
CREATE TABLE purchase_txn(
  txn_id TEXT PRIMARY KEY, position INTEGER NOT NULL UNIQUE, type_code INTEGER NOT NULL,
  txn_number INTEGER NOT NULL, txn_date INTEGER, txn_date_text TEXT NOT NULL, ref_number TEXT NOT NULL,
  edit_sequence TEXT NOT NULL, is_pending INTEGER NOT NULL, exchange_rate REAL NOT NULL,
  assembly TEXT NOT NULL, quantity_to_build REAL NOT NULL, build_value REAL,
  build_value_stored INTEGER NOT NULL, assembly_id TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE purchase_line(
  txn_id TEXT NOT NULL, line INTEGER NOT NULL, item TEXT NOT NULL, quantity REAL NOT NULL,
  amount REAL NOT NULL, unit_name TEXT NOT NULL, unit_set_list_id TEXT NOT NULL,
  unit_set_name TEXT NOT NULL, is_return INTEGER NOT NULL, item_id TEXT NOT NULL,
  unit_set_kept INTEGER NOT NULL, PRIMARY KEY (txn_id, line)) WITHOUT ROWID;
CREATE TABLE purchase_value_change(
  txn_id TEXT NOT NULL, line INTEGER NOT NULL, item TEXT NOT NULL, amount REAL NOT NULL,
  on_units_before INTEGER NOT NULL, item_id TEXT NOT NULL, PRIMARY KEY (txn_id, line)) WITHOUT ROWID;
)sql";
constexpr int kTables = 10;
constexpr const char* kSetAsideNote = "set aside";

// The file an earlier version kept beside the store, named by the same hash.
std::string legacyPath(const std::string& storePath, const char* prefix, const char* extension) {
    const std::size_t name = storePath.rfind(kStorePrefix);
    const std::size_t dot = storePath.rfind(kStoreExtension);
    if (name == std::string::npos || dot == std::string::npos || dot < name) return {};
    const std::size_t hash = name + std::string(kStorePrefix).size();
    return storePath.substr(0, name) + prefix + storePath.substr(hash, dot - hash) + extension;
}

struct CLegacyFiles {
    std::string record, closing, purchases;
};

CLegacyFiles legacyFiles(const std::string& storePath) {
    return {legacyPath(storePath, "transactions-", ".tsv"), legacyPath(storePath, "closing-", ".txt"),
            legacyPath(storePath, "purchases-", ".txt")};
}

// The whole lines of a file (a last line without its line feed is left out and
// `cutShort` set); false when it cannot be opened.
bool readLegacyLines(const std::string& path, std::vector<std::string>& lines, bool& cutShort) {
    std::FILE* file = path.empty() ? nullptr : openFile(path, "rb");
    if (file == nullptr) return false;
    std::string line;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    std::fclose(file);
    cutShort = !line.empty();
    return true;
}

std::vector<std::string> tabFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', from)) {
        fields.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    fields.push_back(line.substr(from));
    return fields;
}

// The record of what was read as an earlier version wrote it: a "#LastRunTime" line, then
// per transaction its TxnID, type, date, RefNumber, EditSequence (missing in the oldest)
// and, for a posting, the items it valued.
bool importLegacyRecord(CRunStore& store, const std::string& path) {
    std::vector<std::string> lines;
    bool cutShort = false;
    if (!readLegacyLines(path, lines, cutShort)) return true;
    std::optional<std::string> stamp;
    CRunStore::CStatement txn(store, "INSERT OR REPLACE INTO seen_txn VALUES (?, ?, ?, ?, ?)");
    CRunStore::CStatement clearItems(store, "DELETE FROM seen_posting_item WHERE txn_id = ?");
    CRunStore::CStatement item(store, "INSERT INTO seen_posting_item VALUES (?, ?, ?)");
    for (const std::string& line : lines) {
        const std::vector<std::string> fields = tabFields(line);
        if (fields.size() == 2 && fields[0] == "#LastRunTime") stamp = fields[1];
        if (fields.size() < 4) continue;
        const std::string editSequence = fields.size() > 4 ? fields[4] : std::string();
        if (!txn.bind(1, fields[0]).bind(2, fields[1]).bind(3, fields[2]).bind(4, fields[3]).bind(5, editSequence).run() ||
            !clearItems.bind(1, fields[0]).run())
            return false;
        for (std::size_t i = 5; i < fields.size(); ++i) {
            if (!item.bind(1, fields[0]).bind(2, static_cast<long long>(i - 5)).bind(3, fields[i]).run()) return false;
        }
    }
    CRunStore::CStatement record(store, "INSERT INTO seen_record VALUES (1, ?)");
    if (stamp) record.bind(1, *stamp);
    return record.run();
}

void removeLegacyFiles(const std::string& storePath) {
    const CLegacyFiles old = legacyFiles(storePath);
    for (const std::string* path : {&old.record, &old.closing, &old.purchases}) {
        if (!path->empty()) removeFile(*path);
    }
}

// The commits still to refuse (CRunStore::TEST_refuseCommits).
int refusedCommits = 0;

bool damaging(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace

std::string CRunStore::pathFor(const std::string& dataFolder, const std::string& companyName,
                               const std::optional<CDateTime>& lastExecTime) {
    if (!lastExecTime) return {};
    // The first run's time stamp and the company's name tell one file's valuation
    // history from another's, wherever the file lies.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : companyName + "|" + zoneDateTimeText(lastExecTime)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[48];
    std::snprintf(name, sizeof name, "%s%016" PRIx64 "%s", kStorePrefix, hash, kStoreExtension);
    return joinPath(dataFolder, name);
}

void CRunStore::remove(const std::string& path) {
    if (path.empty()) return;
    removeFile(path);
    removeFile(path + "-journal");
}

CRunStore::CRunStore(const std::string& path) : CRunStore(path, std::string()) {}

CRunStore::CRunStore(const std::string& path, const std::string& asideWhy) : filePath(path) {
    if (path.empty()) {
        error = "no store is kept for a company file never valued";
        return;
    }
    if (open(asideWhy) || !damaged) return;
    // Treated as none: moved aside for whoever wants to look at it, and begun anew.
    const std::string why = error;
    setAside();
    open(why);
}

CRunStore::~CRunStore() {
    if (!damaged) {
        close();
        return;
    }
    // A damaged page met while reading or writing: the next open begins a new store, which
    // remembers why.
    const std::string why = error;
    setAside();
    CRunStore fresh(filePath, why);
}

bool CRunStore::open(const std::string& asideWhy) {
    close();
    damaged = false;
    const int opened = sqlite3_open_v2(filePath.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (opened != SQLITE_OK) {
        error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
        close();
        return false;
    }
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    int version = 0;
    if (!readable(version) || (version == 0 && !create(asideWhy))) {
        close();
        return false;
    }
    // Files an earlier version kept are imported only into a new store: beside one
    // that stands, they are the leftovers of an import whose clean-up was cut off.
    removeLegacyFiles(filePath);
    return true;
}

bool CRunStore::readable(int& version) {
    CStatement read(*this, "PRAGMA user_version");
    if (!read.step()) return false;
    version = static_cast<int>(read.whole(0).value_or(-1));
    if (version == 0) return true;
    if (version < 0 || version > kSchemaVersion) {
        error = "it was written by a later version of Lotwise";
        damaged = true;
        return false;
    }
    CStatement tables(*this,
                      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('store_note', "
                      "'seen_record', 'seen_txn', 'seen_posting_item', 'closing', 'closing_item', "
                      "'purchase_history', 'purchase_txn', 'purchase_line', 'purchase_value_change')");
    if (!tables.step()) return false;
    if (tables.whole(0) != kTables) {
        error = "its tables are not those it should hold";
        damaged = true;
        return false;
    }
    return true;
}

bool CRunStore::create(const std::string& asideWhy) {
    CTransaction creating(*this);
    if (!creating.started()) return false;
    // Another program may have created it while this one waited for the lock.
    CStatement read(*this, "PRAGMA user_version");
    if (!read.step()) return false;
    if (read.whole(0) != 0) return creating.commit();
    const CLegacyFiles old = legacyFiles(filePath);
    if (!exec(kSchema) || !importLegacyRecord(*this, old.record)) return false;
    if (!asideWhy.empty() &&
        !CStatement(*this, "INSERT INTO store_note VALUES (?, ?)").bind(1, std::string(kSetAsideNote)).bind(2, asideWhy).run())
        return false;
    const std::string version = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
    return exec(version.c_str()) && creating.commit();
}

void CRunStore::setAside() {
    close();
    // Its journal goes with it: left here, it would be played into the new store.
    const std::string aside = filePath + ".unreadable";
    for (const char* suffix : {"", "-journal"}) {
        std::error_code failed;
        std::filesystem::remove(pathFromUtf8(aside + suffix), failed);
        std::filesystem::rename(pathFromUtf8(filePath + suffix), pathFromUtf8(aside + suffix), failed);
        if (failed) removeFile(filePath + suffix);
    }
    damaged = false;
}

void CRunStore::note(int code) {
    error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    if (damaging(code)) damaged = true;
}

void CRunStore::close() {
    if (db != nullptr) sqlite3_close_v2(db);
    db = nullptr;
}

bool CRunStore::exec(const char* sql) {
    if (db == nullptr) return false;
    const int done = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (done == SQLITE_OK) return true;
    note(done);
    return false;
}

std::string CRunStore::setAsideReason() {
    CStatement read(*this, "SELECT value FROM store_note WHERE name = ?");
    read.bind(1, std::string(kSetAsideNote));
    return read.step() ? read.text(0).value_or(std::string()) : std::string();
}

bool CRunStore::forgetSetAside() {
    return CStatement(*this, "DELETE FROM store_note WHERE name = ?").bind(1, std::string(kSetAsideNote)).run();
}

CRunStore::CTransaction::CTransaction(CRunStore& runStore) : store(runStore) {
    open = store.exec("BEGIN IMMEDIATE");
}

CRunStore::CTransaction::~CTransaction() {
    if (open) sqlite3_exec(store.db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void CRunStore::TEST_refuseCommits(int count) { refusedCommits = count; }

bool CRunStore::CTransaction::commit() {
    if (!open) return false;
    if (refusedCommits > 0) {
        --refusedCommits;
        return false;
    }
    if (!store.exec("COMMIT")) return false;
    open = false;
    return true;
}

CRunStore::CStatement::CStatement(CRunStore& runStore, const char* sql) : store(runStore) {
    if (store.db == nullptr) {
        broken = true;
        return;
    }
    const int prepared = sqlite3_prepare_v2(store.db, sql, -1, &statement, nullptr);
    if (prepared != SQLITE_OK) {
        store.note(prepared);
        broken = true;
    }
}

CRunStore::CStatement::~CStatement() { sqlite3_finalize(statement); }

CRunStore::CStatement& CRunStore::CStatement::bind(int index, const std::string& text) {
    if (!broken) sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

CRunStore::CStatement& CRunStore::CStatement::bind(int index, double value) {
    if (!broken) sqlite3_bind_double(statement, index, value);
    return *this;
}

CRunStore::CStatement& CRunStore::CStatement::bind(int index, long long value) {
    if (!broken) sqlite3_bind_int64(statement, index, value);
    return *this;
}

CRunStore::CStatement& CRunStore::CStatement::bind(int index, const std::optional<double>& value) {
    if (!broken && value) sqlite3_bind_double(statement, index, *value);
    if (!broken && !value) sqlite3_bind_null(statement, index);
    return *this;
}

bool CRunStore::CStatement::step() {
    if (broken) return false;
    const int stepped = sqlite3_step(statement);
    if (stepped == SQLITE_ROW) return true;
    if (stepped != SQLITE_DONE) {
        store.note(stepped);
        broken = true;
    }
    return false;
}

bool CRunStore::CStatement::run() {
    step();
    if (broken) return false;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return true;
}

std::optional<std::string> CRunStore::CStatement::text(int column) const {
    if (sqlite3_column_type(statement, column) != SQLITE_TEXT) return std::nullopt;
    const unsigned char* text = sqlite3_column_text(statement, column);
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

std::optional<double> CRunStore::CStatement::real(int column) const {
    const int type = sqlite3_column_type(statement, column);
    if (type != SQLITE_FLOAT && type != SQLITE_INTEGER) return std::nullopt;
    return sqlite3_column_double(statement, column);
}

std::optional<long long> CRunStore::CStatement::whole(int column) const {
    if (sqlite3_column_type(statement, column) != SQLITE_INTEGER) return std::nullopt;
    return sqlite3_column_int64(statement, column);
}

bool CRunStore::CStatement::isNull(int column) const { return sqlite3_column_type(statement, column) == SQLITE_NULL; }
