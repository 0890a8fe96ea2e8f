// The COM runtime stand-in. Apartments and error objects are thread-local; the class
// registry is process-wide, filled by factories before the first CoCreateInstance.
#include "comshim.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <new>

namespace {

// Bytes before a BSTR's characters: its length, padded to keep the characters aligned.
constexpr std::size_t kBstrHeader = alignof(std::max_align_t);
static_assert(kBstrHeader >= sizeof(UINT));

thread_local int apartmentCount = 0;
thread_local IErrorInfo* threadError = nullptr;

int hexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool readHex(const wchar_t* text, int digits, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = hexValue(text[i]);
        if (v < 0) return false;
        value = (value << 4) | static_cast<std::uint64_t>(v);
    }
    return true;
}

class CErrorInfo final : public CComObjectBase<IErrorInfo> {
public:
    explicit CErrorInfo(std::wstring_view text) : description(text) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            AddRef();
            *object = static_cast<IErrorInfo*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT GetDescription(BSTR* out) override {
        if (out == nullptr) return E_POINTER;
        *out = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::wstring description;
};

}  // namespace

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (text == nullptr || clsid == nullptr) return E_INVALIDARG;
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters.
    if (std::wcslen(text) != 38 || text[0] != L'{' || text[9] != L'-' || text[14] != L'-' ||
        text[19] != L'-' || text[24] != L'-' || text[37] != L'}') {
        return E_INVALIDARG;
    }
    std::uint64_t v = 0;
    GUID g;
    if (!readHex(text + 1, 8, v)) return E_INVALIDARG;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!readHex(text + 10, 4, v)) return E_INVALIDARG;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!readHex(text + 15, 4, v)) return E_INVALIDARG;
    g.Data3 = static_cast<std::uint16_t>(v);
    const int positions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(text + positions[i], 2, v)) return E_INVALIDARG;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    *clsid = g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) { return CLSIDFromString(text, iid); }

std::wstring guidText(const GUID& g) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return std::wstring(buffer, buffer + std::strlen(buffer));
}

BSTR SysAllocString(LPCOLESTR text) {
    if (text == nullptr) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

BSTR SysAllocStringLen(LPCOLESTR text, UINT length) {
    // Layout: [UINT length][padding to wchar_t alignment][characters][0].
    constexpr std::size_t header = kBstrHeader;
    auto* block =
        static_cast<unsigned char*>(::operator new(header + (length + 1) * sizeof(OLECHAR),
                                                   std::nothrow));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &length, sizeof length);
    auto* chars = reinterpret_cast<OLECHAR*>(block + header);
    if (text != nullptr) {
        std::wmemcpy(chars, text, length);
    } else {
        std::wmemset(chars, 0, length);
    }
    chars[length] = 0;
    return chars;
}

void SysFreeString(BSTR text) {
    if (text == nullptr) return;
    ::operator delete(reinterpret_cast<unsigned char*>(text) - kBstrHeader);
}

UINT SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    UINT length = 0;
    std::memcpy(&length, reinterpret_cast<unsigned char*>(text) - kBstrHeader,
                sizeof length);
    return length;
}

HRESULT CoInitializeEx(void*, DWORD) { return apartmentCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (apartmentCount == 0) return;
    if (--apartmentCount == 0) SetErrorInfo(0, nullptr);
}

int comApartmentCount() { return apartmentCount; }

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return static_cast<HRESULT>(0x80040110u);  // CLASS_E_NOAGGREGATION
    if (apartmentCount == 0) return CO_E_NOTINITIALIZED;
    const ComClassFactory factory = comRegisteredFactory(clsid);
    if (!factory) {
        comSetErrorDescription(L"Class not registered");
        return REGDB_E_CLASSNOTREG;
    }
    return factory(riid, object);
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* info) {
    if (info != nullptr) info->AddRef();
    if (threadError != nullptr) threadError->Release();
    threadError = info;
    return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = threadError;
    threadError = nullptr;
    return *info ? S_OK : S_FALSE;
}

void comSetErrorDescription(std::wstring_view description) {
    auto* info = new CErrorInfo(description);
    SetErrorInfo(0, info);
    info->Release();
}
