// A request processor for tests: it records every call and request document, answers
// ProcessRequest from a queue of canned response documents, and can fail any of the six
// calls with a chosen result code and error description. Registered through the COM
// shim under the processor's class id, exactly as the embedded stand-in is.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qbxmlrp.h"

struct CScriptedFailure {
    HRESULT code = E_FAIL;
    std::wstring description;  // empty: no error object is left
};

struct CScript {
    std::vector<std::string> calls;     // "OpenConnection", "BeginSession 0", ...
    std::vector<std::string> requests;  // every request document, in order
    std::deque<std::string> responses;  // answers to ProcessRequest, in order
    std::string defaultResponse;        // when the queue is empty
    // Answer every request element of a message set on its own, as QuickBooks does: each
    // takes the response element of the next queued document, or of defaultResponse when
    // that answers a request of its name, or else a bare success; after an answer of
    // severity "Error" the set stops.
    bool perRequest = false;
    std::map<std::string, CScriptedFailure> failures;  // by call name
    int alive = 0;                                     // processors not yet released
};

// Registers a factory creating processors that share `script` (which must outlive them)
// and revokes it on destruction.
class CScriptedRegistration {
public:
    explicit CScriptedRegistration(CScript& script);
    ~CScriptedRegistration();
    CScriptedRegistration(const CScriptedRegistration&) = delete;
    CScriptedRegistration& operator=(const CScriptedRegistration&) = delete;
};

// A complete qbXML response document holding the given response elements.
std::string responseDocument(const std::string& body);
// The request elements of one request document's message set, in order.
std::vector<std::string> requestElements(const std::string& document);
// A HostQuery answer listing the versions.
std::string hostResponse(const std::vector<std::string>& versions,
                         const std::string& product = "QuickBooks Test");
