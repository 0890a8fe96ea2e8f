// IRequestProcessor2 over the stand-in's company files: connection and session
// bookkeeping, COM error objects with QuickBooks' descriptions, and the factory that
// registers the stand-in in the COM shim.
#include "qbsimprocessor.h"

#include "qbsimengine.h"
#include "widestring.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>

const char* const kQbSimParseDescription =
    "QuickBooks found an error when parsing the provided XML text stream.";

namespace {

std::optional<CQbSimFaults>& configuredFaults() {
    static std::optional<CQbSimFaults> faults;
    return faults;
}

// What a new processor injects. A variable that cannot be read gives the reason,
// which BeginSession then reports.
CQbSimFaults currentFaults(std::string& problem) {
    try {
        return qbsimCurrentFaults();
    } catch (const std::invalid_argument& e) {
        problem = std::string("QBSIM_FAULTS: ") + e.what();
        return {};
    }
}

struct CSession {
    std::unique_ptr<CQbSimCompany> company;
    std::unique_ptr<CQbSimEngine> engine;
};

HRESULT fail(HRESULT code, const std::string& description) {
    comSetErrorDescription(narrowToWide(description));
    return code;
}

class CQbSimProcessor final : public CComObjectBase<IRequestProcessor2> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IRequestProcessor2) {
            *object = static_cast<IRequestProcessor2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    CQbSimProcessor() { faults = currentFaults(faultProblem); }

    HRESULT OpenConnection(BSTR, BSTR) override {
        connected = true;
        return S_OK;
    }

    HRESULT BeginSession(BSTR fileName, QBFileMode mode, BSTR* ticket) override {
        if (!ticket) return E_POINTER;
        *ticket = nullptr;
        if (!connected)
            return fail(QBSIM_E_NOT_CONNECTED, "OpenConnection has not been called.");
        if (!faultProblem.empty()) return fail(E_INVALIDARG, faultProblem);
        const std::string path = fileName ? wideToNarrow(std::wstring_view(fileName, SysStringLen(fileName))) : "";
        if (path.empty())
            return fail(static_cast<HRESULT>(0x80040416u),
                        "If QuickBooks is not running, a company file name must be supplied to "
                        "BeginSession.");
        for (const auto& [t, s] : sessions)
            if (s.company->path() != path)
                return fail(QBSIM_E_OTHER_FILE_OPEN,
                            "A QuickBooks company data file is already open and it is different "
                            "from the one requested.");
        CSession session;
        try {
            session.company = CQbSimCompany::open(path);
        } catch (const CQbSimCompanyError& e) {
            return fail(e.kind == CQbSimCompanyError::NotFound ? QBSIM_E_FILE_NOT_FOUND
                                                               : QBSIM_E_COULD_NOT_ACCESS,
                        e.what());
        }
        const bool markedMultiUser = session.company->openInMultiUser();
        if (mode == qbFileOpenSingleUser && markedMultiUser)
            return fail(QBSIM_E_MODE,
                        "The QuickBooks company data file is currently open in a mode other than "
                        "the one specified by your application.");
        std::shared_ptr<const CQbSimSchema> schema;
        if (const std::string schemaPath = qbsimSchemaPath(); !schemaPath.empty()) {
            try {
                schema = CQbSimSchema::load(schemaPath);
            } catch (const std::exception& e) {
                return fail(E_FAIL, e.what());
            }
        }
        session.engine = std::make_unique<CQbSimEngine>(
            *session.company, schema, mode == qbFileOpenMultiUser || markedMultiUser);
        if (!faults.statusRequest.empty() && faults.statusAt > 0) {
            session.engine->setRequestHook([this](const std::string& name) -> std::optional<CQbSimStatus> {
                if (name != faults.statusRequest || ++statusSeen != faults.statusAt) return std::nullopt;
                const int code = faults.statusCode;
                return CQbSimStatus(code, code >= 1000 ? "Error" : code >= 500 ? "Warn" : "Info",
                                    faults.statusMessage);
            });
        }
        const std::wstring id = narrowToWide(newTicket());
        *ticket = SysAllocString(id.c_str());
        sessions.emplace(id, std::move(session));
        return S_OK;
    }

    HRESULT EndSession(BSTR ticket) override {
        auto it = find(ticket);
        if (it == sessions.end()) return fail(QBSIM_E_BAD_TICKET, "The ticket parameter is invalid.");
        sessions.erase(it);
        return S_OK;
    }

    HRESULT CloseConnection() override {
        sessions.clear();
        connected = false;
        return S_OK;
    }

    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        if (!response) return E_POINTER;
        *response = nullptr;
        auto it = find(ticket);
        if (it == sessions.end()) return fail(QBSIM_E_BAD_TICKET, "The ticket parameter is invalid.");
        if (faults.latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(faults.latencyMs));
        ++requestsSeen;
        if (requestsSeen == faults.failAt || (faults.failAfter >= 0 && requestsSeen > faults.failAfter))
            return fail(faults.failCode, faults.failDescription);
        const std::string text = request ? wideToNarrow(std::wstring_view(request, SysStringLen(request))) : "";
        try {
            const std::string answerText = it->second.engine->processRequest(text);
            if (faults.reportMicrosPerRow > 0) std::this_thread::sleep_for(qbsimReportDelay(faults, answerText));
            const std::wstring answer = narrowToWide(answerText);
            *response = SysAllocStringLen(answer.data(), static_cast<UINT>(answer.size()));
            return S_OK;
        } catch (const CQbSimParseError&) {
            return fail(QBSIM_E_PARSE, kQbSimParseDescription);
        } catch (const std::exception& e) {
            return fail(E_FAIL, e.what());
        }
    }

    HRESULT GetCurrentCompanyFileName(BSTR ticket, BSTR* fileName) override {
        if (!fileName) return E_POINTER;
        *fileName = nullptr;
        auto it = find(ticket);
        if (it == sessions.end()) return fail(QBSIM_E_BAD_TICKET, "The ticket parameter is invalid.");
        *fileName = SysAllocString(narrowToWide(it->second.company->path()).c_str());
        return S_OK;
    }

private:
    ~CQbSimProcessor() override = default;

    std::map<std::wstring, CSession>::iterator find(BSTR ticket) {
        if (!ticket) return sessions.end();
        return sessions.find(std::wstring(ticket, SysStringLen(ticket)));
    }

    static std::string newTicket() {
        thread_local std::mt19937_64 random{std::random_device{}()};
        char text[48];
        std::snprintf(text, sizeof text, "{%016llx-%016llx}",
                      static_cast<unsigned long long>(random()),
                      static_cast<unsigned long long>(random()));
        return text;
    }

    bool connected = false;
    std::map<std::wstring, CSession> sessions;
    CQbSimFaults faults;
    std::string faultProblem;
    int requestsSeen = 0;
    int statusSeen = 0;
};

}  // namespace

CQbSimFaults qbsimParseFaults(const std::string& text) {
    CQbSimFaults faults;
    auto number = [](const std::string& setting, const std::string& value) {
        if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
            throw std::invalid_argument("\"" + setting + "\" needs a whole number");
        return std::stoi(value);
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        std::string part = text.substr(start, end - start);
        start = end + 1;
        while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back()))) part.pop_back();
        while (!part.empty() && std::isspace(static_cast<unsigned char>(part.front()))) part.erase(0, 1);
        if (part.empty()) continue;
        const auto eq = part.find('=');
        const std::string key = part.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : part.substr(eq + 1);
        if (key == "fail-at") {
            faults.failAt = number(part, value);
        } else if (key == "fail-after") {
            faults.failAfter = number(part, value);
        } else if (key == "latency-ms") {
            faults.latencyMs = number(part, value);
        } else if (key == "report-us-per-row") {
            faults.reportMicrosPerRow = number(part, value);
        } else if (key == "description") {
            faults.failDescription = value;
        } else if (key == "hresult") {
            char* rest = nullptr;
            const unsigned long code = std::strtoul(value.c_str(), &rest, 16);
            if (value.empty() || *rest || code > 0xFFFFFFFFul)
                throw std::invalid_argument("\"" + part + "\" needs a hexadecimal HRESULT");
            faults.failCode = static_cast<HRESULT>(static_cast<std::uint32_t>(code));
        } else if (key == "status") {
            const auto a = value.find(':');
            const auto b = a == std::string::npos ? a : value.find(':', a + 1);
            if (a == std::string::npos || b == std::string::npos || a == 0)
                throw std::invalid_argument("\"" + part + "\" needs REQUEST:N:CODE[:MESSAGE]");
            const auto c = value.find(':', b + 1);
            faults.statusRequest = value.substr(0, a);
            faults.statusAt = number(part, value.substr(a + 1, b - a - 1));
            faults.statusCode = number(part, value.substr(b + 1, c == std::string::npos ? c : c - b - 1));
            if (c != std::string::npos) faults.statusMessage = value.substr(c + 1);
        } else {
            throw std::invalid_argument("unknown setting \"" + part + "\"");
        }
    }
    return faults;
}

void qbsimSetFaults(std::optional<CQbSimFaults> faults) { configuredFaults() = std::move(faults); }

CQbSimFaults qbsimCurrentFaults() {
    if (configuredFaults()) return *configuredFaults();
    const char* text = std::getenv("QBSIM_FAULTS");
    if (!text || !*text) return {};
    return qbsimParseFaults(text);
}

std::chrono::microseconds qbsimReportDelay(const CQbSimFaults& faults, const std::string& answer) {
    if (faults.reportMicrosPerRow <= 0) return std::chrono::microseconds(0);
    long long rows = 0;
    for (std::size_t at = answer.find(" rowNumber=\""); at != std::string::npos;
         at = answer.find(" rowNumber=\"", at + 1))
        ++rows;
    return std::chrono::microseconds(static_cast<long long>(faults.reportMicrosPerRow) * rows);
}

IRequestProcessor2* qbsimCreateProcessor() { return new CQbSimProcessor(); }

void qbsimRegister() {
    comRegisterClass(CLSID_RequestProcessor2, [](REFIID riid, void** object) -> HRESULT {
        if (!object) return E_POINTER;
        IRequestProcessor2* processor = qbsimCreateProcessor();
        const HRESULT hr = processor->QueryInterface(riid, object);
        processor->Release();
        return hr;
    });
}
