// The user's folders through the shell: CSIDL_APPDATA and CSIDL_PERSONAL, each created
// when missing (CSIDL_FLAG_CREATE), and the shell's "open" verb. The wide functions are
// called so that a folder whose name the ANSI code page cannot spell still works; the
// system's narrow text is UTF-8 (widestring.h).
#include "userfolders.h"

#include "comshim.h"  // <windows.h> with the project's settings
#include <shellapi.h>
#include <shlobj.h>

#include "widestring.h"

namespace {

std::string shellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                path))) {
        return std::string();
    }
    return wideToNarrow(path);
}

}  // namespace

std::string applicationDataFolder() { return shellFolder(CSIDL_APPDATA); }

std::string documentsFolder() { return shellFolder(CSIDL_PERSONAL); }

bool openDocument(const std::string& path) {
    std::wstring target = narrowToWide(path);
    // The shell resolves relative paths against the current directory, with its own
    // separator.
    for (wchar_t& c : target) {
        if (c == L'/') c = L'\\';
    }
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // ShellExecute reports success with a value greater than 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}
