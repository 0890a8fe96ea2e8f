// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// The stand-in's company file: a SQLite database that holds the company's lists,
// transactions and custom fields. This class creates and opens the file, owns the
// schema, and hands out the identifiers QuickBooks assigns (ListID, TxnID, TxnNumber,
// EditSequence) plus the entry sequence number that orders transactions entered on the
// same date. Request handling lives in CQbSimEngine; this class knows no qbXML.
//
// The file is written through SQLite's write-ahead log, so a process killed between or
// during requests leaves the last committed state.
//
// Not thread-safe; one object per open file and thread.
#pragma once

#include "qbsimdb.h"
#include "qbsimeditions.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

struct CQbSimCompanyOptions {
    std::string name;
    bool multiCurrency = false;
    bool unitsOfMeasure = false;
    // QuickBooks' own FIFO costing preference is on, effective from fifoEffectiveDate
    // (YYYY-MM-DD; the creation date when empty).
    bool fifo = false;
    std::string fifoEffectiveDate = {};
    // Company > Set Closing Date (YYYY-MM-DD; none when empty): transactions dated on or
    // before it can be neither added, changed nor deleted.
    std::string closingDate = {};
    // The valuation summary numbers its cells counting the U/M column (by default, with
    // units of measure on, the cells are numbered as if the column were not there).
    bool unitColumnNumbered = false;
    // The edition the file behaves as: "pro" (no assemblies), "premier" or "enterprise",
    // the edition the stand-in has always behaved as. Enterprise alone may turn on the
    // Advanced Inventory preferences: inventory sites, Enhanced Inventory Receiving, and
    // serial or lot numbers (serialOrLot "None", "SerialNumber" or "LotNumber").
    std::string edition = "enterprise";
    bool inventorySites = false;
    bool enhancedReceiving = false;
    std::string serialOrLot = "None";
    // The valuation summary leaves inactive items out on every date, even those with
    // stock on hand (by default an inactive item is listed while it holds stock or value).
    bool inactiveItemsHidden = false;
};

class CQbSimCompanyError : public std::runtime_error {
public:
    enum Kind { NotFound, NotACompany, AlreadyExists, Failed };
    CQbSimCompanyError(Kind k, const std::string& message) : std::runtime_error(message), kind(k) {}
    Kind kind;
};

class CQbSimCompany {
public:
    // Creates a new company file; fails (AlreadyExists) rather than overwrite a file, and
    // (Failed) on a fifoEffectiveDate or closingDate that is not a YYYY-MM-DD date, an
    // unknown edition, or Advanced Inventory preferences outside Enterprise.
    static std::unique_ptr<CQbSimCompany> create(const std::string& path,
                                                 const CQbSimCompanyOptions& options);
    // Opens an existing company file; NotFound when there is no file, NotACompany when
    // the file is not a stand-in company (any other file, a damaged database). A file
    // written by an earlier version is brought up to date first: its change log, its
    // deletion logs, the mark of voided transactions, and the stored value differences of
    // its NewValue adjustment lines.
    static std::unique_ptr<CQbSimCompany> open(const std::string& path);

    ~CQbSimCompany();
    CQbSimCompany(const CQbSimCompany&) = delete;
    CQbSimCompany& operator=(const CQbSimCompany&) = delete;

    const std::string& path() const { return filePath; }
    CQbSimDb& db() { return *database; }

    std::string setting(const std::string& key) const;
    void setSetting(const std::string& key, const std::string& value);

    std::string companyName() const { return setting("companyName"); }
    bool multiCurrency() const { return setting("multiCurrency") == "1"; }
    bool unitsOfMeasure() const { return setting("unitsOfMeasure") == "1"; }
    // QuickBooks' FIFO preference and the date it takes effect (empty when off).
    bool fifo() const { return setting("fifo") == "1"; }
    std::string fifoEffectiveDate() const { return setting("fifoEffectiveDate"); }
    // The closing date (YYYY-MM-DD), empty when none is set. setClosingDate throws
    // CQbSimCompanyError (Failed) on a text that is neither empty nor a date.
    std::string closingDate() const { return setting("closingDate"); }
    void setClosingDate(const std::string& date);
    bool unitColumnNumbered() const { return setting("unitColumnNumbered") == "1"; }
    // Whether the valuation summary leaves out inactive items holding stock (see options).
    bool inactiveItemsHidden() const { return setting("inactiveItemsHidden") == "1"; }
    // The edition (Enterprise for a file made before editions were kept) and its
    // Advanced Inventory preferences.
    CQbSimEdition edition() const;
    bool inventorySites() const { return setting("inventorySites") == "1"; }
    bool enhancedReceiving() const { return setting("enhancedReceiving") == "1"; }
    std::string serialOrLot() const;

    // The mark that another QuickBooks user has the file open in multi-user mode.
    bool openInMultiUser() const { return setting("openMultiUser") == "1"; }
    void setOpenInMultiUser(bool open);

    // Identifier allocation; call inside the request's transaction so that a rolled-back
    // request gives its numbers back.
    std::string newListId();
    std::string newTxnId();
    std::string newTxnLineId();
    std::int64_t nextTxnNumber();
    std::int64_t nextEntrySequence();
    std::int64_t nextDataExtId();

    // The current time in seconds; never earlier than a time handed out before, so
    // that EditSequence values and modification times do not go backwards.
    std::int64_t now();
    // From now on now() answers `seconds` (or a later time already handed out), so that
    // a file generated twice carries the same identifiers and times.
    void freezeClock(std::int64_t seconds) { frozenAt = seconds; }

private:
    CQbSimCompany(std::string path, std::unique_ptr<CQbSimDb> db);
    std::int64_t nextCounter(const char* name);

    std::string filePath;
    std::unique_ptr<CQbSimDb> database;
    std::int64_t lastTime = 0;
    std::int64_t frozenAt = -1;
};

// Local date-time text as QuickBooks writes it: 2009-01-09T12:42:25-05:00.
std::string qbsimDateTimeText(std::int64_t seconds);
