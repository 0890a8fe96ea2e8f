// Company file creation, opening and identifier allocation.
#include "qbsimcompany.h"

#include "qbsimvaluation.h"
#include "qbsimxml.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <optional>

namespace {

constexpr const char* kFormat = "lotwise-qbsim-company";
// Version 2 stores the value difference of every value adjustment line given as a
// NewValue in the line's value_difference, fixed when it was posted; version 1 kept only
// the NewValue, as a target that moved with earlier history.
constexpr const char* kSchemaVersion = "2";

// Lists share one table for identity, names and hierarchy; the kind-specific fields
// sit in side tables keyed by the same row id. Names are unique per name space,
// ignoring case, as in QuickBooks (customers and vendors share the "Entity" space).
// Amounts are integer cents; quantities and prices are reals.
constexpr const char* kSchema = R"SQL(
CREATE TABLE qbsim_meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE counter(name TEXT PRIMARY KEY, value INTEGER NOT NULL);
CREATE TABLE list_object(
  id INTEGER PRIMARY KEY,
  list_id TEXT NOT NULL UNIQUE,
  kind TEXT NOT NULL,
  name_space TEXT NOT NULL,
  name TEXT NOT NULL,
  full_name TEXT NOT NULL,
  parent_id INTEGER REFERENCES list_object(id),
  sublevel INTEGER NOT NULL DEFAULT 0,
  is_active INTEGER NOT NULL DEFAULT 1,
  time_created INTEGER NOT NULL,
  time_modified INTEGER NOT NULL,
  edit_sequence TEXT NOT NULL);
CREATE UNIQUE INDEX list_object_name ON list_object(name_space, full_name COLLATE NOCASE);
CREATE INDEX list_object_kind ON list_object(kind, full_name);
CREATE TABLE account(
  id INTEGER PRIMARY KEY REFERENCES list_object(id),
  account_type TEXT NOT NULL,
  special_type TEXT,
  account_number TEXT,
  descr TEXT,
  currency_id INTEGER REFERENCES list_object(id));
CREATE TABLE entity(
  id INTEGER PRIMARY KEY REFERENCES list_object(id),
  company_name TEXT,
  class_id INTEGER REFERENCES list_object(id),
  currency_id INTEGER REFERENCES list_object(id));
CREATE TABLE item(
  id INTEGER PRIMARY KEY REFERENCES list_object(id),
  class_id INTEGER REFERENCES list_object(id),
  uom_set_id INTEGER REFERENCES list_object(id),
  manufacturer_part_number TEXT,
  bar_code TEXT,
  sales_desc TEXT,
  sales_price REAL,
  income_account_id INTEGER REFERENCES list_object(id),
  purchase_desc TEXT,
  purchase_cost REAL,
  cogs_account_id INTEGER REFERENCES list_object(id),
  pref_vendor_id INTEGER REFERENCES list_object(id),
  asset_account_id INTEGER REFERENCES list_object(id),
  expense_account_id INTEGER REFERENCES list_object(id),
  reorder_point REAL,
  max_quantity REAL,
  single_account INTEGER NOT NULL DEFAULT 0,
  descr TEXT,
  price REAL,
  price_percent REAL,
  account_id INTEGER REFERENCES list_object(id),
  special_item_type TEXT,
  print_items_in_group INTEGER);
CREATE TABLE item_component(
  item_id INTEGER NOT NULL REFERENCES list_object(id),
  seq INTEGER NOT NULL,
  component_id INTEGER NOT NULL REFERENCES list_object(id),
  quantity REAL,
  unit_of_measure TEXT,
  PRIMARY KEY(item_id, seq));
CREATE TABLE uom_set(
  id INTEGER PRIMARY KEY REFERENCES list_object(id),
  uom_type TEXT NOT NULL);
CREATE TABLE uom_unit(
  set_id INTEGER NOT NULL REFERENCES list_object(id),
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  abbreviation TEXT NOT NULL,
  conversion_ratio REAL NOT NULL,
  PRIMARY KEY(set_id, seq));
CREATE TABLE uom_default(
  set_id INTEGER NOT NULL REFERENCES list_object(id),
  used_for TEXT NOT NULL,
  unit TEXT NOT NULL,
  PRIMARY KEY(set_id, used_for));
CREATE TABLE txn(
  id INTEGER PRIMARY KEY,
  txn_id TEXT NOT NULL UNIQUE,
  txn_type TEXT NOT NULL,
  txn_number INTEGER NOT NULL,
  entry_seq INTEGER NOT NULL UNIQUE,
  txn_date TEXT NOT NULL,
  ref_number TEXT,
  memo TEXT,
  entity_id INTEGER REFERENCES list_object(id),
  account_id INTEGER REFERENCES list_object(id),
  class_id INTEGER REFERENCES list_object(id),
  currency_id INTEGER REFERENCES list_object(id),
  exchange_rate REAL,
  is_pending INTEGER NOT NULL DEFAULT 0,
  is_void INTEGER NOT NULL DEFAULT 0,
  due_date TEXT,
  item_id INTEGER REFERENCES list_object(id),
  quantity REAL,
  external_guid TEXT,
  time_created INTEGER NOT NULL,
  time_modified INTEGER NOT NULL,
  edit_sequence TEXT NOT NULL);
CREATE INDEX txn_by_type_date ON txn(txn_type, txn_date, entry_seq);
CREATE INDEX txn_by_date ON txn(txn_date, entry_seq);
CREATE TABLE txn_line(
  id INTEGER PRIMARY KEY,
  txn_row INTEGER NOT NULL REFERENCES txn(id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  group_row INTEGER REFERENCES txn_line(id) ON DELETE CASCADE,
  line_kind TEXT NOT NULL,
  txn_line_id TEXT,
  item_id INTEGER REFERENCES list_object(id),
  descr TEXT,
  quantity REAL,
  unit_of_measure TEXT,
  rate REAL,
  amount INTEGER,
  class_id INTEGER REFERENCES list_object(id),
  customer_id INTEGER REFERENCES list_object(id),
  account_id INTEGER REFERENCES list_object(id),
  print_items_in_group INTEGER,
  adj_kind TEXT,
  new_quantity REAL,
  quantity_difference REAL,
  new_value INTEGER,
  value_difference INTEGER,
  qty_delta REAL NOT NULL DEFAULT 0);
CREATE INDEX txn_line_by_txn ON txn_line(txn_row, seq);
CREATE INDEX txn_line_by_item ON txn_line(item_id);
CREATE TABLE dataext_def(
  id INTEGER PRIMARY KEY,
  data_ext_id INTEGER NOT NULL,
  owner_id TEXT NOT NULL,
  name TEXT NOT NULL,
  data_ext_type TEXT NOT NULL,
  list_require INTEGER NOT NULL DEFAULT 0,
  txn_require INTEGER NOT NULL DEFAULT 0,
  format_string TEXT NOT NULL DEFAULT '');
CREATE UNIQUE INDEX dataext_def_name ON dataext_def(owner_id COLLATE NOCASE, name COLLATE NOCASE);
CREATE TABLE dataext_assign(
  def_id INTEGER NOT NULL REFERENCES dataext_def(id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  object TEXT NOT NULL,
  PRIMARY KEY(def_id, object));
CREATE TABLE dataext_value(
  def_id INTEGER NOT NULL REFERENCES dataext_def(id) ON DELETE CASCADE,
  object_kind TEXT NOT NULL,
  object_key TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(def_id, object_kind, object_key));
CREATE INDEX dataext_value_object ON dataext_value(object_kind, object_key);
)SQL";

// Every change of a transaction leaves the earliest date it affects in inventory_change,
// whichever connection makes it, so that a ledger evaluated earlier knows from which
// date on it is stale. A new transaction also leaves its row, so that a ledger can
// evaluate a transaction appended to the day it evaluated last on top of that day
// instead of evaluating the day again. Files made before the log existed get it when
// they are opened; files whose log has no txn_row get the column and the new insert
// trigger (see upgradeChangeLog). Programs that read only from_date and seq are not
// affected by either.
constexpr const char* kChangeLog = R"SQL(
CREATE TABLE IF NOT EXISTS inventory_change(seq INTEGER PRIMARY KEY AUTOINCREMENT,
                                            from_date TEXT NOT NULL, txn_row INTEGER);
CREATE TRIGGER IF NOT EXISTS txn_deleted AFTER DELETE ON txn
  BEGIN INSERT INTO inventory_change(from_date) VALUES(OLD.txn_date); END;
CREATE TRIGGER IF NOT EXISTS txn_changed AFTER UPDATE OF txn_date, is_pending, quantity ON txn
  BEGIN INSERT INTO inventory_change(from_date) VALUES(MIN(OLD.txn_date, NEW.txn_date)); END;
)SQL";

// The average-cost ledger's own record of what it evaluated (see qbsimvaluation.h): each
// item's state at the end of each day it moved, the value of each adjustment line, and
// the mark of how far that record is valid. It is a cache of figures the transactions
// determine: dropping it loses nothing but time.
constexpr const char* kLedger = R"SQL(
CREATE TABLE IF NOT EXISTS ledger_mark(one INTEGER PRIMARY KEY CHECK (one = 1),
  valid_before INTEGER NOT NULL, last_day INTEGER NOT NULL, last_entry INTEGER NOT NULL,
  last_change INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS ledger_point(item_id INTEGER NOT NULL, date INTEGER NOT NULL,
  quantity REAL NOT NULL, value_cents INTEGER NOT NULL, last_average REAL,
  PRIMARY KEY(item_id, date)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS ledger_point_date ON ledger_point(date);
CREATE TABLE IF NOT EXISTS ledger_adjustment(line_row INTEGER PRIMARY KEY, date INTEGER NOT NULL,
  value_cents INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS ledger_adjustment_date ON ledger_adjustment(date);
)SQL";

constexpr const char* kAddedTrigger = R"SQL(
CREATE TRIGGER txn_added AFTER INSERT ON txn
  BEGIN INSERT INTO inventory_change(from_date, txn_row) VALUES(NEW.txn_date, NEW.id); END;
)SQL";

// QuickBooks remembers deleted transactions (TxnDeletedQueryRq): each deletion leaves
// the transaction's type, TxnID, RefNumber and creation time with the time it was
// deleted, in the order of deletion. Files made before the log existed get it when they
// are opened (see upgradeDeletionLog).
constexpr const char* kDeletionLog = R"SQL(
CREATE TABLE IF NOT EXISTS txn_deleted(seq INTEGER PRIMARY KEY AUTOINCREMENT,
                                       txn_type TEXT NOT NULL,
                                       txn_id TEXT NOT NULL,
                                       ref_number TEXT,
                                       time_created INTEGER NOT NULL,
                                       time_deleted INTEGER NOT NULL);
)SQL";

// QuickBooks remembers deleted list objects too (ListDeletedQueryRq): each leaves its type,
// ListID, full name and creation time with the time it was deleted. The stand-in deletes
// list objects only when it merges items. Files made before this log existed get it
// when they are opened (see upgradeDeletionLog).
constexpr const char* kListDeletionLog = R"SQL(
CREATE TABLE IF NOT EXISTS list_deleted(seq INTEGER PRIMARY KEY AUTOINCREMENT,
                                        list_type TEXT NOT NULL,
                                        list_id TEXT NOT NULL,
                                        full_name TEXT NOT NULL,
                                        time_created INTEGER NOT NULL,
                                        time_deleted INTEGER NOT NULL);
)SQL";

bool hasTable(CQbSimDb& db, const char* name) {
    CQbSimStmt table(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    table.bind(1, name);
    return table.step();
}

// Gives a file being opened the deletion logs it lacks. A current file is only
// read, so opening it never waits for another program's lock.
void upgradeDeletionLog(CQbSimDb& db) {
    if (hasTable(db, "txn_deleted") && hasTable(db, "list_deleted")) return;
    CQbSimTransaction txn(db);
    db.exec(kDeletionLog);
    db.exec(kListDeletionLog);
    txn.commit();
}

// True when the change log has the txn_row column.
bool hasTxnRowColumn(CQbSimDb& db) {
    CQbSimStmt columns(db, "SELECT 1 FROM pragma_table_info('inventory_change') WHERE name = 'txn_row'");
    return columns.step();
}

// True when the change log has the txn_row column and the insert trigger that fills it.
bool changeLogCurrent(CQbSimDb& db) {
    if (!hasTxnRowColumn(db)) return false;
    CQbSimStmt trigger(db, "SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = 'txn_added'");
    return trigger.step() && trigger.text(0).find("txn_row") != std::string::npos;
}

// Brings the change log of a file being opened up to the one above: creates it, or
// gives an older log the txn_row column and an insert trigger that fills it, in one
// SQLite transaction so that a file is never left without its insert trigger. A
// current file is only read, so opening it never waits for another program's lock.
void upgradeChangeLog(CQbSimDb& db) {
    if (changeLogCurrent(db)) return;
    CQbSimTransaction txn(db);
    db.exec(kChangeLog);
    if (!hasTxnRowColumn(db)) db.exec("ALTER TABLE inventory_change ADD COLUMN txn_row INTEGER;");
    db.exec("DROP TRIGGER IF EXISTS txn_added;");
    db.exec(kAddedTrigger);
    txn.commit();
}

// Gives a file made before the ledger kept what it evaluated the tables to keep it in;
// the first report then evaluates the history once. A current file is only read.
void upgradeLedger(CQbSimDb& db) {
    if (hasTable(db, "ledger_mark")) return;
    CQbSimTransaction txn(db);
    db.exec(kLedger);
    txn.commit();
}

// Gives a file made before voids were kept the column that marks a voided transaction.
// A current file is only read.
void upgradeVoidColumn(CQbSimDb& db) {
    {
        CQbSimStmt column(db, "SELECT 1 FROM pragma_table_info('txn') WHERE name = 'is_void'");
        if (column.step()) return;
    }
    CQbSimTransaction txn(db);
    db.exec("ALTER TABLE txn ADD COLUMN is_void INTEGER NOT NULL DEFAULT 0;");
    txn.commit();
}

// Gives a file written before value differences were stored the difference of each of
// its NewValue lines: evaluated in date and entry order, as the file was valued until
// then, each against the item's value at its moment, so that every report keeps its
// figures. In one SQLite transaction with the version mark, so that it is done once and
// whole. A current file is only read.
void upgradeValueAdjustments(CQbSimDb& db) {
    {
        CQbSimStmt version(db, "SELECT value FROM qbsim_meta WHERE key = 'schemaVersion'");
        if (version.step() && version.text(0) != "1") return;
    }
    CQbSimTransaction txn(db);
    std::optional<std::string> last;
    {
        CQbSimStmt latest(db, "SELECT MAX(t.txn_date) FROM txn_line l JOIN txn t ON t.id = l.txn_row "
                              "WHERE l.new_value IS NOT NULL AND l.value_difference IS NULL AND "
                              "t.is_pending = 0");
        if (latest.step()) last = latest.optText(0);
    }
    if (last) CQbSimValuation(db).evaluateThrough(*last);
    db.exec(std::string("INSERT OR REPLACE INTO qbsim_meta(key, value) VALUES('schemaVersion', '") +
            kSchemaVersion + "');");
    txn.commit();
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void configure(CQbSimDb& db) {
    // Write-ahead logging: a request's transaction either reaches the log whole or is
    // ignored by the next opener, so a killed process never leaves a half-written
    // request. With synchronous=NORMAL a commit survives the process at once and
    // reaches the disk at the next checkpoint, which keeps loading thousands of
    // requests fast; only a power failure can take back the last few requests.
    db.exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
    // A page cache of up to 8 MiB (SQLite's default is 2 MiB) keeps the pages a
    // valuation run reads every day (items, the day's transactions, the indexes) at hand.
    // The stand-in runs inside the add-on's process, so its cache counts against the
    // add-on's memory; a cache as large as a year's company (tried: 32 MiB) made the run
    // only 10% faster for 18 MB more.
    db.exec("PRAGMA cache_size=-8192;");
}

// The edition must be one the stand-in knows, and the Advanced Inventory preferences
// exist in Enterprise only.
void checkEditionOptions(const CQbSimCompanyOptions& options) {
    const auto edition = qbsimParseEdition(options.edition);
    if (!edition)
        throw CQbSimCompanyError(CQbSimCompanyError::Failed,
                                 "unknown edition \"" + options.edition + "\" (use pro, premier or enterprise)");
    if (options.serialOrLot != "None" && options.serialOrLot != "SerialNumber" && options.serialOrLot != "LotNumber")
        throw CQbSimCompanyError(CQbSimCompanyError::Failed,
                                 "unknown serial or lot number tracking \"" + options.serialOrLot + "\"");
    const bool advanced = options.inventorySites || options.enhancedReceiving || options.serialOrLot != "None";
    if (advanced && *edition != CQbSimEdition::Enterprise)
        throw CQbSimCompanyError(CQbSimCompanyError::Failed,
                                 "inventory sites, enhanced inventory receiving and serial or lot numbers "
                                 "are preferences of QuickBooks Enterprise (use --edition enterprise)");
}

}  // namespace

CQbSimCompany::CQbSimCompany(std::string path, std::unique_ptr<CQbSimDb> db)
    : filePath(std::move(path)), database(std::move(db)) {}

CQbSimCompany::~CQbSimCompany() = default;

std::unique_ptr<CQbSimCompany> CQbSimCompany::create(const std::string& path,
                                                     const CQbSimCompanyOptions& options) {
    if (fileExists(path))
        throw CQbSimCompanyError(CQbSimCompanyError::AlreadyExists,
                                 "the file \"" + path + "\" already exists");
    if (options.fifo && !options.fifoEffectiveDate.empty() && !qbsimIsDate(options.fifoEffectiveDate))
        throw CQbSimCompanyError(CQbSimCompanyError::Failed,
                                 "invalid FIFO effective date \"" + options.fifoEffectiveDate +
                                     "\" (use YYYY-MM-DD)");
    if (!options.closingDate.empty() && !qbsimIsDate(options.closingDate))
        throw CQbSimCompanyError(CQbSimCompanyError::Failed,
                                 "invalid closing date \"" + options.closingDate + "\" (use YYYY-MM-DD)");
    checkEditionOptions(options);
    std::unique_ptr<CQbSimDb> db;
    try {
        db = std::make_unique<CQbSimDb>(path, true);
        configure(*db);
        CQbSimTransaction txn(*db);
        db->exec(kSchema);
        db->exec(kChangeLog);
        db->exec(kAddedTrigger);
        db->exec(kDeletionLog);
        db->exec(kListDeletionLog);
        db->exec(kLedger);
        CQbSimStmt put(*db, "INSERT INTO qbsim_meta(key, value) VALUES(?, ?)");
        const std::pair<const char*, std::string> rows[] = {
            {"format", kFormat},
            {"schemaVersion", kSchemaVersion},
            {"companyName", options.name},
            {"multiCurrency", options.multiCurrency ? "1" : "0"},
            {"unitsOfMeasure", options.unitsOfMeasure ? "1" : "0"},
            {"openMultiUser", "0"},
            {"fifo", options.fifo ? "1" : "0"},
            {"fifoEffectiveDate", !options.fifo                        ? ""
                                  : options.fifoEffectiveDate.empty() ? qbsimToday()
                                                                      : options.fifoEffectiveDate},
            {"closingDate", options.closingDate},
            {"unitColumnNumbered", options.unitColumnNumbered ? "1" : "0"},
            {"edition", options.edition},
            {"inventorySites", options.inventorySites ? "1" : "0"},
            {"enhancedReceiving", options.enhancedReceiving ? "1" : "0"},
            {"serialOrLot", options.serialOrLot},
            {"inactiveItemsHidden", options.inactiveItemsHidden ? "1" : "0"},
        };
        for (const auto& [key, value] : rows) put.bind(1, key).bind(2, value).run();
        CQbSimStmt counter(*db, "INSERT INTO counter(name, value) VALUES(?, ?)");
        counter.bind(1, "list").bind(2, std::int64_t{0x80000000}).run();
        const char* zeroes[] = {"txn", "txnNumber", "entrySeq", "dataExt"};
        for (const char* name : zeroes) counter.bind(1, name).bind(2, std::int64_t{0}).run();
        txn.commit();
    } catch (const CQbSimDbError& e) {
        db.reset();
        std::remove(path.c_str());
        throw CQbSimCompanyError(CQbSimCompanyError::Failed,
                                 "cannot create \"" + path + "\": " + e.what());
    }
    auto company = std::unique_ptr<CQbSimCompany>(new CQbSimCompany(path, std::move(db)));
    if (options.multiCurrency) {
        // QuickBooks' currency list comes with the common currencies; the home
        // currency is the US dollar.
        CQbSimTransaction txn(company->db());
        const char* currencies[] = {"US Dollar",   "Canadian Dollar", "Euro",
                                    "British Pound Sterling", "Australian Dollar",
                                    "Mexican Peso", "Japanese Yen"};
        CQbSimStmt add(company->db(),
                       "INSERT INTO list_object(list_id, kind, name_space, name, full_name, "
                       "time_created, time_modified, edit_sequence) "
                       "VALUES(?, 'Currency', 'Currency', ?, ?, ?, ?, ?)");
        for (const char* name : currencies) {
            const std::int64_t t = company->now();
            add.bind(1, company->newListId()).bind(2, name).bind(3, name).bind(4, t).bind(5, t)
                .bind(6, std::to_string(t)).run();
        }
        company->setSetting("homeCurrency", "US Dollar");
        txn.commit();
    }
    return company;
}

std::unique_ptr<CQbSimCompany> CQbSimCompany::open(const std::string& path) {
    if (path.empty() || !fileExists(path))
        throw CQbSimCompanyError(CQbSimCompanyError::NotFound,
                                 "Could not find the company file \"" + path + "\".");
    const std::string notCompany =
        "The file \"" + path + "\" is not a company file of the QuickBooks stand-in.";
    std::unique_ptr<CQbSimDb> db;
    try {
        db = std::make_unique<CQbSimDb>(path, false);
        // Read the format mark before configuring anything, so that opening some other
        // SQLite database by mistake leaves it exactly as it was.
        {
            CQbSimStmt read(*db, "SELECT value FROM qbsim_meta WHERE key = 'format'");
            if (!read.step() || read.text(0) != kFormat)
                throw CQbSimCompanyError(CQbSimCompanyError::NotACompany, notCompany);
        }
        configure(*db);
        upgradeChangeLog(*db);
        upgradeDeletionLog(*db);
        upgradeVoidColumn(*db);
        upgradeLedger(*db);
        upgradeValueAdjustments(*db);
    } catch (const CQbSimDbError&) {
        throw CQbSimCompanyError(CQbSimCompanyError::NotACompany, notCompany);
    }
    return std::unique_ptr<CQbSimCompany>(new CQbSimCompany(path, std::move(db)));
}

CQbSimEdition CQbSimCompany::edition() const {
    return qbsimParseEdition(setting("edition")).value_or(CQbSimEdition::Enterprise);
}

std::string CQbSimCompany::serialOrLot() const {
    const std::string tracking = setting("serialOrLot");
    return tracking.empty() ? "None" : tracking;
}

std::string CQbSimCompany::setting(const std::string& key) const {
    CQbSimStmt read(*database, "SELECT value FROM qbsim_meta WHERE key = ?");
    read.bind(1, key);
    return read.step() ? read.text(0) : std::string();
}

void CQbSimCompany::setSetting(const std::string& key, const std::string& value) {
    CQbSimStmt write(*database, "INSERT OR REPLACE INTO qbsim_meta(key, value) VALUES(?, ?)");
    write.bind(1, key).bind(2, value).run();
}

void CQbSimCompany::setOpenInMultiUser(bool open) {
    CQbSimTransaction txn(*database);
    setSetting("openMultiUser", open ? "1" : "0");
    txn.commit();
}

void CQbSimCompany::setClosingDate(const std::string& date) {
    if (!date.empty() && !qbsimIsDate(date))
        throw CQbSimCompanyError(CQbSimCompanyError::Failed, "invalid closing date \"" + date + "\" (use YYYY-MM-DD)");
    CQbSimTransaction txn(*database);
    setSetting("closingDate", date);
    txn.commit();
}

std::int64_t CQbSimCompany::nextCounter(const char* name) {
    CQbSimStmt bump(*database, "UPDATE counter SET value = value + 1 WHERE name = ? RETURNING value");
    bump.bind(1, name);
    if (!bump.step()) throw CQbSimDbError(std::string("missing counter ") + name, SQLITE_CORRUPT);
    return bump.integer(0);
}

std::int64_t CQbSimCompany::now() {
    const auto t = frozenAt >= 0 ? frozenAt : static_cast<std::int64_t>(std::time(nullptr));
    lastTime = t > lastTime ? t : lastTime;
    return lastTime;
}

std::string CQbSimCompany::newListId() {
    char text[48];
    std::snprintf(text, sizeof text, "%llX-%lld", static_cast<unsigned long long>(nextCounter("list")),
                  static_cast<long long>(now()));
    return text;
}

std::string CQbSimCompany::newTxnId() {
    char text[48];
    std::snprintf(text, sizeof text, "%llX-%lld", static_cast<unsigned long long>(nextCounter("txn")),
                  static_cast<long long>(now()));
    return text;
}

std::string CQbSimCompany::newTxnLineId() {
    // Line ids come from the same sequence as transaction ids in QuickBooks.
    char text[48];
    std::snprintf(text, sizeof text, "%llX-%lld", static_cast<unsigned long long>(nextCounter("txn")),
                  static_cast<long long>(now()));
    return text;
}

std::int64_t CQbSimCompany::nextTxnNumber() { return nextCounter("txnNumber"); }
std::int64_t CQbSimCompany::nextEntrySequence() { return nextCounter("entrySeq"); }
std::int64_t CQbSimCompany::nextDataExtId() { return nextCounter("dataExt"); }

std::string qbsimDateTimeText(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}
