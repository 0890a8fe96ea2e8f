// Test helpers for the stand-in: a temporary company file, request envelopes, and a
// parsed view of response documents (each Rs with its status and its Ret elements).
#pragma once

#include "qbsimengine.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

inline std::string qbsimTestSchemaPath() {
    return std::string(LOTWISE_SHARED_DIR) + "/qbxml/schema/patched/qbxmlops160.xsd";
}

inline std::string envelope(const std::string& body, const std::string& onError = "stopOnError") {
    return "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"" +
           onError + "\">" + body + "</QBXMLMsgsRq></QBXML>";
}

// A response document parsed with libxml2; owns the document.
class CParsedResponse {
public:
    struct Rs {
        std::string name;
        int code = -1;
        std::string severity, message;
        std::map<std::string, std::string> attrs;
        xmlNodePtr node = nullptr;
        std::vector<xmlNodePtr> rets() const { return qbsimElements(node); }
    };
    explicit CParsedResponse(const std::string& text)
        : doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "rs.xml", nullptr, 0),
              xmlFreeDoc) {
        if (!doc) return;
        xmlNodePtr msgs = qbsimChild(xmlDocGetRootElement(doc.get()), "QBXMLMsgsRs");
        for (xmlNodePtr n : qbsimElements(msgs)) {
            Rs rs;
            rs.name = qbsimName(n);
            rs.node = n;
            for (xmlAttrPtr a = n->properties; a; a = a->next)
                rs.attrs[reinterpret_cast<const char*>(a->name)] =
                    *qbsimAttribute(n, reinterpret_cast<const char*>(a->name));
            rs.code = std::atoi(rs.attrs["statusCode"].c_str());
            rs.severity = rs.attrs["statusSeverity"];
            rs.message = rs.attrs["statusMessage"];
            list.push_back(rs);
        }
    }
    bool ok() const { return doc != nullptr; }
    const std::vector<Rs>& all() const { return list; }
    const Rs& operator[](std::size_t i) const { return list.at(i); }
    std::size_t size() const { return list.size(); }
    xmlDocPtr document() const { return doc.get(); }

private:
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc;
    std::vector<Rs> list;
};

// Text of a path of child elements below a node ("ItemRef/FullName").
inline std::string textAt(xmlNodePtr node, const std::string& path) {
    std::size_t start = 0;
    while (node && start <= path.size()) {
        const auto slash = path.find('/', start);
        node = qbsimChild(node, path.substr(start, slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return node ? qbsimText(node) : "<missing>";
}

inline std::vector<std::string> childNames(xmlNodePtr node) {
    std::vector<std::string> names;
    for (xmlNodePtr c : qbsimElements(node)) names.push_back(qbsimName(c));
    return names;
}

class CTempDir {
public:
    CTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qbsimtest-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~CTempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};
