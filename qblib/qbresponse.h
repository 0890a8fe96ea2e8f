// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// One parsed qbXML response. The constructor parses the response text with Xerces-C
// into a DOM document and raises CQbException when that fails; afterwards the response
// answers look-ups of elements by name and reads the status and iterator attributes of
// its (first) response element. Records are turned into CQbObjects by the caller with
// CQbObject::load on the nodes found here. The answer to a message set of several
// requests is split with answers() into one response per request, each looking only at
// its own response element.
//
// The parser is hardened for text that does not come from QuickBooks: qbXML responses
// carry no document type declaration, so external DTDs and external entities are never
// loaded, entity expansion is capped, and elements nested deeper than kMaxDepth levels
// are refused (every qbXML response is far shallower).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

#include "qbdomreader.h"
#include "qbxerces.h"

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
class XercesDOMParser;
class SecurityManager;
XERCES_CPP_NAMESPACE_END

class CQbParseErrorHandler;

class CQbResponse : public CQbDomReader {
public:
    // Deepest element nesting accepted, counting the document element as level 1.
    static constexpr int kMaxDepth = 256;
    // Most entity expansions accepted in one document.
    static constexpr unsigned kEntityExpansionLimit = 100;

    // Initialises the XML platform (until destruction) and parses the text. Throws
    // CQbException when the platform cannot be initialised or the text is not a
    // well-formed XML document; the message then begins with "Error during parsing: '",
    // "DOM Error during parsing: '" or "Unexpected exception during parsing: '" and
    // contains the whole text.
    explicit CQbResponse(std::string responseText);
    // Destroys the parser and with it the document and every node, then terminates the
    // platform once.
    ~CQbResponse() override;
    CQbResponse(const CQbResponse&) = delete;
    CQbResponse& operator=(const CQbResponse&) = delete;

    // The text that was parsed (the whole message set's for one of its answers).
    const std::string& getText() const { return whole ? whole->text : text; }
    // The document, owned by the response (or by the whole message set's); never null
    // once constructed.
    xercesc::DOMDocument* getDocument() const { return whole ? whole->document : document; }
    // The document element, or null.
    Node* documentElement() const;
    // Where look-ups search: the document element, or for one answer of a message set
    // its response element.
    Node* scope() const;

    // One response per response element of the first message set, in document order:
    // the answers to the requests of one message set, in the order they were sent. Each
    // shares the parsed document of `whole`, which lives as long as any of them.
    static std::vector<std::unique_ptr<CQbResponse>> answers(std::shared_ptr<const CQbResponse> whole);
    // The name of the response element ("InvoiceQueryRs"); empty when there is none.
    std::string responseName() const;

    // The first element of that name below the scope in depth-first document order, or
    // null.
    Node* findElement(const std::string& name) const;
    // Every outermost element of that name below the scope, in document order (a
    // match's own descendants are not searched). The caller owns the array, not the
    // nodes, which live as long as this response.
    std::vector<Node*> findElements(const std::string& name) const;

    // Attributes of the response element (the first element inside the first message
    // set, "QBXMLMsgsRs" or "QBPOSXMLMsgsRs", or the answer's own); empty text when
    // absent. Success is statusCode() == "0" and nothing else (CQbRequestBase::succeeded).
    std::string requestID() const;
    std::string statusCode() const;
    std::string statusSeverity() const;
    std::string statusMessage() const;
    std::string iteratorID() const;
    // These two read the attribute by the integer rule; 0 when absent.
    int iteratorRemainingCount() const;
    int retCount() const;

    // Any attribute of the response element, name compared without regard to case.
    std::string statusAttribute(const std::string& name) const;

private:
    // One answer of the message set parsed in `whole`.
    CQbResponse(std::shared_ptr<const CQbResponse> whole, Node* answer);
    void parse();
    // The response elements of the first message set, in document order.
    std::vector<Node*> responseElements() const;

    // Declaration order is destruction order in reverse: the parser goes before the
    // objects it refers to, and the platform goes last.
    CQbXercesPlatform platform;
    std::unique_ptr<CQbParseErrorHandler> errorHandler;
    std::unique_ptr<xercesc::SecurityManager> securityManager;
    std::unique_ptr<xercesc::XercesDOMParser> parser;
    xercesc::DOMDocument* document = nullptr;
    std::string text;
    // Set for one answer of a message set: the response that owns the document, and the
    // answer's response element.
    std::shared_ptr<const CQbResponse> whole;
    Node* answer = nullptr;
};
