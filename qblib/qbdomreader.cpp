// DOM look-ups and element-to-field conversion for parsed qbXML responses (see
// qbdomreader.h). Walks use parent/sibling links instead of recursion; the field
// conversion keeps its own explicit stack of open elements.
#include "qbdomreader.h"

#include <cassert>
#include <utility>

#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include "qbfieldlist.h"
#include "qbutils.h"
#include "qbxerces.h"

using namespace xercesc;

namespace {

bool isBlank(XMLCh c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Compares a node name, less blanks at both ends, with a name already in UTF-16.
bool trimmedNameEquals(const XMLCh* nodeName, const CQbXmlString& name) {
    if (nodeName == nullptr) {
        return name.empty();
    }
    const XMLCh* begin = nodeName;
    while (isBlank(*begin)) {
        ++begin;
    }
    const XMLCh* end = begin;
    while (*end != 0) {
        ++end;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
    return name.compare(0, name.size(), begin, static_cast<std::size_t>(end - begin)) == 0;
}

XMLCh lowerAscii(XMLCh c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<XMLCh>(c - u'A' + u'a') : c;
}

bool equalsIgnoringCase(const XMLCh* a, const CQbXmlString& b) {
    if (a == nullptr) {
        return b.empty();
    }
    std::size_t i = 0;
    for (; a[i] != 0; ++i) {
        if (i >= b.size() || lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return i == b.size();
}

// The node after `current` in pre-order within the subtree of `root` (which is never
// returned); with `descend` false the children of `current` are skipped.
DOMNode* nextInSubtree(const DOMNode* root, DOMNode* current, bool descend) {
    if (descend && current->getFirstChild() != nullptr) {
        return current->getFirstChild();
    }
    while (current != root) {
        if (DOMNode* sibling = current->getNextSibling()) {
            return sibling;
        }
        current = current->getParentNode();
        if (current == nullptr) {
            break;
        }
    }
    return nullptr;
}

}  // namespace

CQbDomReader::Node* CQbDomReader::firstDescendant(const Node* node, const std::string& name) {
    return node == nullptr ? nullptr : firstDescendant(node, utf8ToXml(name));
}

CQbDomReader::Node* CQbDomReader::firstDescendant(const Node* node, const CQbXmlString& wanted) {
    if (node == nullptr) {
        return nullptr;
    }
    for (DOMNode* n = node->getFirstChild(); n != nullptr; n = nextInSubtree(node, n, true)) {
        if (trimmedNameEquals(n->getNodeName(), wanted)) {
            return n;
        }
    }
    return nullptr;
}

std::vector<CQbDomReader::Node*> CQbDomReader::allDescendants(const Node* node,
                                                              const std::string& name) {
    return node == nullptr ? std::vector<Node*>() : allDescendants(node, utf8ToXml(name));
}

std::vector<CQbDomReader::Node*> CQbDomReader::allDescendants(const Node* node,
                                                              const CQbXmlString& wanted) {
    std::vector<Node*> found;
    if (node == nullptr) {
        return found;
    }
    DOMNode* n = node->getFirstChild();
    while (n != nullptr) {
        const bool matched = trimmedNameEquals(n->getNodeName(), wanted);
        if (matched) {
            found.push_back(n);
        }
        n = nextInSubtree(node, n, !matched);
    }
    return found;
}

std::string CQbDomReader::attribute(const Node* node, const std::string& name) {
    return node == nullptr ? std::string() : attribute(node, utf8ToXml(name));
}

std::string CQbDomReader::attribute(const Node* node, const CQbXmlString& wanted) {
    if (node == nullptr) {
        return std::string();
    }
    const DOMNamedNodeMap* attrs = node->getAttributes();
    if (attrs == nullptr) {
        return std::string();
    }
    const XMLSize_t count = attrs->getLength();
    for (XMLSize_t i = 0; i < count; ++i) {
        const DOMNode* attr = attrs->item(i);
        if (attr != nullptr && equalsIgnoringCase(attr->getNodeName(), wanted)) {
            return xmlToUtf8(attr->getNodeValue());
        }
    }
    return std::string();
}

std::string CQbDomReader::elementText(const Node* node) {
    if (node == nullptr || node->getFirstChild() == nullptr) {
        return std::string();
    }
    return xmlToUtf8(node->getFirstChild()->getNodeValue());
}

std::string CQbDomReader::childText(const Node* node, const std::string& name) {
    return elementText(firstDescendant(node, name));
}

int CQbDomReader::childInt(const Node* node, const std::string& name) {
    return readDigits(childText(node, name));
}

std::unique_ptr<CQbField> CQbDomReader::toField(const Node* node) {
    // An element that gives a field: it is an element and has at least one child node.
    auto convertible = [](const DOMNode* n) {
        return n != nullptr && n->getNodeType() == DOMNode::ELEMENT_NODE &&
               n->getFirstChild() != nullptr;
    };
    if (!convertible(node)) {
        return nullptr;
    }

    // One open element on the way down: its DOM node, the next child to look at, and
    // the child fields collected so far. Fields are built when their element is closed,
    // so the result matches a plain recursive conversion.
    struct Open {
        const DOMNode* element;
        const DOMNode* nextChild;
        std::unique_ptr<CQbFieldList> children;
    };
    auto close = [](Open& open) {
        return std::make_unique<CQbField>(
            xmlToUtf8(open.element->getNodeName()),
            xmlToUtf8(open.element->getFirstChild()->getNodeValue()), std::move(open.children));
    };

    std::vector<Open> stack;
    stack.push_back(Open{node, node->getFirstChild(), nullptr});
    for (;;) {
        Open& top = stack.back();
        const DOMNode* child = top.nextChild;
        if (child == nullptr) {
            std::unique_ptr<CQbField> field = close(top);
            stack.pop_back();
            if (stack.empty()) {
                return field;
            }
            Open& parent = stack.back();
            if (!parent.children) {
                parent.children = std::make_unique<CQbFieldList>();
            }
            parent.children->add(std::move(field));
            continue;
        }
        top.nextChild = child->getNextSibling();
        if (convertible(child)) {
            stack.push_back(Open{child, child->getFirstChild(), nullptr});
        }
    }
}
