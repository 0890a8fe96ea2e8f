// QuickBooks' request processor reached by late binding. CoCreateInstance for
// CLSID_RequestProcessor2 creates QuickBooks' object through the system's COM runtime,
// asks it for IDispatch, and wraps it in CDispatchRequestProcessor, which implements the
// project's IRequestProcessor2 by calling each operation by name. No SDK header or type
// library is needed; QuickBooks' own type information coerces the arguments.
//
// A processor the process registered itself (comRegisterClass: the tests' scripted one)
// is created before the system is asked; it implements IRequestProcessor2 itself.
#include "qbxmlrp.h"

#include <new>
#include <string>

namespace {

constexpr wchar_t kDispatchFailure[] = L"The QuickBooks request processor could not be called: ";

// Takes over a VARIANT result as a BSTR (converted when the processor answered with
// another type); *out is null on failure.
HRESULT takeString(VARIANT& result, BSTR* out) {
    if (result.vt != VT_BSTR) {
        const HRESULT hr = VariantChangeType(&result, &result, 0, VT_BSTR);
        if (FAILED(hr)) {
            VariantClear(&result);
            return hr;
        }
    }
    *out = result.bstrVal;
    result.vt = VT_EMPTY;  // the string now belongs to the caller
    return S_OK;
}

// Turns a failed Invoke into what the early-bound call would have left: the processor's
// own result code and its description in the thread's error object.
HRESULT invokeFailure(HRESULT hr, EXCEPINFO& info, const wchar_t* name) {
    if (hr != DISP_E_EXCEPTION) {
        comSetErrorDescription(std::wstring(kDispatchFailure) + name);
        return hr;
    }
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    HRESULT code = info.scode;
    if (SUCCEEDED(code)) {
        // A processor that reports wCode instead of scode: the range COM reserves for
        // interface-specific codes.
        code = info.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, info.wCode)
                               : E_FAIL;
    }
    if (info.bstrDescription != nullptr) {
        comSetErrorDescription(
            std::wstring_view(info.bstrDescription, SysStringLen(info.bstrDescription)));
    } else {
        // Whatever error object the thread still holds belongs to an earlier failure.
        SetErrorInfo(0, nullptr);
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return code;
}

class CDispatchRequestProcessor final : public CComObjectBase<IRequestProcessor2> {
public:
    // Takes over the caller's reference.
    explicit CDispatchRequestProcessor(IDispatch* processor) : target(processor) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IRequestProcessor2) {
            AddRef();
            *object = static_cast<IRequestProcessor2*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT OpenConnection(BSTR appID, BSTR appName) override {
        VARIANTARG args[] = {text(appID), text(appName)};
        return call(L"OpenConnection", args, 2, nullptr);
    }
    HRESULT BeginSession(BSTR qbFileName, QBFileMode reqFileMode, BSTR* ticket) override {
        VARIANTARG mode;
        VariantInit(&mode);
        mode.vt = VT_I4;
        mode.lVal = static_cast<LONG>(reqFileMode);
        VARIANTARG args[] = {text(qbFileName), mode};
        return call(L"BeginSession", args, 2, ticket);
    }
    HRESULT EndSession(BSTR ticket) override {
        VARIANTARG args[] = {text(ticket)};
        return call(L"EndSession", args, 1, nullptr);
    }
    HRESULT CloseConnection() override { return call(L"CloseConnection", nullptr, 0, nullptr); }
    HRESULT ProcessRequest(BSTR ticket, BSTR inputRequest, BSTR* outputResponse) override {
        VARIANTARG args[] = {text(ticket), text(inputRequest)};
        return call(L"ProcessRequest", args, 2, outputResponse);
    }
    HRESULT GetCurrentCompanyFileName(BSTR ticket, BSTR* fileName) override {
        VARIANTARG args[] = {text(ticket)};
        return call(L"GetCurrentCompanyFileName", args, 1, fileName);
    }

protected:
    ~CDispatchRequestProcessor() override { target->Release(); }

private:
    // The caller's string, borrowed for the call: Invoke never frees [in] arguments.
    static VARIANTARG text(BSTR value) {
        VARIANTARG arg;
        VariantInit(&arg);
        arg.vt = VT_BSTR;
        arg.bstrVal = value;
        return arg;
    }

    // Calls the operation with the arguments in declaration order; a string result goes
    // to *out (which must then not be null).
    HRESULT call(const wchar_t* name, VARIANTARG* args, UINT count, BSTR* out) {
        if (out != nullptr) *out = nullptr;
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) {
            comSetErrorDescription(std::wstring(kDispatchFailure) + name);
            return hr;
        }
        // IDispatch takes the arguments last to first.
        VARIANTARG reversed[2];
        for (UINT i = 0; i < count; ++i) reversed[i] = args[count - 1 - i];
        DISPPARAMS params = {count > 0 ? reversed : nullptr, nullptr, count, 0};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO info = {};
        UINT badArgument = 0;
        hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                            &result, &info, &badArgument);
        if (FAILED(hr)) {
            VariantClear(&result);
            return invokeFailure(hr, info, name);
        }
        if (out == nullptr) {
            VariantClear(&result);
            return hr;
        }
        const HRESULT taken = takeString(result, out);
        if (FAILED(taken)) comSetErrorDescription(std::wstring(kDispatchFailure) + name);
        return FAILED(taken) ? taken : hr;
    }

    IDispatch* target;
};

// The system's words for the codes creation fails with most, for a system without a
// message text for them (Wine has none).
const wchar_t* knownCodeText(HRESULT hr) {
    switch (hr) {
        case REGDB_E_CLASSNOTREG: return L"Class not registered";
        case CO_E_NOTINITIALIZED: return L"CoInitialize has not been called.";
        default: return L"";
    }
}

// COM's creation sets no error object; the system's text for the code ("Class not
// registered" when QuickBooks is not installed) stands in for one.
void describeSystemCode(HRESULT hr) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring_view description(text != nullptr ? text : L"", length);
    while (!description.empty() &&
           (description.back() == L'\n' || description.back() == L'\r' || description.back() == L' ')) {
        description.remove_suffix(1);
    }
    if (description.empty()) description = knownCodeText(hr);
    if (description.empty()) {
        SetErrorInfo(0, nullptr);
    } else {
        comSetErrorDescription(description);
    }
    LocalFree(text);
}

}  // namespace

HRESULT CoCreateInstance(const CRequestProcessorClassId& clsid, IUnknown* outer,
                         DWORD context, REFIID riid, void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    const CLSID& id = clsid;
    if (const ComClassFactory factory = comRegisteredFactory(id)) {
        // As the system's creation, only inside an apartment.
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        const HRESULT hr = CoGetApartmentType(&type, &qualifier);
        if (FAILED(hr)) return hr;
        return factory(riid, object);
    }
    if (riid != IID_IRequestProcessor2) {
        const HRESULT hr = ::CoCreateInstance(id, outer, context, riid, object);
        if (FAILED(hr)) describeSystemCode(hr);
        return hr;
    }
    IDispatch* dispatch = nullptr;
    const HRESULT hr = ::CoCreateInstance(id, outer, context, IID_IDispatch,
                                          reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) {
        describeSystemCode(hr);
        return hr;
    }
    if (dispatch == nullptr) return E_POINTER;
    // The adapter is created with one reference, the caller's.
    IRequestProcessor2* adapter = new (std::nothrow) CDispatchRequestProcessor(dispatch);
    if (adapter == nullptr) {
        dispatch->Release();
        return E_OUTOFMEMORY;
    }
    *object = adapter;
    return S_OK;
}
