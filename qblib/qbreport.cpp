// Reading report responses into arrays keyed by column id (see qbreport.h). QuickBooks
// leaves empty cells out of a row, so cells are found by their colId, never by
// position; attribute names are matched without regard to case because the spelling
// varies between colID and colId.
#include "qbreport.h"

#include <algorithm>
#include <cmath>

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
    totalCells.reset();
    for (const CQbXmlString* tag : {&kSubtotalRow, &kTotalRow}) {
        for (const Node* row : allDescendants(node, *tag)) {
            auto cells = std::make_unique<CQbFieldList>();
            for (const Node* cell : allDescendants(row, kColData)) {
                const std::string id = attribute(cell, kColId);
                highestCellId = std::max(highestCellId, readInteger(id));
                cells->addText(id, attribute(cell, kValue));
            }
            if (tag == &kTotalRow) totalCells = std::move(cells);
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

namespace {

// The value of the cell with that column id, or empty text. Cells are plain text fields;
// names are compared directly so that a cell whose colId happens to read "DataExtRet" is
// never treated as a custom-field entry.
std::string cellText(const CQbFieldList& cells, const std::string& key) {
    for (int i = 0; i < cells.getSize(); ++i) {
        const CQbField* cell = cells.getAt(i);
        if (cell->getName() == key) return cell->rawValue();
    }
    return std::string();
}

}  // namespace

std::vector<std::string> CQbReport::columnValuesAt(int columnId) const {
    const std::string key = integerText(columnId);
    std::vector<std::string> values;
    values.reserve(rows.size());
    for (const auto& cells : rows) values.push_back(cellText(*cells, key));
    return values;
}

std::string CQbReport::totalCellAt(int columnId) const {
    return totalCells ? cellText(*totalCells, integerText(columnId)) : std::string();
}

std::vector<std::string> CQbReport::columnValues(const std::string& columnType) const {
    return columnValuesAt(columnIndex(columnType));
}

std::vector<CQbReport::CNumbering> CQbReport::cellNumberings() const {
    if (columnIndex(kUnitColumn) == -1) return {CNumbering::countingUnitColumn};
    return {CNumbering::countingUnitColumn, CNumbering::withoutUnitColumn};
}

int CQbReport::cellColumnId(const std::string& columnType, CNumbering numbering) const {
    const int column = columnIndex(columnType);
    const int unit = columnIndex(kUnitColumn);
    const bool shifted = numbering == CNumbering::withoutUnitColumn && unit != -1 && column > unit;
    return shifted ? column - 1 : column;
}

namespace {

// A cell's figure: an empty (left out) cell is zero; text that is not a plain decimal
// number (a unit's name read from the U/M column, say) is none.
std::optional<double> figure(const std::string& text) {
    std::size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (text.empty()) return 0.0;
    if (!digits) return std::nullopt;
    const double value = readDecimal(text);
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// Half the last place a figure is shown to: the most its rounding can have moved it.
double halfLastPlace(const std::string& text, std::size_t mostDecimals) {
    const std::size_t point = text.find('.');
    const std::size_t decimals = point == std::string::npos ? 0 : text.size() - point - 1;
    return 0.5 * std::pow(10.0, -static_cast<double>(std::min(decimals, mostDecimals)));
}

// The quantity, average cost, value and percent of one row as one numbering reads them.
struct CRowReading {
    std::string quantity, cost, value, percent;

    bool onHand() const { return figure(quantity).value_or(1.0) != 0.0; }

    // Whether value = quantity x cost within the rounding of the report (see
    // CQbReport::CNumberingEvidence).
    bool costFits() const {
        const auto q = figure(quantity), a = figure(cost), v = figure(value);
        if (!q || !a || !v) return false;
        if (cost.empty() && *q != 0.0 && *v != 0.0) return false;
        const double slack = 1e-9 * (1.0 + std::fabs(*v));
        return std::fabs(*v - *q * *a) <= std::fabs(*q) * halfLastPlace(cost, 2) + 0.005 + slack;
    }

    // Whether percent = value / total x 100 within the percent's rounding; any percent
    // fits where there is no total to hold it against.
    bool percentFits(std::optional<double> total) const {
        if (!total) return true;
        const auto v = figure(value), p = figure(percent);
        if (!v || !p) return false;
        const double expected = *v / *total * 100.0;
        return std::fabs(*p - expected) <= halfLastPlace(percent, 5) + 1e-9 * (1.0 + std::fabs(expected));
    }

    bool sameFigures(const CRowReading& other) const {
        return figure(quantity) == figure(other.quantity) && figure(value) == figure(other.value);
    }
};

// Every row of a report as one numbering reads it, and how far the rows add up.
struct CReading {
    CQbReport::CNumbering numbering;
    std::vector<CRowReading> rows;
    std::optional<double> total;   // the total value percents are of; none when not shown
    bool standing = true;          // every row with a quantity adds up, every percent fits
    bool addsUpEverywhere = true;  // every row with nothing on hand reads no value

    // Whether row i adds up where it has a quantity and its percent fits.
    bool fits(std::size_t i) const {
        return (rows[i].costFits() || !rows[i].onHand()) && rows[i].percentFits(total);
    }
};

CReading readIn(const CQbReport& report, CQbReport::CNumbering numbering) {
    CReading reading{numbering, {}, {}};
    const auto quantities = report.columnValuesAt(report.cellColumnId(CQbReport::kQuantityColumn, numbering));
    const auto costs = report.columnValuesAt(report.cellColumnId(CQbReport::kAverageCostColumn, numbering));
    const auto values = report.columnValuesAt(report.cellColumnId(CQbReport::kValueColumn, numbering));
    const int percentColumn = report.cellColumnId(CQbReport::kPercentColumn, numbering);
    const auto percents = report.columnValuesAt(percentColumn);
    if (percentColumn != -1) {
        const auto total = figure(report.totalCellAt(report.cellColumnId(CQbReport::kValueColumn, numbering)));
        if (total && *total != 0.0) reading.total = total;
    }
    for (std::size_t i = 0; i < quantities.size(); ++i) {
        reading.rows.push_back({quantities[i], costs[i], values[i], percents[i]});
        if (!reading.fits(i)) reading.standing = false;
        if (!reading.rows.back().costFits() && !reading.rows.back().onHand()) reading.addsUpEverywhere = false;
    }
    return reading;
}

}  // namespace

CQbReport::CNumberingEvidence CQbReport::evidentNumbering(std::optional<CNumbering> settled) const {
    std::vector<CReading> readings;
    for (CNumbering numbering : settled ? std::vector<CNumbering>{*settled} : cellNumberings())
        readings.push_back(readIn(*this, numbering));

    CNumberingEvidence evidence;
    std::vector<const CReading*> standing;
    for (const CReading& reading : readings)
        if (reading.standing) standing.push_back(&reading);
    if (standing.empty()) {
        for (std::size_t i = 0; i < rows.size() && evidence.misfitRow == -1; ++i) {
            if (std::any_of(readings.begin(), readings.end(), [i](const CReading& r) { return r.fits(i); }))
                continue;
            evidence.misfitRow = static_cast<int>(i);
            evidence.percentMisfit = std::any_of(readings.begin(), readings.end(), [i](const CReading& r) {
                return r.rows[i].costFits() || !r.rows[i].onHand();
            });
        }
        return evidence;
    }
    evidence.settles = !settled && standing.size() == 1 && cellNumberings().size() > 1;
    const auto sameAsFirst = [&](const CReading* reading) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (!reading->rows[i].sameFigures(standing.front()->rows[i])) return false;
        return true;
    };
    if (std::all_of(standing.begin(), standing.end(), sameAsFirst)) {
        evidence.numbering = standing.front()->numbering;
        return evidence;
    }
    std::vector<const CReading*> worthNothingWhereEmpty;
    for (const CReading* reading : standing)
        if (reading->addsUpEverywhere) worthNothingWhereEmpty.push_back(reading);
    if (worthNothingWhereEmpty.size() == 1)
        evidence.numbering = worthNothingWhereEmpty.front()->numbering;
    else
        evidence.ambiguous = true;
    return evidence;
}

int CQbReport::cellColumnId(const std::string& columnType) const {
    const std::optional<CNumbering> numbering = evidentNumbering().numbering;
    return numbering ? cellColumnId(columnType, *numbering) : -1;
}
