// platform/: portable stand-ins for the Windows calls the system makes (COM, user
// folders, files, local time, the console). May include the C++ standard library and,
// on Windows, the Windows API only: no other folder of the project.

// A small stand-in for the parts of the COM runtime the system calls: apartment
// initialisation counted per thread, an in-process class registry keyed by CLSID,
// length-prefixed wide strings (BSTR) and the calling thread's error object. The names
// and call shapes are those of the Windows API, so that on Windows this header maps to
// <objbase.h> and <oleauto.h> one to one (the _WIN32 branch below). Only the class
// registry is ours: on Windows an installer registers classes, here a factory registers
// itself. On Windows the registry answers for QuickBooks' request processor alone
// (qbxmlrp.h), so that a process can put its own processor in QuickBooks' place.
//
// Not thread-safe across threads for the registry; apartments and error objects are per
// thread, as in COM.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#ifdef _WIN32

// The system's own COM runtime. The header is included by most of the qbXML library and
// the engine, so it keeps <windows.h> from defining min/max and from pulling in the
// rarely used parts of the API.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <objbase.h>
#include <oleauto.h>

// The braced upper-case text form of a GUID.
std::wstring guidText(const GUID& guid);

#else  // !_WIN32

#include <cstdint>

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using OLECHAR = wchar_t;
using BSTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const GUID&, const GUID&) = default;
};
using CLSID = GUID;
using IID = GUID;
using REFCLSID = const CLSID&;
using REFIID = const IID&;

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case).
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT IIDFromString(LPCOLESTR text, IID* iid);
// The braced upper-case text form of a GUID.
std::wstring guidText(const GUID& guid);

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B,
                                {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IErrorInfo : IUnknown {
    virtual HRESULT GetDescription(BSTR* description) = 0;

protected:
    ~IErrorInfo() = default;
};

// Wide strings. A BSTR carries its length before the characters and a terminating
// zero after them; SysFreeString(nullptr) does nothing.
BSTR SysAllocString(LPCOLESTR text);
BSTR SysAllocStringLen(LPCOLESTR text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

// Apartments: every successful CoInitializeEx (S_OK for the first on a thread, S_FALSE
// for later ones) must be matched by one CoUninitialize on the same thread.
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();
// Number of outstanding initialisations on the calling thread.
int comApartmentCount();

// Creates an object of a registered class. Fails with CO_E_NOTINITIALIZED outside an
// apartment and with REGDB_E_CLASSNOTREG (setting a description in the thread's error
// object) when no factory is registered under the class id.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);

// The thread's error object. SetErrorInfo replaces it (nullptr clears it); GetErrorInfo
// hands it over and clears it, returning S_FALSE and nullptr when there is none.
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);

// The calling convention of COM methods, empty outside Windows.
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

#endif  // _WIN32

// The in-process class registry. A factory answers the interface request as
// QueryInterface would (it returns an AddRef'ed pointer). Registering a class id again
// replaces the earlier factory. On Windows only CLSID_RequestProcessor2 is looked up
// here, before the system's registration, and the registered object must implement
// IRequestProcessor2 itself.
using ComClassFactory = std::function<HRESULT(REFIID riid, void** object)>;
void comRegisterClass(REFCLSID clsid, ComClassFactory factory);
void comRevokeClass(REFCLSID clsid);
// The factory registered for the class id; empty when there is none.
ComClassFactory comRegisteredFactory(REFCLSID clsid);

// Sets the thread's error object to a new one with the given description; what a
// processor does (through CreateErrorInfo on Windows) before it returns a failure.
void comSetErrorDescription(std::wstring_view description);

// Reference-counting base for the COM objects the system implements itself (single
// apartment: the count is not atomic).
template <class Interface>
class CComObjectBase : public Interface {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~CComObjectBase() = default;

private:
    ULONG refs = 1;
};
