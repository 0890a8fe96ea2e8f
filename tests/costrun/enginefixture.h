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
#include <map>
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

// QuickBooks' figures for a walk without QuickBooks: the opening stock of each item type
// and the quantities of value-change days are what the test puts in; every question
// about a quantity is counted.
class CStubStockFigures : public CStockFigures {
public:
    // The opening stock of the type, to fill before the walk.
    CCostrunItemList& opening(const std::string& itemType) {
        std::unique_ptr<CCostrunItemList>& list = openingLists[itemType];
        if (!list) list = std::make_unique<CCostrunItemList>();
        return *list;
    }
    const CCostrunItemList& openingStock(const std::string& itemType) override { return opening(itemType); }
    double quantityAtEndOf(const CDateTime&, const std::string&, const std::string& item) override {
        ++quantitiesAsked;
        const auto found = quantities.find(item);
        return found == quantities.end() ? 0.0 : found->second;
    }

    std::map<std::string, double> quantities;  // by item, whatever the date
    int quantitiesAsked = 0;

private:
    std::map<std::string, std::unique_ptr<CCostrunItemList>> openingLists;
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
