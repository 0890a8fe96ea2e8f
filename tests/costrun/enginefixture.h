// A scripted QuickBooks session on a temporary folder: tests queue the answers and read
// back the request documents. CScriptedSessionTest owns the session and lends it to the
// engine's pieces (the company fields, the run's lists, the day's transactions, the
// commit); CScriptedEngineTest hands it to a company file (CCostrunDoc) for the tests of
// the front ends' operations.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "costrundoc.h"
#include "costrunitemlist.h"
#include "qbresponse.h"
#include "qbsession.h"
#include "qbutils.h"
#include "receiptwalk.h"
#include "scriptedprocessor.h"
#include "testfiles.h"

// Response records parsed from inline qbXML, named as a query would name them.
inline std::unique_ptr<CQbObjectList> records(const std::string& rets, const std::string& element) {
    CQbResponse response(responseDocument(rets));
    auto list = std::make_unique<CQbObjectList>();
    for (CQbDomReader::Node* node : response.findElements(element)) {
        auto object = std::make_unique<CQbObject>();
        object->setName(baseName(element));
        object->load(node);
        list->add(std::move(object));
    }
    return list;
}

// QuickBooks' figures for a walk without QuickBooks: no opening stock of any type and
// no quantity on any day; every question about a quantity is counted.
class CStubStockFigures : public CStockFigures {
public:
    const CCostrunItemList& openingStock(const std::string&) override { return none; }
    double quantityAtEndOf(const CDateTime&, const std::string&, const std::string&) override {
        ++quantitiesAsked;
        return 0.0;
    }

    int quantitiesAsked = 0;

private:
    CCostrunItemList none;
};

class CScriptedSessionTest : public ::testing::Test {
protected:
    CScriptedSessionTest() : registration(script), dir(freshFolder()) {
        script.responses.push_back(hostResponse({"13.0"}));
        qbSession = std::make_unique<CQbXml>("/data/company.qbw", "Lotwise", "Veltrane", dir.string());
        qbSession->open(true);
        script.requests.clear();
    }

    static std::filesystem::path freshFolder() {
        static std::atomic<int> counter{0};
        std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("lotwise-engine-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(folder);
        return folder;
    }

    // The session the pieces borrow; not to be used once handed on.
    CQbRequestBase& session() { return *qbSession; }
    // The engine's folders inside the test's folder.
    CCostrunFolders folders() const { return {(dir / "data").string(), (dir / "documents").string()}; }
    // A progress handler that keeps every text in statusTexts.
    std::function<void(const std::string&)> progress() {
        return [this](const std::string& text) { statusTexts.push_back(text); };
    }

    CScript script;
    CScriptedRegistration registration;
    std::filesystem::path dir;
    // Removes the folder after everything below, which may hold files in it open.
    CFolderRemover removeDir{dir};
    std::unique_ptr<CQbXml> qbSession;
    std::vector<std::string> statusTexts;
};

class CScriptedEngineTest : public CScriptedSessionTest {
protected:
    CScriptedEngineTest() : doc(std::make_unique<CCostrunDoc>(folders())) {
        doc->setSession(std::move(qbSession));
        doc->setStatusHandler(progress());
    }

    std::unique_ptr<CCostrunDoc> doc;
};
