#include "scriptedprocessor.h"

#include "widestring.h"

namespace {

class CScriptedProcessor final : public CComObjectBase<IRequestProcessor2> {
public:
    explicit CScriptedProcessor(CScript& script) : script(script) { ++script.alive; }
    ~CScriptedProcessor() override { --script.alive; }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IRequestProcessor2) {
            AddRef();
            *object = static_cast<IRequestProcessor2*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT OpenConnection(BSTR, BSTR) override { return call("OpenConnection"); }
    HRESULT BeginSession(BSTR, QBFileMode mode, BSTR* ticket) override {
        const HRESULT hr = call("BeginSession", " " + std::to_string(mode));
        if (SUCCEEDED(hr)) *ticket = SysAllocString(L"ticket-1");
        return hr;
    }
    HRESULT EndSession(BSTR) override { return call("EndSession"); }
    HRESULT CloseConnection() override { return call("CloseConnection"); }
    HRESULT ProcessRequest(BSTR, BSTR request, BSTR* response) override {
        const HRESULT hr = call("ProcessRequest");
        script.requests.push_back(wideToNarrow(std::wstring(request, SysStringLen(request))));
        if (FAILED(hr)) return hr;
        std::string answer = script.defaultResponse;
        if (!script.responses.empty()) {
            answer = script.responses.front();
            script.responses.pop_front();
        }
        const std::wstring wide = narrowToWide(answer);
        *response = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return S_OK;
    }
    HRESULT GetCurrentCompanyFileName(BSTR, BSTR* name) override {
        const HRESULT hr = call("GetCurrentCompanyFileName");
        if (SUCCEEDED(hr)) *name = SysAllocString(L"company.qbw");
        return hr;
    }

private:
    HRESULT call(const std::string& name, const std::string& detail = "") {
        script.calls.push_back(name + detail);
        auto it = script.failures.find(name);
        if (it == script.failures.end()) return S_OK;
        if (!it->second.description.empty()) comSetErrorDescription(it->second.description);
        return it->second.code;
    }

    CScript& script;
};

}  // namespace

CScriptedRegistration::CScriptedRegistration(CScript& script) {
    comRegisterClass(CLSID_RequestProcessor2, [&script](REFIID riid, void** object) {
        auto* processor = new CScriptedProcessor(script);
        const HRESULT hr = processor->QueryInterface(riid, object);
        processor->Release();
        return hr;
    });
}

CScriptedRegistration::~CScriptedRegistration() { comRevokeClass(CLSID_RequestProcessor2); }

std::string responseDocument(const std::string& body) {
    return "<?xml version=\"1.0\" ?>\n<QBXML>\n<QBXMLMsgsRs>\n" + body +
           "\n</QBXMLMsgsRs>\n</QBXML>\n";
}

std::string hostResponse(const std::vector<std::string>& versions, const std::string& product) {
    std::string body = "<HostQueryRs statusCode=\"0\" statusSeverity=\"Info\" "
                       "statusMessage=\"Status OK\"><HostRet><ProductName>" +
                       product + "</ProductName>";
    for (const std::string& v : versions) {
        body += "<SupportedQBXMLVersion>" + v + "</SupportedQBXMLVersion>";
    }
    body += "</HostRet></HostQueryRs>";
    return responseDocument(body);
}
