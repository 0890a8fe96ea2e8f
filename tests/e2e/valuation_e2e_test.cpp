// Whole valuation runs against the embedded QuickBooks stand-in on a temporary company
// file: what the bookkeeper sees, what the report says, and what QuickBooks carries
// afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>

#include "costrundlg.h"
#include "qbutils.h"
#include "qbprogress.h"
#include "qbsimcompany.h"
#include "qbsimengine.h"
#include "qbsimprocessor.h"
#include "tzguard.h"
#include "testfiles.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;


class CQuietHost : public CCostrunDlgHost {
public:
    std::optional<std::string> chooseCompanyFile() override { return std::nullopt; }
    void messageBox(const std::string&, const std::string&) override {}
    void openDocument(const std::string&) override {}
    void runAboutBox() override {}
    void closeWindow() override {}
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
    ~ValuationRun() override { std::filesystem::remove_all(dir); }

    // A company file loaded from a request document of tests/e2e/data.
    std::string company(const std::string& fixture) {
        const std::string path = (dir / "Acme.qbw").string();
        auto file = CQbSimCompany::create(path, CQbSimCompanyOptions{"Acme Hardware"});
        CQbSimEngine engine(*file, nullptr);
        const std::string answer =
            engine.processRequest(readFile(std::string(LOTWISE_SOURCE_DIR) + "/tests/e2e/data/" + fixture));
        EXPECT_THAT(answer, ::testing::Not(HasSubstr("statusSeverity=\"Error\"")));
        return path;
    }

    std::unique_ptr<CCostrunDlg> window() {
        auto dlg = std::make_unique<CCostrunDlg>(host, CCostrunFolders{dir / "appdata", dir / "docs"});
        dlg->initDialog();
        return dlg;
    }

    static CDateTime day(int y, int m, int d) { return *CDateTime::fromLocal(y, m, d, 10, 0, 0); }

    // QuickBooks' own quantity and value of an item at the end of a day.
    static std::pair<float, float> carried(CCostrunDoc& engine, const CDateTime& when,
                                           const std::string& item,
                                           const std::string& type = "Inventory") {
        CCostrunItemList list;
        EXPECT_TRUE(engine.readValuationReport(list, CCostrunDoc::endOfDay(when), type));
        const CCostrunItem* found = list.find(item);
        return found ? std::make_pair(found->qtyOnHand, found->qbValue) : std::make_pair(-1.0f, -1.0f);
    }

    CTzGuard tz;
    std::filesystem::path dir;
    CQuietHost host;
};

TEST_F(ValuationRun, FirstRunBringsQuickBooksToTheFifoValue) {
    const std::string path = company("fifo_company_rq.xml");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path)) << dlg->statusText();
    EXPECT_EQ(dlg->control(kIdcCompanyName).text, "Acme Hardware");
    dlg->setDate(kIdcStartDate, day(2010, 4, 1));
    dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    CCostrunDoc& engine = *dlg->getEngine();
    EXPECT_EQ(dlg->statusText(), "Process completed\n\nA report of the calculation is created at " +
                                     engine.getReportPath());
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/03/2010");
    EXPECT_EQ(engine.getReportPath(), (dir / "docs" / "Veltrane" / "Lotwise Reports" / "Acme" /
                                       "costrun20100401_20100403.csv").string());

    // QuickBooks now carries the FIFO value at the end of each sales day.
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Widget"), std::make_pair(16.0f, 110.0f));
    EXPECT_EQ(carried(engine, day(2010, 4, 3), "Widget"), std::make_pair(10.0f, 80.0f));
    EXPECT_EQ(carried(engine, day(2010, 4, 1), "Widget"), std::make_pair(20.0f, 130.0f));

    const std::string report = readFile(engine.getReportPath());
    EXPECT_THAT(report, HasSubstr("\"FIFO Valuation on 04/02/2010\""));
    EXPECT_THAT(report, HasSubstr("\"Widget\",16.00,104.00,110.00\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-2\",2010/04/01,10.00,8.000000\n"
                                  "\"\",\"\",\"\",\"\",\"Before FIFO\",\"\",2010/03/31,6.00,5.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Widget\",10.00,68.75,80.00\n"));
    EXPECT_THAT(report, ::testing::Not(HasSubstr("04/01/2010")));  // a day without issues

    const std::string activity = readFile(engine.activityLogPath());
    EXPECT_THAT(activity, StartsWith("Start date : 04/01/2010\nLast up to date : not specified\n"
                                     "New up to date : 04/03/2010\nMultiCurrency is turned off\n"));
    EXPECT_THAT(activity, HasSubstr("-- Value adjust account Cost of Goods Sold for customer Bright Shop\n"
                                    "Item NewValue\nWidget 110.00\n"));
    EXPECT_THAT(activity, HasSubstr("Widget 80.00\n"));
}

TEST_F(ValuationRun, BuildsAreValuedFromTheirComponentsPassByPass) {
    const std::string path = company("build_company_rq.xml");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path)) << dlg->statusText();
    dlg->setDate(kIdcStartDate, day(2010, 4, 1));
    dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(dlg->statusText(), ::testing::Not(HasSubstr("Warning")));
    CCostrunDoc& engine = *dlg->getEngine();

    // Value moved from the components to the assemblies: QuickBooks now carries the FIFO
    // value of every item at the end of the building day.
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Widget"), std::make_pair(13.0f, 95.0f));
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Kit", "Assembly"), std::make_pair(1.0f, 22.5f));
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Crate", "Assembly"), std::make_pair(1.0f, 37.5f));

    // Each build keeps its value in the company file for later runs.
    CQbFieldList filter;
    filter.addText("IncludeComponentLineItems", "true");
    filter.addText("OwnerID", kPrivateOwnerId);
    auto builds = engine.getSession()->queryBuildAssembly(&filter);
    ASSERT_EQ(builds->getSize(), 2);
    std::map<std::string, std::string> values;
    for (int i = 0; i < builds->getSize(); ++i) {
        values[builds->getAt(i)->getValue("RefNumber")] = builds->getAt(i)->getValue("BuildValue");
    }
    EXPECT_EQ(values["K-1"], "45.000000");
    EXPECT_EQ(values["C-1"], "37.500000");

    const std::string activity = readFile(engine.activityLogPath());
    EXPECT_THAT(activity, HasSubstr("Build component : item Widget qty 4.000000 val 20.000000\n"));
    EXPECT_THAT(activity, HasSubstr("Build transaction : item Kit value 45.000000\n"));
    EXPECT_THAT(activity, HasSubstr("Build component : item Kit qty 1.000000 val 22.500000\n"));
    EXPECT_THAT(activity, HasSubstr("Build transaction : item Crate value 37.500000\n"));
    // The Kit is valued in the first pass, the Crate made of it in the second.
    EXPECT_LT(activity.find("Build transaction : item Kit"), activity.find("Build transaction : item Crate"));

    const std::string report = readFile(engine.getReportPath());
    EXPECT_THAT(report, HasSubstr("\"Kit\",1.00,25.50,22.50\n"
                                  "\"\",\"\",\"\",\"\",\"Build Assembly\",\"K-1\",2010/04/02,1.00,22.500000\n"));
    EXPECT_THAT(report, HasSubstr("\"Crate\",1.00,45.00,37.50\n"));

    // A later run values nothing again: the builds keep the values they have.
    dlg->setDate(kIdcUpToDate, day(2010, 4, 5));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(readFile(engine.activityLogPath()).substr(activity.size()),
                ::testing::Not(HasSubstr("Build transaction")));
}

TEST_F(ValuationRun, ReopenedFileContinuesAfterTheLastDay) {
    const std::string path = company("fifo_company_rq.xml");
    {
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path));
        dlg->setDate(kIdcStartDate, day(2010, 4, 1));
        dlg->setDate(kIdcUpToDate, day(2010, 4, 2));
        ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
        EXPECT_THAT(dlg->getEngine()->getReportPath(), HasSubstr("costrun20100401_20100402.csv"));
    }
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_EQ(dlg->control(kIdcStartDateText).text, "04/01/2010");
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/02/2010");
    dlg->setDate(kIdcUpToDate, day(2010, 4, 2));
    EXPECT_FALSE(dlg->onProcess());
    EXPECT_THAT(dlg->statusText(), HasSubstr("has to be after the current Up to Date"));
    dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(dlg->getEngine()->getReportPath(), HasSubstr("costrun20100403.csv"));
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0f, 80.0f));

    // Valuing on into days without activity posts nothing and changes nothing.
    dlg->setDate(kIdcUpToDate, day(2010, 4, 6));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/06/2010");
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 6), "Widget"), std::make_pair(10.0f, 80.0f));
}

}  // namespace

namespace {

// Delegates to the stand-in but, from the Nth ProcessRequest of its life on, fails every
// request as QuickBooks does when it has been closed under a running session.
class CDyingProcessor final : public CComObjectBase<IRequestProcessor2> {
public:
    CDyingProcessor(IRequestProcessor2* real, int* sent, const int* failFrom)
        : inner(real), sent(sent), failFrom(failFrom) {}
    ~CDyingProcessor() override { inner->Release(); }

    HRESULT QueryInterface(REFIID riid, void** object) override {
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
    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        if (*failFrom > 0 && ++*sent >= *failFrom) {
            comSetErrorDescription(L"Could not start QuickBooks.");
            return static_cast<HRESULT>(0x80040408u);
        }
        return inner->ProcessRequest(ticket, request, response);
    }
    HRESULT GetCurrentCompanyFileName(BSTR ticket, BSTR* name) override {
        return inner->GetCurrentCompanyFileName(ticket, name);
    }

private:
    IRequestProcessor2* inner;
    int* sent;
    const int* failFrom;
};

// Whatever request QuickBooks stops answering at, the next run finishes the job and the
// books end exactly as an uninterrupted run leaves them.
TEST_F(ValuationRun, ARunCutOffAtAnyRequestIsFinishedByTheNext) {
    int sent = 0;
    int failFrom = 0;
    comRegisterClass(CLSID_RequestProcessor2, [&](REFIID riid, void** object) {
        auto* processor = new CDyingProcessor(qbsimCreateProcessor(), &sent, &failFrom);
        const HRESULT hr = processor->QueryInterface(riid, object);
        processor->Release();
        return hr;
    });

    // Count the requests of an uninterrupted run.
    int total = 0;
    {
        const std::string path = company("fifo_company_rq.xml");
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path));
        dlg->setDate(kIdcStartDate, day(2010, 4, 1));
        dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
        failFrom = 1 << 30;
        sent = 0;
        ASSERT_TRUE(dlg->onProcess());
        total = sent;
        std::filesystem::remove(path);
    }
    ASSERT_GT(total, 20);

    for (int cut = 1; cut <= total; ++cut) {
        SCOPED_TRACE("QuickBooks stops answering at request " + std::to_string(cut));
        const std::string path = company("fifo_company_rq.xml");
        {
            auto dlg = window();
            failFrom = 0;
            ASSERT_TRUE(dlg->openFile(path));
            dlg->setDate(kIdcStartDate, day(2010, 4, 1));
            dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
            sent = 0;
            failFrom = cut;
            // Either the run fails, or (when only the last day's posting or its
            // "LastUpToDate" was cut off) it completes with a warning naming the failure.
            const bool completed = dlg->onProcess();
            EXPECT_THAT(dlg->statusText(), HasSubstr("Error = 80040408, Could not start QuickBooks."));
            if (completed) {
                EXPECT_THAT(dlg->statusText(), HasSubstr("\n\nWarning : "));
            }
        }
        failFrom = 0;
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path)) << dlg->statusText();
        dlg->setDate(kIdcStartDate, day(2010, 4, 1));
        dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
        if (dlg->control(kIdcCurrentUpToDate).text != "04/03/2010") {
            ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
        }
        EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/03/2010");
        EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 2), "Widget"), std::make_pair(16.0f, 110.0f));
        EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0f, 80.0f));
        dlg.reset();
        std::filesystem::remove(path);
    }
    qbsimRegister();
}

}  // namespace
