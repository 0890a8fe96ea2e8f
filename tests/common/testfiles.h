// Reading files in tests: a whole file as bytes, and the shared fixtures of tests/data.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

// Removes a folder and everything in it when it goes out of scope. Declared before the
// objects that keep files open in the folder, it runs after they are gone, as Windows
// cannot remove a file that is still open.
class CFolderRemover {
public:
    explicit CFolderRemover(std::filesystem::path folder) : folder(std::move(folder)) {}
    ~CFolderRemover() {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    CFolderRemover(const CFolderRemover&) = delete;
    CFolderRemover& operator=(const CFolderRemover&) = delete;

private:
    std::filesystem::path folder;
};

// The file's bytes; empty text when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fixture of tests/data; a missing fixture fails the test.
inline std::string readFixture(const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(LOTWISE_SOURCE_DIR) / "tests" / "data" / name;
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    return readFile(path);
}
