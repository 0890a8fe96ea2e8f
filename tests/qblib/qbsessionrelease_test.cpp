// A session released between commands: the next request begins one afresh and holds it,
// and a processor whose server went away is released without calls to it.
#include "qbsession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "qbexception.h"
#include "scriptedprocessor.h"
#include "testfiles.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST(SessionRelease, TheNextRequestConnectsAfreshWhateverTheFailureBefore) {
    const std::filesystem::path logDir = std::filesystem::path(::testing::TempDir()) / "lotwise-session-release";
    std::filesystem::create_directories(logDir);
    CFolderRemover removeLogs(logDir);
    struct Case {
        unsigned code;
        bool serverGone;  // no EndSession or CloseConnection to it
    };
    for (const Case& c : {Case{0x800706BAu, true}, Case{0x800706BEu, true}, Case{0x80010108u, true},
                          Case{0x80040400u, false}}) {
        SCOPED_TRACE(c.code);
        CScript script;
        CScriptedRegistration registration(script);
        script.responses.push_back(hostResponse({"13.0"}));
        CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
        session.open(true);
        script.calls.clear();
        script.failures["ProcessRequest"] = {static_cast<HRESULT>(c.code), L"The RPC server is unavailable."};
        EXPECT_THROW(session.sendXml("<x/>"), CQbException);
        session.release();
        std::vector<std::string> released = {"ProcessRequest"};
        if (!c.serverGone) released.insert(released.end(), {"EndSession", "CloseConnection"});
        EXPECT_THAT(script.calls, ElementsAreArray(released));
        EXPECT_EQ(script.alive, 0);
        EXPECT_TRUE(session.isConnected());

        // QuickBooks is back: a new processor and session, held after the request.
        script.failures.clear();
        script.calls.clear();
        script.responses.push_back(hostResponse({"13.0"}));
        script.responses.push_back(responseDocument("<TxnDelRs statusCode=\"0\" statusSeverity=\"Info\" />"));
        EXPECT_THAT(session.sendXml("<x/>"), HasSubstr("TxnDelRs"));
        EXPECT_THAT(script.calls, ElementsAre("OpenConnection", "BeginSession 0", "GetCurrentCompanyFileName",
                                              "ProcessRequest", "ProcessRequest"));
        EXPECT_EQ(script.alive, 1);
    }
}

}  // namespace
