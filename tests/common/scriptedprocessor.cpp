#include "scriptedprocessor.h"

#include <cctype>

#include "widestring.h"

namespace {

class CScriptedProcessor final : public CComObjectBase<IRequestProcessor2> {
public:
    explicit CScriptedProcessor(CScript& script) : script(script) { ++script.alive; }
    ~CScriptedProcessor() override { --script.alive; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
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
        std::string answer = script.perRequest ? answerEach(script.requests.back()) : script.defaultResponse;
        if (!script.perRequest && !script.responses.empty()) {
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
    // The response element inside a response document.
    static std::string responseElement(const std::string& document) {
        const std::size_t set = document.find("<QBXMLMsgsRs>");
        const std::size_t end = document.rfind("</QBXMLMsgsRs>");
        if (set == std::string::npos || end == std::string::npos) return std::string();
        const std::size_t from = document.find('<', set + 1);
        std::size_t to = end;
        while (to > from && std::isspace(static_cast<unsigned char>(document[to - 1]))) --to;
        return document.substr(from, to - from);
    }

    std::string answerEach(const std::string& document) {
        std::string body;
        for (const std::string& request : requestElements(document)) {
            const std::string name = request.substr(1, request.find_first_of(" />", 1) - 1);
            const std::string rs = name.substr(0, name.size() - 2) + "Rs";
            std::string element;
            if (!script.responses.empty()) {
                element = responseElement(script.responses.front());
                script.responses.pop_front();
            } else if (script.defaultResponse.find("<" + rs + " ") != std::string::npos) {
                element = responseElement(script.defaultResponse);
            } else {
                element = "<" + rs + " statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\" />";
            }
            body += element;
            if (element.find("statusSeverity=\"Error\"") != std::string::npos) break;
        }
        return responseDocument(body);
    }

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

std::vector<std::string> requestElements(const std::string& document) {
    std::vector<std::string> elements;
    const std::size_t set = document.find("<QBXMLMsgsRq");
    const std::size_t end = document.rfind("</QBXMLMsgsRq>");
    if (set == std::string::npos || end == std::string::npos) return elements;
    std::size_t at = document.find('>', set) + 1;
    while (at < end) {
        at = document.find('<', at);
        if (at == std::string::npos || at >= end) break;
        const std::size_t nameEnd = document.find_first_of(" />", at + 1);
        const std::string name = document.substr(at + 1, nameEnd - at - 1);
        const std::size_t close = document.find("</" + name + ">", at);
        const std::size_t stop = close == std::string::npos ? end : close + name.size() + 3;
        elements.push_back(document.substr(at, stop - at));
        at = stop;
    }
    return elements;
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
