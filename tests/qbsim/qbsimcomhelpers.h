// COM helpers for the processor tests: the thread's error description and an owning BSTR.
#pragma once

#include "qbxmlrp.h"
#include "widestring.h"

#include <string>

inline std::string errorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::string result = text ? wideToNarrow(text) : "";
    SysFreeString(text);
    info->Release();
    return result;
}

class CBstr {
public:
    explicit CBstr(const std::string& text) : value(SysAllocString(narrowToWide(text).c_str())) {}
    CBstr() = default;
    ~CBstr() { SysFreeString(value); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR* out() { return &value; }
    operator BSTR() const { return value; }
    std::string text() const { return value ? wideToNarrow(value) : ""; }

private:
    BSTR value = nullptr;
};
