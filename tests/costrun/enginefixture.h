// A valuation engine on a temporary folder whose session talks to a scripted request
// processor; tests queue the answers and read back the request documents.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "costrundoc.h"
#include "qbresponse.h"
#include "qbutils.h"
#include "qbsession.h"
#include "scriptedprocessor.h"

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

class CScriptedEngineTest : public ::testing::Test {
protected:
    CScriptedEngineTest() : registration(script) {
        static std::atomic<int> counter{0};
        dir = std::filesystem::temp_directory_path() /
              ("lotwise-engine-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(dir);
        doc = std::make_unique<CCostrunDoc>(
            CCostrunFolders{(dir / "data").string(), (dir / "documents").string()});
        script.responses.push_back(hostResponse({"13.0"}));
        auto session = std::make_unique<CQbXml>("/data/company.qbw", "Lotwise", "Veltrane", dir.string());
        session->open(true);
        script.requests.clear();
        doc->setSession(std::move(session));
        doc->setStatusHandler([this](const std::string& text) { statusTexts.push_back(text); });
    }
    ~CScriptedEngineTest() override {
        doc.reset();
        std::filesystem::remove_all(dir);
    }

    CScript script;
    CScriptedRegistration registration;
    std::filesystem::path dir;
    std::unique_ptr<CCostrunDoc> doc;
    std::vector<std::string> statusTexts;
};
