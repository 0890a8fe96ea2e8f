// The parts of the native desktop program that need no window on the screen: the
// progress window's message pump, the date pickers' days, the file chooser's filter,
// where a help document is found, and the test mode's arguments. The windows themselves
// are driven under Xvfb by tests/windows/windowrun.sh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "costrunguitext.h"
#include "progresswindow.h"
#include "widestring.h"
#include "windowdriver.h"
#include "winui.h"

namespace {

using ::testing::ElementsAre;
using namespace std::string_view_literals;

// Takes every message left in the thread's queue, so that each test starts empty.
void drainQueue() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(MessagePump, RunsEverythingPendingAndKeepsTheQuitRequestForTheMainLoop) {
    drainQueue();
    const DWORD thread = GetCurrentThreadId();
    PostThreadMessageW(thread, WM_APP, 1, 0);
    PostQuitMessage(7);
    PostThreadMessageW(thread, WM_APP, 2, 0);

    std::vector<WPARAM> seen;
    auto filter = [&seen](MSG& message) {
        if (message.message != WM_APP) return false;
        seen.push_back(message.wParam);
        return true;
    };
    // Posted messages come before the quit request, whenever it was made.
    EXPECT_TRUE(pumpPendingMessages(filter));
    EXPECT_THAT(seen, ElementsAre(1u, 2u));

    // The request is there again, with its exit code, and a second pump stops at it
    // rather than turning forever.
    EXPECT_TRUE(pumpPendingMessages(filter));
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(quit.wParam, 7u);
    drainQueue();
}

TEST(MessagePump, WithoutQuitRequestEmptiesTheQueue) {
    drainQueue();
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 3, 0);
    int filtered = 0;
    EXPECT_FALSE(pumpPendingMessages([&filtered](MSG&) {
        ++filtered;
        return false;  // not used up: translated and dispatched
    }));
    EXPECT_EQ(filtered, 1);
    MSG left;
    EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(PickedDays, IsoDaysAreReadAsTheSystemKnowsThem) {
    const std::optional<SYSTEMTIME> leap = parseIsoDay("2024-02-29");
    ASSERT_TRUE(leap);
    EXPECT_EQ(leap->wYear, 2024);
    EXPECT_EQ(leap->wMonth, 2);
    EXPECT_EQ(leap->wDay, 29);
    EXPECT_EQ(leap->wDayOfWeek, 4);  // a Thursday
    for (const char* wrong :
         {"2025-02-29", "2025-04-31", "2025-13-01", "2025-00-10", "2025-01-00", "2025-1-01",
          "2025/01/01", "20250101", "2025-01-01x", "1600-12-31", ""}) {
        EXPECT_FALSE(parseIsoDay(wrong)) << wrong;
    }
}

TEST(PickedDays, ADayPickedIsKeptAtNoonAndShownAsTheSameDay) {
    for (const char* text : {"2025-01-01", "2025-03-09", "2025-11-02", "2025-12-31"}) {
        const std::optional<SYSTEMTIME> day = parseIsoDay(text);
        ASSERT_TRUE(day) << text;
        const std::optional<CDateTime> picked = fromPickedDay(*day);
        ASSERT_TRUE(picked) << text;
        EXPECT_EQ(picked->local().hour, 12) << text;
        const SYSTEMTIME shown = toSystemTime(*picked);
        EXPECT_EQ(shown.wYear, day->wYear) << text;
        EXPECT_EQ(shown.wMonth, day->wMonth) << text;
        EXPECT_EQ(shown.wDay, day->wDay) << text;
        EXPECT_EQ(shown.wDayOfWeek, day->wDayOfWeek) << text;
    }
}

TEST(FileChooser, FilterPairsEachTextWithThePatternItNames) {
    EXPECT_EQ(fileDialogFilter({guitext::kCompanyFilter, guitext::kAllFilesFilter}),
              L"QuickBooks Company Files (*.qbw)\0*.qbw\0All Files (*.*)\0*.*\0\0"sv);
    EXPECT_EQ(fileDialogFilter({"Anything"}), L"Anything\0*.*\0\0"sv);
}

TEST(StatusText, LineEndsBecomeThoseOfAnEditControl) {
    EXPECT_EQ(editLineEnds(L"Process completed\n\nA report"), L"Process completed\r\n\r\nA report");
    EXPECT_EQ(editLineEnds(L"already\r\nright\n"), L"already\r\nright\r\n");
}

class HelpDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + L"lotwise-help-" + std::to_wstring(GetCurrentProcessId());
        empty = root + L"\\Zoë work";
        program = root + L"\\program";
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(empty.c_str(), nullptr);
        CreateDirectoryW(program.c_str(), nullptr);
        CreateDirectoryW((program + L"\\tutorial").c_str(), nullptr);
        for (const wchar_t* name : {L"\\manual.pdf", L"\\tutorial\\tutorial.html"}) {
            HANDLE file = CreateFileW((program + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, 0, nullptr);
            CloseHandle(file);
        }
    }
    void TearDown() override {
        DeleteFileW((program + L"\\tutorial\\tutorial.html").c_str());
        DeleteFileW((program + L"\\manual.pdf").c_str());
        RemoveDirectoryW((program + L"\\tutorial").c_str());
        RemoveDirectoryW(program.c_str());
        RemoveDirectoryW(empty.c_str());
        RemoveDirectoryW(root.c_str());
    }

    std::wstring root, empty, program;
};

TEST_F(HelpDocuments, AreFoundBesideTheProgramWhenTheWorkingFolderHasNone) {
    EXPECT_EQ(locateDocument(L"tutorial/tutorial.html", {empty, program}),
              program + L"\\tutorial\\tutorial.html");
    EXPECT_EQ(locateDocument(L"manual.pdf", {program, empty}), program + L"\\manual.pdf");
    // Nowhere: the working folder's name, for the shell to report.
    EXPECT_EQ(locateDocument(L"missing.pdf", {empty, program}), empty + L"\\missing.pdf");
    EXPECT_EQ(locateDocument(L"C:\\Docs\\manual.pdf", {program}), L"C:\\Docs\\manual.pdf");
    EXPECT_EQ(locateDocument(L"\\\\server\\share\\manual.pdf", {program}),
              L"\\\\server\\share\\manual.pdf");
}

TEST(DriveOptions, AreTakenOutOfTheArgumentsAndChecked) {
    std::vector<std::string> arguments = {"--data-dir",   "D",          "--drive",
                                          "Z:\\log",      "--company",  "Zoë.qbw",
                                          "--upto",       "2025-01-31", "--close-during-run",
                                          "--report-dir", "R",          "--rewind",
                                          "2025-01-10"};
    CDriveOptions options;
    EXPECT_FALSE(takeDriveOptions(arguments, options));
    EXPECT_THAT(arguments, ElementsAre("--data-dir", "D", "--report-dir", "R"));
    EXPECT_EQ(options.log, "Z:\\log");
    EXPECT_EQ(options.company, "Zoë.qbw");
    ASSERT_TRUE(options.upto);
    EXPECT_EQ(options.upto->wDay, 31);
    EXPECT_FALSE(options.start);
    ASSERT_TRUE(options.rewind);
    EXPECT_EQ(options.rewind->wDay, 10);
    EXPECT_TRUE(options.closeDuringRun);

    struct CWrong {
        std::vector<std::string> arguments;
        const char* reason;
    };
    for (const CWrong& wrong : std::vector<CWrong>{
             {{"--drive", "L", "--company", "C"}, "--drive needs --company and --upto"},
             {{"--drive", "L", "--upto", "2025-01-31"}, "--drive needs --company and --upto"},
             {{"--drive", "L", "--company", "C", "--upto", "2025-02-30"},
              "--upto: not a date: 2025-02-30"},
             {{"--drive", "L", "--company", "C", "--upto", "2025-01-31", "--rewind", "01/10/2025"},
              "--rewind: not a date: 01/10/2025"},
             {{"--company"}, "--company needs a value"},
         }) {
        std::vector<std::string> args = wrong.arguments;
        CDriveOptions ignored;
        EXPECT_EQ(takeDriveOptions(args, ignored).value_or("accepted"), wrong.reason);
    }
    // Without --drive the program is the user's: nothing is asked of the others.
    std::vector<std::string> plain = {"--data-dir", "D"};
    CDriveOptions none;
    EXPECT_FALSE(takeDriveOptions(plain, none));
    EXPECT_TRUE(none.log.empty());
}

}  // namespace
