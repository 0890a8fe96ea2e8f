// Reading report responses into arrays keyed by column id (see qbreport.h). QuickBooks
// leaves empty cells out of a row, so cells are found by their colId, never by
// position; attribute names are matched without regard to case because the spelling
// varies between colID and colId.
#include "qbreport.h"

#include <algorithm>

#include <xercesc/dom/DOMElement.hpp>

#include "qbresponse.h"
#include "qbtimings.h"
#include "qbutils.h"

void CQbReport::load(const CQbResponse& response) {
    load(response.scope());
}

void CQbReport::load(const Node* node) {
    if (node == nullptr) {
        return;
    }
    CQbTimer timer(qbTimings().parsingSeconds);
    columnCount = childInt(node, "NumColumns");
    rowTotal = childInt(node, "NumRows");

    // Each type goes to the position of its colID. A position past the end is reached
    // by padding with empty texts; a position already taken pushes the entries from
    // there one place up (ascending colIDs, as QuickBooks sends them, never do this).
    columnTypes.clear();
    for (const Node* column : allDescendants(node, "ColDesc")) {
        const std::string type = childText(column, "ColType");
        const int id = readInteger(attribute(column, "colID"));
        if (id < 0 || id > kMaxColumnId) {
            continue;
        }
        const auto position = static_cast<std::size_t>(id);
        if (position >= columnTypes.size()) {
            columnTypes.resize(position);
            columnTypes.push_back(type);
        } else {
            columnTypes.insert(columnTypes.begin() + id, type);
        }
    }

    // A report has thousands of rows; the names looked up in each are converted once.
    static const CQbXmlString kRowData = utf8ToXml("RowData");
    static const CQbXmlString kColData = utf8ToXml("ColData");
    static const CQbXmlString kRowType = utf8ToXml("rowType");
    static const CQbXmlString kValue = utf8ToXml("value");
    static const CQbXmlString kColId = utf8ToXml("colId");
    rows.clear();
    rowTypes.clear();
    rowValues.clear();
    highestCellId = 0;
    static const CQbXmlString kSubtotalRow = utf8ToXml("SubtotalRow");
    static const CQbXmlString kTotalRow = utf8ToXml("TotalRow");
    for (const CQbXmlString* tag : {&kSubtotalRow, &kTotalRow}) {
        for (const Node* row : allDescendants(node, *tag)) {
            for (const Node* cell : allDescendants(row, kColData)) {
                highestCellId = std::max(highestCellId, readInteger(attribute(cell, kColId)));
            }
        }
    }
    for (const Node* row : allDescendants(node, utf8ToXml("DataRow"))) {
        // A row without RowData still gets (empty) entries, keeping the arrays parallel.
        const Node* rowData = firstDescendant(row, kRowData);
        rowTypes.push_back(attribute(rowData, kRowType));
        rowValues.push_back(attribute(rowData, kValue));
        auto cells = std::make_unique<CQbFieldList>();
        for (const Node* cell : allDescendants(row, kColData)) {
            const std::string id = attribute(cell, kColId);
            highestCellId = std::max(highestCellId, readInteger(id));
            cells->addText(id, attribute(cell, kValue));
        }
        rows.push_back(std::move(cells));
    }
}

std::string CQbReport::rowValue(int row) const {
    if (row < 0 || row >= static_cast<int>(rowValues.size())) {
        return std::string();
    }
    return rowValues[static_cast<std::size_t>(row)];
}

std::string CQbReport::rowType(int row) const {
    if (row < 0 || row >= static_cast<int>(rowTypes.size())) {
        return std::string();
    }
    return rowTypes[static_cast<std::size_t>(row)];
}

const CQbFieldList* CQbReport::getRow(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    return rows[static_cast<std::size_t>(row)].get();
}

int CQbReport::columnIndex(const std::string& columnType) const {
    const auto it = std::find(columnTypes.begin(), columnTypes.end(), columnType);
    return it == columnTypes.end() ? -1 : static_cast<int>(it - columnTypes.begin());
}

std::vector<std::string> CQbReport::columnValuesAt(int columnId) const {
    const std::string key = integerText(columnId);
    std::vector<std::string> values;
    values.reserve(rows.size());
    for (const auto& cells : rows) {
        // Cells are plain text fields; compare names directly so that a cell whose colId
        // happens to read "DataExtRet" is never treated as a custom-field entry.
        std::string value;
        for (int i = 0; i < cells->getSize(); ++i) {
            const CQbField* cell = cells->getAt(i);
            if (cell->getName() == key) {
                value = cell->rawValue();
                break;
            }
        }
        values.push_back(std::move(value));
    }
    return values;
}

std::vector<std::string> CQbReport::columnValues(const std::string& columnType) const {
    return columnValuesAt(columnIndex(columnType));
}

int CQbReport::cellColumnId(const std::string& columnType) const {
    const int column = columnIndex(columnType);
    const int unit = columnIndex("UnitOfMeasureUnit");
    const int described = static_cast<int>(columnTypes.size()) - 1;
    const bool unitUnnumbered = unit != -1 && highestCellId < described;
    return unitUnnumbered && column > unit ? column - 1 : column;
}
