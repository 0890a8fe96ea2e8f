// The fixture of the end-to-end tests: a temporary company file in the embedded
// stand-in, loaded from a request document of tests/e2e/data, and the main window logic
// with a host that never blocks.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "costrundlg.h"
#include "qbsimcompany.h"
#include "qbsimengine.h"
#include "qbsimprocessor.h"
#include "testfiles.h"
#include "tzguard.h"

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
        EXPECT_THAT(answer, ::testing::Not(::testing::HasSubstr("statusSeverity=\"Error\"")));
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
