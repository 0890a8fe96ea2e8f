// lotwise-qbprobe: checks on a Windows machine that QuickBooks' request processor answers
// through the platform layer, without the rest of Lotwise. It opens a connection and a
// single-user session on the company file given (or the one open in QuickBooks when none
// is), prints the company file name and QuickBooks' HostQuery answer, and closes the
// session; then it prints the folders and the zone offset the program would use.
// Exit code 0 when every call succeeded.
//
// Built by the Windows cross-compile check on Linux; copy the .exe next to QuickBooks.
#include <cstdio>
#include <string>

#include "datetime.h"
#include "qbxmlrp.h"  // the system's COM headers, <windows.h> among them
#include "userfolders.h"
#include "widestring.h"

#include <shellapi.h>

namespace {

// QuickBooks' processor must be reached through the adapter of the platform layer, not
// through the system's CoCreateInstance, whose object has another table of methods.
// Only the platform's overload is declared noexcept.
IRequestProcessor2* const kNoProcessor = nullptr;
static_assert(noexcept(CoCreateInstance(CLSID_RequestProcessor2, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IRequestProcessor2,
                                        reinterpret_cast<void**>(kNoProcessor))));

class CBstr {
public:
    explicit CBstr(const std::string& narrow) {
        const std::wstring wide = narrowToWide(narrow);
        text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    CBstr() = default;
    ~CBstr() { SysFreeString(text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR get() const { return text; }
    BSTR* out() { return &text; }
    std::string narrow() const {
        return wideToNarrow(std::wstring(text ? text : L"", SysStringLen(text)));
    }

private:
    BSTR text = nullptr;
};

bool report(const char* call, HRESULT hr) {
    if (SUCCEEDED(hr)) return true;
    std::string description;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        CBstr text;
        if (SUCCEEDED(info->GetDescription(text.out()))) description = text.narrow();
        info->Release();
    }
    std::fprintf(stderr, "%s failed: %08lx %s\n", call, static_cast<unsigned long>(hr),
                 description.c_str());
    return false;
}

int probe(const std::string& companyFile) {
    void* created = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_RequestProcessor2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IRequestProcessor2, &created);
    if (!report("CoCreateInstance", hr)) return 1;
    auto* processor = static_cast<IRequestProcessor2*>(created);
    CBstr id("Lotwise"), name("Lotwise connection check"), file(companyFile);
    bool ok = report("OpenConnection", processor->OpenConnection(id.get(), name.get()));
    if (ok) {
        CBstr ticket;
        ok = report("BeginSession",
                    processor->BeginSession(file.get(), qbFileOpenSingleUser, ticket.out()));
        if (ok) {
            CBstr fileName;
            ok = report("GetCurrentCompanyFileName",
                        processor->GetCurrentCompanyFileName(ticket.get(), fileName.out()));
            if (ok) std::printf("company file: %s\n", fileName.narrow().c_str());
            CBstr request(
                "<?xml version=\"1.0\"?><?qbxml version=\"2.0\"?><QBXML>"
                "<QBXMLMsgsRq onError=\"stopOnError\"><HostQueryRq></HostQueryRq>"
                "</QBXMLMsgsRq></QBXML>");
            CBstr response;
            if (ok && report("ProcessRequest",
                             processor->ProcessRequest(ticket.get(), request.get(),
                                                       response.out()))) {
                std::printf("%s\n", response.narrow().c_str());
            } else {
                ok = false;
            }
            ok = report("EndSession", processor->EndSession(ticket.get())) && ok;
        }
        ok = report("CloseConnection", processor->CloseConnection()) && ok;
    }
    processor->Release();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: lotwise-qbprobe [COMPANY-FILE]\n");
        return 2;
    }
    // The command line arrives in the ANSI code page; wide text keeps every character.
    std::string companyFile;
    if (argc == 2) {
        int count = 0;
        wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
        companyFile = (wide != nullptr && count == 2) ? wideToNarrow(wide[1]) : argv[1];
        LocalFree(wide);
    }
    SetConsoleOutputCP(CP_UTF8);  // the texts printed are UTF-8
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "CoInitializeEx failed\n");
        return 1;
    }
    const int result = probe(companyFile);
    CoUninitialize();
    std::printf("application data folder: %s\n", applicationDataFolder().c_str());
    std::printf("documents folder: %s\n", documentsFolder().c_str());
    std::printf("standard offset west of UTC: %ld s\n", localStandardOffsetWest());
    std::printf("now: %s\n", CDateTime::now().format("%H:%M:%S, %B %d, %Y").c_str());
    return result;
}
