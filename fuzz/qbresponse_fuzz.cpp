// Fuzz target for response parsing: arbitrary bytes go through CQbResponse; when they
// parse, every record element (name ending in "Ret") is loaded as a CQbObject and read
// back, and the document is read as a report. A CQbException is the expected outcome
// for most inputs; anything else (a crash, a leak, a hang, another exception) is a
// finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <xercesc/dom/DOMNode.hpp>

#include "qbexception.h"
#include "qbobject.h"
#include "qbreport.h"
#include "qbresponse.h"
#include "qbutils.h"
#include "qbxerces.h"

namespace {

// Keeps the XML platform initialised across inputs, so each input does not pay for a
// full initialisation and termination.
std::unique_ptr<CQbXercesPlatform> platform;

bool endsWithRet(const std::string& name) {
    return name.size() >= 3 && name.compare(name.size() - 3, 3, "Ret") == 0;
}

void readRecord(const CQbObject& object) {
    (void)object.toXml();
    for (int i = 0; i < object.getSize(); ++i) {
        const CQbField* field = object.getFields().getAt(i);
        const std::string& name = field->getName();
        (void)object.getValue(name);
        (void)object.getInt(name);
        (void)object.getFloat(name);
        (void)object.getDate(name);
        (void)object.getDateTime(name);
        (void)object.getBool(name, false);
        if (const CQbFieldList* children = field->getChildren()) {
            for (int k = 0; k < children->getSize(); ++k) {
                const std::string& childName = children->getAt(k)->getName();
                (void)object.getValue(name, childName);
                (void)object.getValue(name, childName, childName);
            }
        }
    }
    (void)object.listObjRefListId();
    (void)object.findPrivateDataExt("StartDate");
}

void readReport(const CQbResponse& response) {
    CQbReport report;
    report.load(response);
    for (int i = 0; i < report.rowCount(); ++i) {
        (void)report.rowValue(i);
    }
    for (const std::string& type : report.getColumnTypes()) {
        (void)report.columnValues(type);
    }
    (void)report.columnIndex("QuantityOnHand");
    (void)report.columnValues("ValueOnHand");
    if (report.rowCount() > 0) {
        (void)report.columnValuesAt(report.maxColumnId());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform = std::make_unique<CQbXercesPlatform>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<CQbResponse> response;
    try {
        response = std::make_unique<CQbResponse>(
            std::string(reinterpret_cast<const char*>(data), size));
    } catch (const CQbException&) {
        return 0;
    }

    (void)response->statusCode();
    (void)response->statusMessage();
    (void)response->iteratorRemainingCount();
    (void)response->retCount();

    // Every element whose name ends in "Ret", outermost or nested, as a record.
    const CQbDomReader::Node* root = response->documentElement();
    const CQbDomReader::Node* node = root;
    while (node != nullptr) {
        if (node->getNodeType() == xercesc::DOMNode::ELEMENT_NODE) {
            const std::string name = xmlToUtf8(node->getNodeName());
            if (endsWithRet(name)) {
                CQbObject object;
                object.setName(baseName(name));
                object.load(node);
                readRecord(object);
            }
        }
        if (node->getFirstChild() != nullptr) {
            node = node->getFirstChild();
            continue;
        }
        while (node != nullptr && node != root && node->getNextSibling() == nullptr) {
            node = node->getParentNode();
        }
        node = (node == nullptr || node == root) ? nullptr : node->getNextSibling();
    }

    readReport(*response);
    return 0;
}
