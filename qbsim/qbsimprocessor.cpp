// IRequestProcessor2 over the stand-in's company files: connection and session
// bookkeeping, COM error objects with QuickBooks' descriptions, and the factory that
// registers the stand-in in the COM shim.
#include "qbsimprocessor.h"

#include "qbsimengine.h"
#include "widestring.h"

#include <map>
#include <memory>
#include <random>

const char* const kQbSimParseDescription =
    "QuickBooks found an error when parsing the provided XML text stream.";

namespace {

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
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IRequestProcessor2) {
            *object = static_cast<IRequestProcessor2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT OpenConnection(BSTR, BSTR) override {
        connected = true;
        return S_OK;
    }

    HRESULT BeginSession(BSTR fileName, QBFileMode mode, BSTR* ticket) override {
        if (!ticket) return E_POINTER;
        *ticket = nullptr;
        if (!connected)
            return fail(QBSIM_E_NOT_CONNECTED, "OpenConnection has not been called.");
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
        const std::string text = request ? wideToNarrow(std::wstring_view(request, SysStringLen(request))) : "";
        try {
            const std::wstring answer = narrowToWide(it->second.engine->processRequest(text));
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
};

}  // namespace

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
