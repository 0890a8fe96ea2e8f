// The request-processor session: COM creation, the six processor calls, the envelope
// and the version choice. Wide strings are owned by small guards so that no path, a
// thrown exception included, leaks one.
#include "qbsession.h"

#include <cstdio>

#include "qbbitness.h"
#include "qbexception.h"
#include "qbtimings.h"
#include "qbutils.h"
#include "widestring.h"

namespace {

// Owns one BSTR.
class CBstr {
public:
    CBstr() = default;
    explicit CBstr(std::string_view narrow) {
        const std::wstring wide = narrowToWide(narrow);
        text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    explicit CBstr(const std::wstring& wide)
        : text(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()))) {}
    ~CBstr() { SysFreeString(text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR get() const { return text; }
    BSTR* out() {
        SysFreeString(text);
        text = nullptr;
        return &text;
    }
    std::wstring wide() const { return std::wstring(text ? text : L"", SysStringLen(text)); }
    std::string narrow() const { return wideToNarrow(wide()); }

private:
    BSTR text = nullptr;
};

// The RPC failures of a server process that is no longer there: the server is
// unavailable, the call failed on its way, the object disconnected from its clients.
bool serverWentAway(HRESULT code) {
    switch (static_cast<unsigned>(code)) {
    case 0x800706BAu:  // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEu:  // RPC_S_CALL_FAILED
    case 0x800706BFu:  // RPC_S_CALL_FAILED_DNE
    case 0x80010108u:  // RPC_E_DISCONNECTED
    case 0x80010114u:  // RPC_E_SERVER_DIED_DNE
    case 0x80010007u:  // RPC_E_SERVER_DIED
        return true;
    default:
        return false;
    }
}

std::string hresultText(HRESULT code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned>(code));
    return buffer;
}

}  // namespace

CQbXml::CQbXml(std::string file, std::string name, std::string id,
               const std::optional<std::string>& eventLogFolder)
    : CQbRequestBase(std::move(name), std::move(id), eventLogFolder),
      companyFile(std::move(file)) {}

CQbXml::~CQbXml() {
    if (processor != nullptr) disconnect();
}

bool CQbXml::isConnected() { return processor != nullptr || reopens; }

void CQbXml::connect() { open(true); }

void CQbXml::open(bool singleUser) {
    if (processor != nullptr) return;
    CBstr file(companyFile);
    CBstr name(appName);
    CBstr id(appId);

    void* created = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_RequestProcessor2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IRequestProcessor2, &created);
    processor = static_cast<IRequestProcessor2*>(created);
    if (SUCCEEDED(hr) && processor == nullptr) hr = E_POINTER;
    bool connectionOpen = false;
    if (SUCCEEDED(hr)) {
        hr = processor->OpenConnection(id.get(), name.get());
        connectionOpen = SUCCEEDED(hr);
    }
    if (SUCCEEDED(hr)) {
        CBstr newTicket;
        hr = processor->BeginSession(
            file.get(), singleUser ? qbFileOpenSingleUser : qbFileOpenDoNotCare, newTicket.out());
        if (SUCCEEDED(hr)) ticket = newTicket.wide();
    }
    if (SUCCEEDED(hr)) {
        CBstr ticketText(ticket);
        CBstr fileName;
        if (FAILED(processor->GetCurrentCompanyFileName(ticketText.get(), fileName.out()))) {
            // This failure has a text of its own: the processor's error object is
            // dropped, or a later failure without one would show its description (the
            // system's COM runtime keeps it past the end of the apartment).
            SetErrorInfo(0, nullptr);
            disconnect();
            throw CQbException("could not get the data file name");
        }
    }
    lastHresult = hr;
    if (FAILED(hr)) {
        // The description is read before any further call can replace it. A processor
        // that was created is closed and released: a failed open leaves no session.
        // A processor that could not be created for want of a class of this program's
        // bitness gets the words that say what to install.
        const std::string text = processor == nullptr && isProcessorNotRegistered(hr)
                                     ? processorNotInstalledText(programBits())
                                     : errorText(hr);
        if (processor != nullptr) {
            if (connectionOpen) processor->CloseConnection();
            processor->Release();
            processor = nullptr;
        }
        throw CQbException(text);
    }

    // The versions are asked for in the oldest envelope every QuickBooks reads. An
    // answer that is lost or is not a success fails the open like a failed call above:
    // without it no request can be written in a version QuickBooks is known to read.
    qbxmlVersion = "2.0";
    supportedVersions.clear();
    productName.clear();
    try {
        response = sendBody("<HostQueryRq></HostQueryRq>");
        if (!succeeded(*response)) throw CQbException(refusalText(*response, "HostQueryRq"));
    } catch (const CQbException&) {
        disconnect();
        throw;
    }
    for (CQbDomReader::Node* node : response->findElements("SupportedQBXMLVersion")) {
        const std::string version = CQbDomReader::elementText(node);
        supportedVersions.push_back(version);
        if (readDecimal(qbxmlVersion) < readDecimal(version)) qbxmlVersion = version;
    }
    productName = CQbDomReader::elementText(response->findElement("ProductName"));
}

void CQbXml::disconnect() {
    if (processor == nullptr) return;
    CBstr ticketText(ticket);
    if (!serverGone && SUCCEEDED(processor->EndSession(ticketText.get()))) processor->CloseConnection();
    processor->Release();
    processor = nullptr;
    serverGone = false;
    ticket.clear();
}

void CQbXml::release() {
    disconnect();
    reopens = true;
}

std::string CQbXml::sendXml(const std::string& request) {
    lastRequest = request;
    CBstr requestText(request);
    // A released session is opened again and held until the next release.
    if (processor == nullptr && reopens) open(true);
    const bool wasConnected = isConnected();
    if (!wasConnected) connect();
    {
        CQbTimer timer(qbTimings().eventLogSeconds);
        eventLog->write(request);
    }

    CBstr ticketText(ticket);
    CBstr answer;
    HRESULT hr;
    {
        CQbTimer timer(qbTimings().processorSeconds);
        ++qbTimings().requests;
        hr = processor->ProcessRequest(ticketText.get(), requestText.get(), answer.out());
    }
    if (FAILED(hr)) {
        // Read the error description before disconnecting: the processor's later
        // calls may replace the thread's error object.
        const std::string text = "Failure in sending XML : " + errorText(hr);
        serverGone = serverGone || serverWentAway(hr);
        if (!wasConnected) disconnect();
        logError(text);
        throw CQbException(text);
    }
    std::string result = answer.narrow();
    if (!wasConnected) disconnect();
    CQbTimer timer(qbTimings().eventLogSeconds);
    eventLog->write(result);
    return result;
}

std::string CQbXml::errorText(HRESULT code) {
    if (SUCCEEDED(code)) return std::string();
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || info == nullptr) {
        return "Error = " + hresultText(code) + "\n";
    }
    CBstr description;
    const HRESULT got = info->GetDescription(description.out());
    info->Release();
    if (FAILED(got)) return "Error = " + hresultText(code) + ", error getting error text.\n";
    return "Error = " + hresultText(code) + ", " + description.narrow() + "\n";
}

std::string CQbXml::envelopeHead() {
    return "<?xml version=\"1.0\"?><?qbxml version=\"" + qbxmlVersion +
           "\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">";
}

std::string CQbXml::envelopeTail() { return "</QBXMLMsgsRq></QBXML>"; }
