// The in-process COM server of the forwarding processor: its class factory, the four
// exported entry points, and the registry entries QuickBooks' installer would write for
// its request processor (class id, InprocServer32 with the apartment threading model,
// and the version-independent and versioned ProgIDs).
#include "forwardingprocessor.h"

#include <olectl.h>

#include <new>
#include <string>

namespace {

// {45F5708E-3B43-4FA8-BE7E-A5F1849214CB}
constexpr CLSID kProcessorClass = {
    0x45F5708E, 0x3B43, 0x4FA8, {0xBE, 0x7E, 0xA5, 0xF1, 0x84, 0x92, 0x14, 0xCB}};
constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{45F5708E-3B43-4FA8-BE7E-A5F1849214CB}";
constexpr wchar_t kClassText[] = L"{45F5708E-3B43-4FA8-BE7E-A5F1849214CB}";
constexpr wchar_t kProgId[] = L"QBXMLRP2.RequestProcessor";
constexpr wchar_t kVersionedProgId[] = L"QBXMLRP2.RequestProcessor.1";
constexpr wchar_t kDescription[] = L"qbXMLRP2 Request Processor (forwarding to qbsim serve)";

HMODULE module = nullptr;
LONG serverLocks = 0;

class CFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory: its references keep the module loaded like a lock.
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&serverLocks)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&serverLocks)); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* processor = new (std::nothrow) CForwardingProcessor();
        if (processor == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = processor->QueryInterface(riid, object);
        processor->Release();  // the caller's reference, if any, is the one left
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&serverLocks);
        else InterlockedDecrement(&serverLocks);
        return S_OK;
    }
};

CFactory factory;

LONG setValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY opened = nullptr;
    LONG status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                  nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return status;
}

LONG registerUnder(HKEY root, const std::wstring& dllPath) {
    const std::wstring classKey = kClassKey;
    const std::wstring classes = L"Software\\Classes\\";
    const std::pair<std::wstring, std::pair<const wchar_t*, std::wstring>> values[] = {
        {classKey, {nullptr, kDescription}},
        {classKey + L"\\InprocServer32", {nullptr, dllPath}},
        {classKey + L"\\InprocServer32", {L"ThreadingModel", L"Apartment"}},
        {classKey + L"\\ProgID", {nullptr, kVersionedProgId}},
        {classKey + L"\\VersionIndependentProgID", {nullptr, kProgId}},
        {classes + kProgId, {nullptr, kDescription}},
        {classes + kProgId + L"\\CLSID", {nullptr, kClassText}},
        {classes + kProgId + L"\\CurVer", {nullptr, kVersionedProgId}},
        {classes + kVersionedProgId, {nullptr, kDescription}},
        {classes + kVersionedProgId + L"\\CLSID", {nullptr, kClassText}},
    };
    for (const auto& [key, value] : values) {
        const LONG status = setValue(root, key, value.first, value.second);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

void unregisterUnder(HKEY root) {
    const std::wstring classes = L"Software\\Classes\\";
    RegDeleteTreeW(root, kClassKey);
    RegDeleteTreeW(root, (classes + kProgId).c_str());
    RegDeleteTreeW(root, (classes + kVersionedProgId).c_str());
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != kProcessorClass) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return comServerObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

// Machine-wide when the registry lets us, else for the current user (what COM reads
// first anyway); either makes CoCreateInstance find the processor by its class id.
HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
    if (registerUnder(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS) return S_OK;
    return registerUnder(HKEY_CURRENT_USER, path) == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    unregisterUnder(HKEY_LOCAL_MACHINE);
    unregisterUnder(HKEY_CURRENT_USER);
    return S_OK;
}

}  // extern "C"
