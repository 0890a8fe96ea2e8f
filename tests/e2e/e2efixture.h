// The fixture of the end-to-end tests: a temporary company file in the embedded
// stand-in, loaded from a request document of tests/e2e/data, and the main window logic
// with a host that never blocks.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>
#include <string>
#include <unistd.h>

#include "companybuilder.h"
#include "costrundlg.h"
#include "valuationreader.h"
#include "valueadjust.h"
#include "qbobject.h"
#include "qbresponse.h"
#include "qbutils.h"
#include "qbsimcompany.h"
#include "qbsimengine.h"
#include "qbsimprocessor.h"
#include "testfiles.h"
#include "tzguard.h"
#include "widestring.h"

class CQuietHost : public CCostrunDlgHost {
public:
    std::optional<std::string> chooseCompanyFile() override { return std::nullopt; }
    void messageBox(const std::string&, const std::string&) override {}
    void openDocument(const std::string&) override {}
    void runAboutBox() override {}
    void closeWindow() override {}
};

// A request processor that hands every call to the stand-in's; tests override
// ProcessRequest to change what QuickBooks does with a request.
class CDelegatingProcessor : public CComObjectBase<IRequestProcessor2> {
public:
    explicit CDelegatingProcessor(IRequestProcessor2* real) : inner(real) {}
    ~CDelegatingProcessor() override { inner->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IRequestProcessor2) {
            AddRef();
            *object = static_cast<IRequestProcessor2*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT OpenConnection(BSTR id, BSTR name) override { return inner->OpenConnection(id, name); }
    HRESULT BeginSession(BSTR file, QBFileMode mode, BSTR* ticket) override {
        return inner->BeginSession(file, mode, ticket);
    }
    HRESULT EndSession(BSTR ticket) override { return inner->EndSession(ticket); }
    HRESULT CloseConnection() override { return inner->CloseConnection(); }
    HRESULT GetCurrentCompanyFileName(BSTR ticket, BSTR* name) override {
        return inner->GetCurrentCompanyFileName(ticket, name);
    }
    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        return inner->ProcessRequest(ticket, request, response);
    }

protected:
    IRequestProcessor2* inner;
};

// Answers as QuickBooks would answer after `rewrite` has had its say: it is given each
// answer the stand-in makes and returns the one to send on.
class CRewritingProcessor final : public CDelegatingProcessor {
public:
    using Rewrite = std::function<std::string(const std::string& answer)>;
    CRewritingProcessor(IRequestProcessor2* real, Rewrite rewrite)
        : CDelegatingProcessor(real), rewrite(std::move(rewrite)) {}

    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        const HRESULT hr = inner->ProcessRequest(ticket, request, response);
        if (FAILED(hr) || *response == nullptr) return hr;
        const std::string answer = wideToNarrow(std::wstring_view(*response, SysStringLen(*response)));
        const std::string changed = rewrite(answer);
        if (changed == answer) return hr;
        const std::wstring wide = narrowToWide(changed);
        SysFreeString(*response);
        *response = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return hr;
    }

private:
    Rewrite rewrite;
};

// The lists the companies of the tests share: accounts, classes, a vendor and a customer.
inline const std::string kLists = CCompanyBuilder().lists().requests();

// An inventory item on those accounts.
inline std::string inventoryItem(const std::string& name) {
    CCompanyBuilder company;
    company.item(name);
    return company.requests();
}

// The status of a file opened that is valued and has no change behind its valued period.
inline const char* const kOpenedValued =
    "File is opened.\n\nIMPORTANT : Transactions have to be finalized before processing up to "
    "their dates.";

// The system's value adjustments summed per date, account, class, customer and item.
using CPostings = std::map<std::tuple<std::string, std::string, std::string, std::string, std::string>, double>;

// One posting of a table of expected postings.
struct CPostingRow {
    std::string date, account, className, customer, item;
    double amount;
};

class ValuationRun : public ::testing::Test {
protected:
    ValuationRun()
        : tz("America/New_York"),
          dir(std::filesystem::temp_directory_path() / ("lotwise-e2e-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        qbsimRegister();
    }
    ~ValuationRun() override {
        qbsimRegister();
        std::filesystem::remove_all(dir);
    }

    // Sessions from now on talk to a processor `make` wraps around the stand-in's.
    template <class Make>
    void wrapProcessor(Make make) {
        comRegisterClass(CLSID_RequestProcessor2, [make](REFIID riid, void** object) {
            CDelegatingProcessor* processor = make(qbsimCreateProcessor());
            const HRESULT hr = processor->QueryInterface(riid, object);
            processor->Release();
            return hr;
        });
    }

    // A company file of the name loaded from a request document of tests/e2e/data, made
    // with the options (an edition, say).
    std::string company(const std::string& fixture,
                        const CQbSimCompanyOptions& options = CQbSimCompanyOptions{"Acme Hardware"},
                        const std::string& fileName = "Acme.qbw") {
        const std::string path = (dir / fileName).string();
        std::filesystem::remove(path);
        auto file = CQbSimCompany::create(path, options);
        CQbSimEngine engine(*file, nullptr);
        const std::string answer =
            engine.processRequest(readFile(std::string(LOTWISE_SOURCE_DIR) + "/tests/e2e/data/" + fixture));
        EXPECT_THAT(answer, ::testing::Not(::testing::HasSubstr("statusSeverity=\"Error\"")));
        return path;
    }

    // A company file of the name loaded from request elements given inline (the envelope
    // is added), made with the options.
    std::string companyWith(const std::string& requests,
                            const CQbSimCompanyOptions& options = CQbSimCompanyOptions{"Acme Hardware"},
                            const std::string& fileName = "Acme.qbw") {
        const std::string path = (dir / fileName).string();
        std::filesystem::remove(path);
        CQbSimCompany::create(path, options);
        send(path, requests);
        return path;
    }

    // The stand-in's answer to request elements sent to the company file as another
    // QuickBooks user would send them.
    static std::string answer(const std::string& path, const std::string& requests) {
        auto file = CQbSimCompany::open(path);
        CQbSimEngine engine(*file, nullptr);
        return engine.processRequest(
            "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">" +
            requests + "</QBXMLMsgsRq></QBXML>");
    }

    // answer(), expecting every request to succeed.
    static void send(const std::string& path, const std::string& requests) {
        const std::string text = answer(path, requests);
        EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("statusSeverity=\"Error\""))) << text;
    }

    // Opens the file and processes from `start` (ignored for a file valued before) up to
    // `upto`; true when the run completed. The status text goes to `status`.
    bool run(const std::string& path, const CDateTime& start, const CDateTime& upto,
             std::string* status = nullptr) {
        auto opened = window();
        return openAndProcess(*opened, path, start, upto, status);
    }

    // Processes the open file of the window from `start` to `upto`; true when the run completed.
    static bool process(CCostrunDlg& dialog, const CDateTime& start, const CDateTime& upto,
                        std::string* status = nullptr) {
        dialog.setDate(kIdcStartDate, start);
        dialog.setDate(kIdcUpToDate, upto);
        const bool done = dialog.onProcess();
        if (status) *status = dialog.statusText();
        return done;
    }

    static bool openAndProcess(CCostrunDlg& dialog, const std::string& path, const CDateTime& start,
                               const CDateTime& upto, std::string* status) {
        if (dialog.openFile(path)) return process(dialog, start, upto, status);
        if (status) *status = dialog.statusText();
        return false;
    }

    // Opens the file and rewinds it to the date, saying yes to the question.
    bool rewind(const std::string& path, const CDateTime& date, std::string* status = nullptr,
                std::string* question = nullptr) {
        auto dlg = window();
        if (!dlg->openFile(path)) return false;
        const bool done = dlg->rewindTo(date, [question](const std::string& text) {
            if (question) *question = text;
            return true;
        });
        if (status) *status = dlg->statusText();
        return done;
    }

    // The system's value adjustments as QuickBooks holds them: the value difference
    // summed per date, account, class, customer and item.
    CPostings postings(const std::string& path) {
        CPostings result;
        const CQbResponse response(answer(
            path, "<InventoryAdjustmentQueryRq><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>"));
        for (CQbDomReader::Node* node : response.findElements("InventoryAdjustmentRet")) {
            CQbObject txn;
            txn.load(node);
            if (txn.getValue("Memo") != kValueAdjustMemo) continue;
            for (const CQbField* line : txn.findAll("InventoryAdjustmentLineRet")) {
                const auto key = std::make_tuple(txn.getValue("TxnDate"), txn.getValue("AccountRef", "FullName"),
                                                 txn.getValue("ClassRef", "FullName"),
                                                 txn.getValue("CustomerRef", "FullName"),
                                                 line->grandchildValue("ItemRef", "FullName"));
                result[key] += readDecimal(line->childValue("ValueDifference"));
            }
        }
        return result;
    }

    // Every posting of `expected` is in `actual` with the same sum within half a cent,
    // and no other.
    static void expectSamePostings(const CPostings& expected, const CPostings& actual) {
        for (const auto& [key, value] : expected) {
            const auto found = actual.find(key);
            const std::string where = std::get<0>(key) + " " + std::get<1>(key) + " / " + std::get<2>(key) +
                                      " / " + std::get<3>(key) + " / " + std::get<4>(key);
            if (found == actual.end()) {
                EXPECT_LE(std::fabs(value), 0.005) << "missing posting " << where;
                continue;
            }
            EXPECT_LE(std::fabs(found->second - value), 0.005)
                << where << ": " << found->second << " instead of " << value;
        }
        for (const auto& [key, value] : actual) {
            if (expected.count(key) == 0) {
                EXPECT_LE(std::fabs(value), 0.005) << "unexpected posting " << std::get<0>(key) << " "
                                                   << std::get<4>(key) << " " << value;
            }
        }
    }

    // The postings of the file are those of the table, one row a posting, and no other.
    void expectPostings(const std::string& path, const std::vector<CPostingRow>& table) {
        CPostings expected;
        for (const CPostingRow& row : table)
            expected[std::make_tuple(row.date, row.account, row.className, row.customer, row.item)] += row.amount;
        expectSamePostings(expected, postings(path));
    }

    // One field of the transaction with that number, as QuickBooks answers a query.
    static std::string txnField(const std::string& path, const std::string& type, const std::string& ref,
                                const std::string& field) {
        const CQbResponse response(
            answer(path, "<" + type + "QueryRq><RefNumber>" + ref + "</RefNumber></" + type + "QueryRq>"));
        for (CQbDomReader::Node* node : response.findElements(type + "Ret")) {
            CQbObject txn;
            txn.load(node);
            return txn.getValue(field);
        }
        return {};
    }

    // The activity log of the last run.
    std::string lastLog() const {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            if (entry.path().filename() != "activity.txt") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }
        return {};
    }

    // The status text of the window once the file is opened.
    std::string openStatus(const std::string& path) {
        auto opened = window();
        EXPECT_TRUE(opened->openFile(path));
        return opened->statusText();
    }

    std::unique_ptr<CCostrunDlg> window() {
        auto dlg = std::make_unique<CCostrunDlg>(host, CCostrunFolders{dir / "appdata", dir / "docs"});
        dlg->initDialog();
        return dlg;
    }

    static CDateTime day(int y, int m, int d) { return *CDateTime::fromLocal(y, m, d, 10, 0, 0); }

    // Opens the file and processes 04/01/2010 to 04/03/2010; true when the run completed.
    bool runApril(const std::string& path, std::string* status = nullptr) {
        return run(path, day(2010, 4, 1), day(2010, 4, 3), status);
    }

    // Runs from 04/01/2010 up to the day of April and keeps the window (dlg) for a look
    // afterwards.
    bool runTo(const std::string& path, int upToDay, std::string* status = nullptr) {
        dlg = window();
        return openAndProcess(*dlg, path, day(2010, 4, 1), day(2010, 4, upToDay), status);
    }

    CCostrunDoc& engine() { return *dlg->getEngine(); }

    // QuickBooks' items of the type at the end of a day, as its valuation summary gives them.
    static void readCarried(CCostrunDoc& engine, CCostrunItemList& list, const CDateTime& when,
                            const std::string& type) {
        CActivityLog silent("");
        CValuationReader reader(*engine.getSession(), silent, true, std::nullopt);
        EXPECT_TRUE(reader.readReport(list, CCostrunDoc::endOfDay(when), type));
    }

    // QuickBooks' own quantity and value of an item at the end of a day.
    static std::pair<double, double> carried(CCostrunDoc& engine, const CDateTime& when,
                                             const std::string& item,
                                             const std::string& type = "Inventory") {
        CCostrunItemList list;
        readCarried(engine, list, when, type);
        const CCostrunItem* found = list.find(item);
        return found ? std::make_pair(found->qtyOnHand, found->qbValue) : std::make_pair(-1.0, -1.0);
    }

    CTzGuard tz;
    std::filesystem::path dir;
    CQuietHost host;
    std::unique_ptr<CCostrunDlg> dlg;
};
