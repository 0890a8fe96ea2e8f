// A request processor that cannot be created for want of a class of the program's
// bitness: the words the user is shown, and that only creation gets them.
#include "qbbitness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "qbexception.h"
#include "qbsession.h"
#include "scriptedprocessor.h"

namespace {

TEST(Bitness, NotInstalledTextNamesTheProgramsBitness) {
    struct Case {
        int bits;
        const char* text;
    } cases[] = {
        {32, "QuickBooks' request processor is not installed for 32-bit programs on this "
             "computer. Install QuickBooks Desktop on this computer (it installs the request "
             "processor)."},
        {64, "QuickBooks' request processor is not installed for 64-bit programs on this "
             "computer. Install QuickBooks Desktop on this computer (it installs the request "
             "processor), or use the 32-bit Lotwise."},
    };
    for (const Case& c : cases) EXPECT_EQ(processorNotInstalledText(c.bits), c.text) << c.bits;
}

// Only a failed creation means "not installed": the same code from a processor that was
// created keeps the processor's own text.
TEST(Bitness, OnlyAFailedCreationSaysTheProcessorIsNotInstalled) {
    const auto logDir = std::filesystem::temp_directory_path() / "lotwise-bitness-test";
    std::filesystem::create_directories(logDir);
    struct Case {
        bool registered;
        const char* failingCall;
        std::string message;
    } cases[] = {
        {false, "", processorNotInstalledText(programBits())},
        {true, "OpenConnection", "Error = 80040154, Class not registered here\n"},
    };
    for (const Case& c : cases) {
        CScript script;
        std::optional<CScriptedRegistration> registration;
        if (c.registered) {
            registration.emplace(script);
            script.failures[c.failingCall] = {REGDB_E_CLASSNOTREG, L"Class not registered here"};
        } else {
            comRevokeClass(CLSID_RequestProcessor2);
        }
        CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
        try {
            session.open(true);
            ADD_FAILURE() << c.registered;
        } catch (const CQbException& e) {
            EXPECT_EQ(e.getMessage(), c.message);
        }
        EXPECT_EQ(session.getLastHresult(), REGDB_E_CLASSNOTREG);
        EXPECT_FALSE(session.isConnected());
        EXPECT_EQ(script.alive, 0);
    }
    std::filesystem::remove_all(logDir);
}

}  // namespace
