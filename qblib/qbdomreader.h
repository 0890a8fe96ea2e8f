// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// Look-ups on the DOM of a parsed qbXML response, shared by the response itself and the
// report reader: descendants by name, attributes (names compared without regard to
// case, as QuickBooks is not consistent about "colID" versus "colId"), element text, and
// the conversion of an element into a CQbField tree. Every text returned is UTF-8 and
// copied out of the DOM; the nodes returned belong to the document they came from and
// are valid only while that document (its CQbResponse) lives. All walks are iterative,
// so deeply nested input cannot exhaust the stack here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

#include "qbfield.h"
#include "qbxerces.h"

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

class CQbDomReader {
public:
    using Node = xercesc::DOMNode;

    CQbDomReader() = default;
    virtual ~CQbDomReader() = default;

    // The first node below `node` in depth-first pre-order whose name, with blanks at
    // both ends removed, equals `name`; `node` itself is not tested. Null when there is
    // none or `node` is null.
    static Node* firstDescendant(const Node* node, const std::string& name);
    static Node* firstDescendant(const Node* node, const CQbXmlString& name);
    // Every node below `node` whose trimmed name equals `name`, in document order,
    // without descending into a node that matched. Empty when `node` is null. The caller
    // owns the array, not the nodes.
    static std::vector<Node*> allDescendants(const Node* node, const std::string& name);
    static std::vector<Node*> allDescendants(const Node* node, const CQbXmlString& name);
    // The value of the node's first attribute whose name equals `name` without regard
    // to (ASCII) case; empty text when there is none or `node` is null.
    static std::string attribute(const Node* node, const std::string& name);
    static std::string attribute(const Node* node, const CQbXmlString& name);
    // The node value of the node's first child; empty text when `node` is null or has no
    // child (for an element holding text, that text up to its first child element).
    static std::string elementText(const Node* node);
    // elementText(firstDescendant(node, name)).
    static std::string childText(const Node* node, const std::string& name);
    // childText read by the digit rule (readDigits); 0 when absent.
    static int childInt(const Node* node, const std::string& name);

    // Converts an element into a field: the element's name, the node value of its first
    // child node as the value, and a child list holding the conversion of every element
    // child that gives a field (none when no child does). Null when `node` is null, is
    // not an element, or has no child node at all. Attributes are not converted.
    static std::unique_ptr<CQbField> toField(const Node* node);
};
