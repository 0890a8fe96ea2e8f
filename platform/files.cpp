// File names as UTF-8 text on every system. The Windows branches are the C runtime's
// wide-character calls; the paths themselves are built the same way everywhere.
#include "files.h"

#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <share.h>
#else
#include <sys/file.h>
#endif

#include "userfolders.h"

namespace {

#ifdef _WIN32
// fopen's mode letters are ASCII; the wide calls want them as wide text.
std::wstring wideMode(const char* mode) { return std::wstring(mode, mode + std::strlen(mode)); }
#endif

}  // namespace

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty()) path += kPathSeparator;
    path += name;
    return path;
}

std::filesystem::path pathFromUtf8(std::string_view utf8Path) {
    // A char8_t source is read as UTF-8 whatever the system's narrow encoding is.
    const std::u8string text(reinterpret_cast<const char8_t*>(utf8Path.data()), utf8Path.size());
    try {
        return std::filesystem::path(text);
    } catch (const std::exception&) {
        return std::filesystem::path();
    }
}

std::string pathToUtf8(const std::filesystem::path& path) {
    try {
        const std::u8string text = path.u8string();
        return std::string(reinterpret_cast<const char*>(text.data()), text.size());
    } catch (const std::exception&) {
        return std::string();
    }
}

std::FILE* openFile(const std::string& utf8Path, const char* mode) {
    const std::filesystem::path path = pathFromUtf8(utf8Path);
    if (path.empty()) return nullptr;
#ifdef _WIN32
    return _wfopen(path.c_str(), wideMode(mode).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::FILE* openFileExclusive(const std::string& utf8Path, const char* mode) {
    const std::filesystem::path path = pathFromUtf8(utf8Path);
    if (path.empty()) return nullptr;
#ifdef _WIN32
    return _wfsopen(path.c_str(), wideMode(mode).c_str(), _SH_DENYWR);
#else
    std::FILE* stream = std::fopen(path.c_str(), mode);
    // Advisory only: a failure to lock does not stop the caller from writing.
    if (stream != nullptr) (void)::flock(::fileno(stream), LOCK_EX | LOCK_NB);
    return stream;
#endif
}

bool removeFile(const std::string& utf8Path) {
    const std::filesystem::path path = pathFromUtf8(utf8Path);
    std::error_code error;
    return !path.empty() && std::filesystem::remove(path, error);
}

bool createFolders(const std::string& utf8Path) {
    const std::filesystem::path folder = pathFromUtf8(utf8Path);
    if (folder.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}
