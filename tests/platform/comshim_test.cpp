#include "comshim.h"

#include <gtest/gtest.h>

#include "qbxmlrp.h"
#include "widestring.h"

namespace {

std::string takeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return "<none>";
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    std::string result = wideToNarrow(std::wstring(text, SysStringLen(text)));
    SysFreeString(text);
    return result;
}

class CCounter final : public CComObjectBase<IUnknown> {
public:
    explicit CCounter(int* alive) : alive(alive) { ++*alive; }
    ~CCounter() override { --*alive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        AddRef();
        *object = this;
        return S_OK;
    }

private:
    int* alive;
};

struct Apartment {
    Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Apartment() { CoUninitialize(); }
};

// The system's COM runtime on Windows counts alike; only the shim can be asked for the
// count, and only the shim takes one CoUninitialize too many.
TEST(ComShim, ApartmentsAreCountedPerThread) {
#ifndef _WIN32
    EXPECT_EQ(comApartmentCount(), 0);
#endif
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
#ifndef _WIN32
    EXPECT_EQ(comApartmentCount(), 2);
#endif
    CoUninitialize();
    CoUninitialize();
#ifndef _WIN32
    CoUninitialize();  // one too many does no harm
    EXPECT_EQ(comApartmentCount(), 0);
#endif
}

TEST(ComShim, CreatingAnUnregisteredClassFailsWithADescription) {
    Apartment apartment;
    void* object = reinterpret_cast<void*>(1);
    const HRESULT hr = CoCreateInstance(CLSID_RequestProcessor2, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IRequestProcessor2, &object);
#ifdef _WIN32
    if (SUCCEEDED(hr)) {
        static_cast<IUnknown*>(object)->Release();
        GTEST_SKIP() << "QuickBooks' request processor is installed on this machine";
    }
#endif
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(takeErrorDescription(), "Class not registered");
    EXPECT_EQ(takeErrorDescription(), "<none>");  // GetErrorInfo clears it
}

TEST(ComShim, CreatingOutsideAnApartmentFails) {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_RequestProcessor2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
}

TEST(ComShim, RegisteredFactoryCreatesAndRevokeRemoves) {
    Apartment apartment;
    int alive = 0;
    // On Windows the registry answers for the request processor's class id alone.
#ifdef _WIN32
    const auto& clsid = CLSID_RequestProcessor2;
#else
    const CLSID clsid = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
#endif
    comRegisterClass(clsid, [&alive](REFIID, void** object) {
        *object = static_cast<IUnknown*>(new CCounter(&alive));
        return S_OK;
    });
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), S_OK);
    EXPECT_EQ(alive, 1);
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(alive, 0);
    comRevokeClass(clsid);
#ifdef _WIN32
    // The system answers now, with QuickBooks' processor where it is installed.
    if (SUCCEEDED(CoCreateInstance(CLSID_RequestProcessor2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IUnknown, &object))) {
        static_cast<IUnknown*>(object)->Release();
    }
    EXPECT_EQ(alive, 0);
#else
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
#endif
}

TEST(ComShim, GuidTextRoundTripsAndRejectsMalformedText) {
    CLSID parsed;
    ASSERT_EQ(CLSIDFromString(L"{45f5708e-3b43-4fa8-be7e-a5f1849214cb}", &parsed), S_OK);
    EXPECT_EQ(parsed, CLSID_RequestProcessor2);
    EXPECT_EQ(guidText(CLSID_RequestProcessor2), L"{45F5708E-3B43-4FA8-BE7E-A5F1849214CB}");
    for (const wchar_t* bad : {L"", L"45F5708E-3B43-4FA8-BE7E-A5F1849214CB",
                               L"{45F5708E-3B43-4FA8-BE7E-A5F1849214CG}",
                               L"{45F5708E+3B43-4FA8-BE7E-A5F1849214CB}"}) {
#ifdef _WIN32
        EXPECT_EQ(CLSIDFromString(bad, &parsed), CO_E_CLASSSTRING) << wideToNarrow(bad);
#else
        EXPECT_EQ(CLSIDFromString(bad, &parsed), E_INVALIDARG) << wideToNarrow(bad);
#endif
    }
}

TEST(ComShim, WideStringsCarryTheirLength) {
    BSTR text = SysAllocStringLen(L"ab\0cd", 5);
    EXPECT_EQ(SysStringLen(text), 5u);
    EXPECT_EQ(text[5], L'\0');
    SysFreeString(text);
    BSTR empty = SysAllocString(L"");
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(WideString, Utf8RoundTripAndInvalidBytes) {
    const std::string cafe = "Caf\xC3\xA9 Cr\xC3\xA8me \xE2\x82\xAC \xF0\x9F\x93\xA6";
    EXPECT_EQ(wideToNarrow(narrowToWide(cafe)), cafe);
    // 14 characters; the last, beyond U+FFFF, is a surrogate pair in UTF-16 (Windows).
    EXPECT_EQ(narrowToWide(cafe).size(), sizeof(wchar_t) == 2 ? 15u : 14u);
    // A stray continuation byte, a truncated sequence and an overlong '/' each become U+FFFD.
    EXPECT_EQ(narrowToWide("a\x80" "b"), L"a\uFFFDb");
    EXPECT_EQ(narrowToWide("a\xE2\x82"), L"a\uFFFD\uFFFD");
    EXPECT_EQ(narrowToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
}

}  // namespace
