#include "files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "console.h"
#include "userfolders.h"

#ifndef _WIN32
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Letters outside every ANSI code page together: Latin, Greek, CJK and one beyond U+FFFF.
const std::string kName = "Caf\xC3\xA9 \xCE\xA9 \xE6\x97\xA5 \xF0\x9F\x93\xA6";

class FilesTest : public ::testing::Test {
protected:
    FilesTest() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root = pathToUtf8(std::filesystem::temp_directory_path() /
                          ("lotwise-files-" + std::to_string(stamp)));
    }
    ~FilesTest() override {
        std::error_code error;
        std::filesystem::remove_all(pathFromUtf8(root), error);
    }
    std::string root;
};

std::string readAll(const std::string& path) {
    std::FILE* in = openFile(path, "rb");
    if (in == nullptr) return "<cannot open>";
    std::string text;
    char buffer[256];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
    std::fclose(in);
    return text;
}

TEST(FileNames, Utf8TextAndPathsRoundTrip) {
    EXPECT_EQ(pathToUtf8(pathFromUtf8(kName)), kName);
    EXPECT_EQ(pathToUtf8(pathFromUtf8("a/b/" + kName + ".csv").filename()), kName + ".csv");
    EXPECT_TRUE(pathFromUtf8("").empty());
}

TEST_F(FilesTest, FoldersAndFilesWithNamesBeyondTheCodePage) {
    const std::string folder = root + "/" + kName + "/" + kName;
    ASSERT_TRUE(createFolders(folder));
    EXPECT_TRUE(createFolders(folder));  // already there
    EXPECT_TRUE(std::filesystem::is_directory(pathFromUtf8(folder)));

    const std::string file = folder + "/" + kName + ".csv";
    std::FILE* out = openFile(file, "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("a,b\n", out);
    std::fclose(out);
    // The system lists it under the very name given.
    bool listed = false;
    for (const auto& entry : std::filesystem::directory_iterator(pathFromUtf8(folder))) {
        listed = listed || pathToUtf8(entry.path().filename()) == kName + ".csv";
    }
    EXPECT_TRUE(listed);
    EXPECT_EQ(readAll(file), "a,b\n");

    EXPECT_TRUE(removeFile(file));
    EXPECT_FALSE(removeFile(file));  // nothing left to remove
    EXPECT_EQ(openFile(file, "rb"), nullptr);
}

TEST_F(FilesTest, AFolderCannotBeMadeWhereAFileIs) {
    ASSERT_TRUE(createFolders(root));
    const std::string file = root + "/plain";
    std::FILE* out = openFile(file, "wb");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    EXPECT_FALSE(createFolders(file));
    EXPECT_FALSE(createFolders(file + "/below"));
}

TEST_F(FilesTest, AnExclusiveFileKeepsOtherWritersOut) {
    ASSERT_TRUE(createFolders(root));
    const std::string file = root + "/" + kName + ".log";
    std::FILE* held = openFileExclusive(file, "wb");
    ASSERT_NE(held, nullptr);
    std::fputs("held", held);
    std::fflush(held);
#ifdef _WIN32
    // Opened without write sharing: no second writer, and the file cannot be removed.
    EXPECT_EQ(openFile(file, "ab"), nullptr);
    EXPECT_FALSE(removeFile(file));
    // Readers are still let in.
    EXPECT_EQ(readAll(file), "held");
#else
    // An advisory lock: a second lock on the file is refused while the first is held.
    const int other = ::open(pathFromUtf8(file).c_str(), O_RDONLY);
    ASSERT_GE(other, 0);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
#endif
    std::fclose(held);
    EXPECT_TRUE(removeFile(file));
}

TEST_F(FilesTest, AFileIsNoTerminal) {
    ASSERT_TRUE(createFolders(root));
    std::FILE* out = openFile(root + "/plain", "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(isTerminal(out));
    std::fclose(out);
}

}  // namespace
