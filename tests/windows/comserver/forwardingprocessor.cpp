// The forwarding processor: IDispatch by hand (names, argument coercion, exceptions) and
// one loopback exchange per call.
#include "forwardingprocessor.h"

#include "qbsimserve.h"

#include <cwchar>
#include <new>

LONG comServerObjects = 0;

namespace {

// What QuickBooks answers when it cannot be reached: its own code for a QuickBooks that
// does not start, and the system's for a connection lost in the middle of a session.
constexpr HRESULT kCouldNotStart = static_cast<HRESULT>(0x80040408u);
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BAu);
constexpr wchar_t kSource[] = L"QBXMLRP2.RequestProcessor";

struct CCallName {
    const wchar_t* name;
    EProcessorCall id;
};
constexpr CCallName kCalls[] = {
    {L"OpenConnection", kOpenConnection},
    {L"OpenConnection2", kOpenConnection2},
    {L"BeginSession", kBeginSession},
    {L"EndSession", kEndSession},
    {L"CloseConnection", kCloseConnection},
    {L"ProcessRequest", kProcessRequest},
    {L"GetCurrentCompanyFileName", kGetCurrentCompanyFileName},
};

std::string utf8(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring utf16(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
    return out;
}

// The POSIX name, under Wine, of a file on a drive other than Z: ("C:\\users\\...", a
// user's documents in the prefix): `qbsim serve` knows the file it serves by its POSIX
// path or by Wine's Z: name. Any other name, or one on Windows itself, is unchanged.
std::string posixName(const std::string& name) {
    if (name.size() < 3 || name[1] != ':' || name[0] == 'Z' || name[0] == 'z') return name;
    using CUnixName = char*(CDECL*)(LPCWSTR);
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (found == nullptr) return name;
    const auto unixName = reinterpret_cast<CUnixName>(reinterpret_cast<void (*)()>(found));
    char* converted = unixName(utf16(name).c_str());
    if (converted == nullptr) return name;
    std::string posix = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return posix;
}

BSTR allocate(const std::string& text) {
    const std::wstring wide = utf16(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// The argument coerced to `type`, as the type information of a dual interface would
// coerce it; `text` takes a string and `number` an integer.
HRESULT argument(const VARIANTARG& given, VARTYPE type, std::string* text, LONG* number) {
    VARIANT coerced;
    VariantInit(&coerced);
    const HRESULT hr = VariantChangeType(&coerced, const_cast<VARIANTARG*>(&given), 0, type);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    if (type == VT_BSTR) {
        *text = utf8(coerced.bstrVal, static_cast<int>(SysStringLen(coerced.bstrVal)));
    } else {
        *number = coerced.lVal;
    }
    VariantClear(&coerced);
    return S_OK;
}

// The thread's error object for a failed call, as a COM server sets it before
// returning a failure.
void setErrorObject(const std::wstring& description) {
    ICreateErrorInfo* creator = nullptr;
    if (FAILED(CreateErrorInfo(&creator))) return;
    creator->SetGUID(IID_IDispatch);
    creator->SetSource(const_cast<LPOLESTR>(kSource));
    creator->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    creator->Release();
}

// The port in QBSIM_SERVE_PORT, or 0 with the reason.
int configuredPort(std::string& problem) {
    wchar_t value[32] = {};
    const DWORD length = GetEnvironmentVariableW(L"QBSIM_SERVE_PORT", value, 32);
    if (length == 0 || length >= 32) {
        problem = "QBSIM_SERVE_PORT is not set";
        return 0;
    }
    wchar_t* end = nullptr;
    const long port = std::wcstol(value, &end, 10);
    if (end == value || *end != L'\0' || port < 1 || port > 65535) {
        problem = "QBSIM_SERVE_PORT is not a port number: " + utf8(value, static_cast<int>(length));
        return 0;
    }
    return static_cast<int>(port);
}

}  // namespace

CForwardingProcessor::CForwardingProcessor() {
    InterlockedIncrement(&comServerObjects);
    port = configuredPort(portProblem);
}

CForwardingProcessor::~CForwardingProcessor() { InterlockedDecrement(&comServerObjects); }

HRESULT CForwardingProcessor::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CForwardingProcessor::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references)); }

ULONG CForwardingProcessor::Release() {
    const LONG left = InterlockedDecrement(&references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT CForwardingProcessor::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT CForwardingProcessor::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT CForwardingProcessor::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    // Names after the first are parameter names, which calls here never use.
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const CCallName& call : kCalls) {
        if (names[0] != nullptr && _wcsicmp(names[0], call.name) == 0) ids[0] = call.id;
    }
    if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;
    return hr;
}

HRESULT CForwardingProcessor::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;

    // The operation's name and the types of its parameters, in declaration order.
    const char* name = nullptr;
    std::vector<VARTYPE> types;
    switch (id) {
    case kOpenConnection: name = "OpenConnection"; types = {VT_BSTR, VT_BSTR}; break;
    case kOpenConnection2: name = "OpenConnection"; types = {VT_BSTR, VT_BSTR, VT_I4}; break;
    case kBeginSession: name = "BeginSession"; types = {VT_BSTR, VT_I4}; break;
    case kEndSession: name = "EndSession"; types = {VT_BSTR}; break;
    case kCloseConnection: name = "CloseConnection"; break;
    case kProcessRequest: name = "ProcessRequest"; types = {VT_BSTR, VT_BSTR}; break;
    case kGetCurrentCompanyFileName: name = "GetCurrentCompanyFileName"; types = {VT_BSTR}; break;
    default: return DISP_E_MEMBERNOTFOUND;
    }
    if (params->cArgs != types.size()) return DISP_E_BADPARAMCOUNT;

    std::vector<std::string> call = {name};
    for (UINT i = 0; i < params->cArgs; ++i) {
        // IDispatch hands the arguments over last to first.
        const VARIANTARG& given = params->rgvarg[params->cArgs - 1 - i];
        std::string text;
        LONG number = 0;
        const HRESULT hr = argument(given, types[i], &text, &number);
        if (FAILED(hr)) {
            if (argumentError != nullptr) *argumentError = params->cArgs - 1 - i;
            return hr;
        }
        // The connection preference of OpenConnection2 (local or remote) has no
        // counterpart here: the processor is always on this machine.
        if (id == kOpenConnection2 && i == 2) break;
        if (id == kBeginSession && i == 0) {
            sessionFileGiven = text;
            text = sessionFileSent = posixName(text);
        }
        call.push_back(types[i] == VT_BSTR ? text : std::to_string(number));
    }

    std::string text;
    const HRESULT hr = forward(call, text);
    if (FAILED(hr)) {
        const std::wstring description = utf16(text);
        setErrorObject(description);
        if (exception == nullptr) return hr;
        *exception = EXCEPINFO{};
        exception->scode = hr;
        exception->bstrSource = SysAllocString(kSource);
        exception->bstrDescription =
            description.empty() ? nullptr
                                : SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
        return DISP_E_EXCEPTION;
    }
    // The session's file by the name the caller gave.
    if (id == kGetCurrentCompanyFileName && text == sessionFileSent) text = sessionFileGiven;
    if (result != nullptr) {
        VariantInit(result);
        if (id == kBeginSession || id == kProcessRequest || id == kGetCurrentCompanyFileName) {
            result->vt = VT_BSTR;
            result->bstrVal = allocate(text);
            if (result->bstrVal == nullptr) {
                result->vt = VT_EMPTY;
                return E_OUTOFMEMORY;
            }
        }
    }
    return hr;
}

HRESULT CForwardingProcessor::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IDispatch ? S_OK : S_FALSE;
}

HRESULT CForwardingProcessor::forward(const std::vector<std::string>& call, std::string& text) {
    if (port == 0) {
        text = "Could not start QuickBooks. (" + portProblem + ")";
        return kCouldNotStart;
    }
    std::string reason;
    const bool firstCall = !server.connected();
    if (!server.connect(port, reason)) {
        text = "Could not start QuickBooks. (" + reason + ")";
        return kCouldNotStart;
    }
    std::vector<std::string> answer;
    if (!server.exchange(call, answer, reason)) {
        text = std::string(firstCall ? "Could not start QuickBooks." : "The RPC server is unavailable.") +
               " (" + reason + ")";
        return firstCall ? kCouldNotStart : kServerUnavailable;
    }
    const auto code = answer.size() == 2 ? qbsimServeReadHresult(answer[0]) : std::nullopt;
    if (!code) {
        server.close();
        text = "The RPC server is unavailable. (qbsim serve sent an answer without a result code)";
        return kServerUnavailable;
    }
    text = answer[1];
    return static_cast<HRESULT>(*code);
}
