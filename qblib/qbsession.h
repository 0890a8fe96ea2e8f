// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// CQbXml: the session with QuickBooks' qbXML request processor. It creates the
// processor through COM by class id, opens a connection and a session on one company
// file, asks QuickBooks (HostQuery) which qbXML versions it supports and writes the
// highest into the envelope of every request, sends requests, logs them and their
// answers, and turns transport failures into CQbException. On Windows the processor is
// QuickBooks' own; elsewhere the embedded stand-in (or a test processor) registers a
// factory under the same class id.
#pragma once

#include <string>
#include <vector>

#include "qbrequestbase.h"
#include "qbxmlrp.h"

class CQbXml : public CQbRequestBase {
public:
    // Stores the company file; opens nothing yet.
    CQbXml(std::string companyFile, std::string appName, std::string appId,
           const std::optional<std::string>& eventLogFolder);
    ~CQbXml() override;

    // Connects, begins a session (single-user, or do-not-care when the flag is clear)
    // and runs HostQuery. Does nothing when a session is open. Throws CQbException on
    // failure and leaves no session; lastHresult then holds the failing call's result
    // (but for GetCurrentCompanyFileName, whose failure has its own text). A HostQuery
    // answer that is not a success fails the open with QuickBooks' message.
    void open(bool singleUser);

    // Between release() and the next request the session counts as connected: that
    // request begins a session afresh (a new processor, connection and session), so
    // QuickBooks is free between operations and a QuickBooks closed and started again
    // in the meantime is found anew.
    bool isConnected() override;
    void connect() override;
    void disconnect() override;
    // Ends the session and releases the processor; the next request connects again.
    // A processor whose server went away is released without further calls to it.
    void release();
    std::string sendXml(const std::string& request) override;
    // "" for a success code; "Error = %lx, <description>\n" with the thread's COM error
    // description, or "Error = %lx\n" when there is none.
    std::string errorText(HRESULT code) override;
    std::string envelopeHead() override;
    std::string envelopeTail() override;

    const std::string& getCompanyFile() const { return companyFile; }
    const std::vector<std::string>& getSupportedVersions() const { return supportedVersions; }
    const std::string& getQbxmlVersion() const { return qbxmlVersion; }
    const std::string& getProductName() const { return productName; }
    HRESULT getLastHresult() const { return lastHresult; }

private:
    std::string companyFile;
    IRequestProcessor2* processor = nullptr;
    std::vector<std::string> supportedVersions;
    std::string qbxmlVersion = "2.0";
    std::string productName;
    HRESULT lastHresult = S_OK;
    // Set by release(): the next request opens the session again.
    bool reopens = false;
    // A request failed because QuickBooks' process went away: the processor is a proxy
    // to nothing, and ending its session would only wait for another failure.
    bool serverGone = false;
};
