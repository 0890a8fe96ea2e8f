// Parsing of qbXML response text into a Xerces-C DOM and the look-ups on it (see
// qbresponse.h). Xerces reports malformed text to an error handler rather than by
// throwing, and without one would hand back a partial document; the handler installed
// here turns the first error into an exception so that malformed text always ends in a
// CQbException with the "Error during parsing: '" message, and nothing is printed.
#include "qbresponse.h"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLException.hpp>

#include "qbexception.h"
#include "qbtimings.h"
#include "qbutils.h"

using namespace xercesc;

// Stops the parse at the first error or fatal error by throwing it; warnings are
// ignored. Being installed also keeps Xerces from reporting anything on stderr.
class CQbParseErrorHandler : public ErrorHandler {
public:
    void warning(const SAXParseException&) override {}
    void error(const SAXParseException& e) override { throw e; }
    void fatalError(const SAXParseException& e) override { throw e; }
    void resetErrors() override {}
};

namespace {

CQbException parseError(const std::string& text, const std::string& message) {
    return CQbException("Error during parsing: '" + text + "'\n" +
                        "Exception message is:  \n" + message + "\n");
}

// Depth of the deepest element, counting the document element as 1; stops counting
// once `limit` is exceeded.
int nestingDepth(const DOMDocument* doc, int limit) {
    const DOMNode* root = doc->getDocumentElement();
    if (root == nullptr) {
        return 0;
    }
    int depth = 1;
    int deepest = 1;
    const DOMNode* n = root;
    for (;;) {
        if (n->getFirstChild() != nullptr) {
            n = n->getFirstChild();
            ++depth;
        } else {
            while (n != root && n->getNextSibling() == nullptr) {
                n = n->getParentNode();
                --depth;
            }
            if (n == root) {
                return deepest;
            }
            n = n->getNextSibling();
        }
        if (n->getNodeType() == DOMNode::ELEMENT_NODE && depth > deepest) {
            deepest = depth;
            if (deepest > limit) {
                return deepest;
            }
        }
    }
}

}  // namespace

CQbResponse::CQbResponse(std::string responseText) : text(std::move(responseText)) {
    CQbTimer timer(qbTimings().parsingSeconds);
    parse();
}

CQbResponse::~CQbResponse() {
    parser.reset();
}

void CQbResponse::parse() {
    document = nullptr;
    parser.reset();

    errorHandler = std::make_unique<CQbParseErrorHandler>();
    securityManager = std::make_unique<SecurityManager>();
    securityManager->setEntityExpansionLimit(kEntityExpansionLimit);

    parser = std::make_unique<XercesDOMParser>();
    parser->setErrorHandler(errorHandler.get());
    parser->setLoadExternalDTD(false);
    parser->setDisableDefaultEntityResolution(true);
    parser->setSecurityManager(securityManager.get());

    try {
        // The buffer is not adopted: it stays owned by `text`, which outlives the parse.
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(),
                                 "prodInfo", false);
        parser->parse(source);
    } catch (const SAXParseException& e) {
        throw parseError(text, xmlToUtf8(e.getMessage()));
    } catch (const XMLException& e) {
        throw parseError(text, xmlToUtf8(e.getMessage()));
    } catch (const DOMException& e) {
        std::string message = "DOM Error during parsing: '" + text + "'\n" +
                              "DOMException message is:  " + xmlToUtf8(e.getMessage());
        XMLCh standardText[2048] = {};
        if (DOMImplementation::loadDOMExceptionMsg(e.code, standardText, 2047)) {
            message += "Message is: " + xmlToUtf8(standardText);
        }
        throw CQbException(message);
    } catch (...) {
        throw CQbException("Unexpected exception during parsing: '" + text + "'\n");
    }

    // The handler stops at the first error, so these are only a backstop.
    if (parser->getErrorCount() != 0 || parser->getDocument() == nullptr ||
        parser->getDocument()->getDocumentElement() == nullptr) {
        throw parseError(text, "The response is not a well-formed XML document.");
    }
    if (nestingDepth(parser->getDocument(), kMaxDepth) > kMaxDepth) {
        throw parseError(text, "Elements are nested more than " +
                                   integerText(kMaxDepth) + " levels deep.");
    }
    document = parser->getDocument();
}

CQbResponse::CQbResponse(std::shared_ptr<const CQbResponse> owner, Node* element)
    : whole(std::move(owner)), answer(element) {}

CQbDomReader::Node* CQbResponse::documentElement() const {
    const DOMDocument* doc = getDocument();
    return doc != nullptr ? doc->getDocumentElement() : nullptr;
}

CQbDomReader::Node* CQbResponse::scope() const {
    return answer != nullptr ? answer : documentElement();
}

CQbDomReader::Node* CQbResponse::findElement(const std::string& name) const {
    return firstDescendant(scope(), name);
}

std::vector<CQbDomReader::Node*> CQbResponse::findElements(const std::string& name) const {
    return allDescendants(scope(), name);
}

std::vector<CQbDomReader::Node*> CQbResponse::responseElements() const {
    std::vector<Node*> elements;
    const DOMNode* root = documentElement();
    if (root == nullptr) {
        return elements;
    }
    static const std::u16string kMsgsRs = u"QBXMLMsgsRs";
    static const std::u16string kPosMsgsRs = u"QBPOSXMLMsgsRs";
    for (const DOMNode* set = root->getFirstChild(); set != nullptr;
         set = set->getNextSibling()) {
        const XMLCh* setName = set->getNodeName();
        if (setName == nullptr || (setName != kMsgsRs && setName != kPosMsgsRs)) {
            continue;
        }
        // The text nodes of an indented response (and any comment) are passed over.
        for (DOMNode* rs = set->getFirstChild(); rs != nullptr; rs = rs->getNextSibling()) {
            if (rs->getNodeType() == DOMNode::ELEMENT_NODE) {
                elements.push_back(rs);
            }
        }
        if (!elements.empty()) {
            break;
        }
    }
    return elements;
}

std::vector<std::unique_ptr<CQbResponse>> CQbResponse::answers(
    std::shared_ptr<const CQbResponse> whole) {
    std::vector<std::unique_ptr<CQbResponse>> result;
    if (!whole) {
        return result;
    }
    for (Node* element : whole->responseElements()) {
        result.push_back(std::unique_ptr<CQbResponse>(new CQbResponse(whole, element)));
    }
    return result;
}

std::string CQbResponse::responseName() const {
    const DOMNode* element = answer;
    if (element == nullptr) {
        const std::vector<Node*> elements = responseElements();
        element = elements.empty() ? nullptr : elements.front();
    }
    return element != nullptr ? xmlToUtf8(element->getNodeName()) : std::string();
}

std::string CQbResponse::statusAttribute(const std::string& name) const {
    if (answer != nullptr) {
        return attribute(answer, name);
    }
    // The response element is the first element of the first message set.
    const std::vector<Node*> elements = responseElements();
    return elements.empty() ? std::string() : attribute(elements.front(), name);
}

std::string CQbResponse::requestID() const {
    return statusAttribute("requestID");
}

std::string CQbResponse::statusCode() const {
    return statusAttribute("statusCode");
}

std::string CQbResponse::statusSeverity() const {
    return statusAttribute("statusSeverity");
}

std::string CQbResponse::statusMessage() const {
    return statusAttribute("statusMessage");
}

std::string CQbResponse::iteratorID() const {
    return statusAttribute("iteratorID");
}

int CQbResponse::iteratorRemainingCount() const {
    return readInteger(statusAttribute("iteratorRemainingCount"));
}

int CQbResponse::retCount() const {
    return readInteger(statusAttribute("retCount"));
}
