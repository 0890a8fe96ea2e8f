// The shim's own helpers over the system's COM runtime: setting the thread's error
// object from a description, and the text form of a GUID.
#include "comshim.h"

#include <iterator>
#include <string>

void comSetErrorDescription(std::wstring_view description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || create == nullptr) {
        SetErrorInfo(0, nullptr);
        return;
    }
    // SetDescription takes a writable, zero-terminated string and copies it.
    std::wstring text(description);
    create->SetDescription(text.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) &&
        info != nullptr) {
        SetErrorInfo(0, info);
        info->Release();
    } else {
        // An older error object must not be taken for this failure's.
        SetErrorInfo(0, nullptr);
    }
    create->Release();
}

std::wstring guidText(const GUID& guid) {
    wchar_t buffer[40] = {};
    const int length = StringFromGUID2(guid, buffer, static_cast<int>(std::size(buffer)));
    // StringFromGUID2 counts the terminating zero.
    return length > 0 ? std::wstring(buffer, static_cast<std::size_t>(length - 1))
                      : std::wstring();
}
