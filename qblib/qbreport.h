// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// A report response (GeneralSummaryReportQueryRs, e.g. the inventory valuation
// summary) read into plain arrays: the type of every column by column id, and for every
// data row its RowData type and value (the item name) and its cells keyed by column id.
// Subtotal and text rows are not read as rows; only the column ids of their cells count
// (see maxColumnId). The cells of the total row are kept apart (totalCellAt): they hold
// the report's totals. Loading copies every text out of the DOM, so the report outlives
// the response; the report owns all its arrays and cells.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qbdomreader.h"
#include "qbfieldlist.h"

class CQbResponse;

class CQbReport : public CQbDomReader {
public:
    // Column ids outside 0..kMaxColumnId are ignored when column types are read; real
    // reports number their columns from 1 upwards and stay far below this.
    static constexpr int kMaxColumnId = 65535;

    // The ColType names of the valuation summary's columns that say what their cells
    // hold: the quantity on hand, the unit it counts in (U/M, only with units of measure
    // on), the average cost, the value on hand and that value's percent of the report's
    // total value ("% of Tot Asset").
    static constexpr const char* kQuantityColumn = "QuantityOnHand";
    static constexpr const char* kUnitColumn = "UnitOfMeasureUnit";
    static constexpr const char* kAverageCostColumn = "AverageCost";
    static constexpr const char* kValueColumn = "ValueOnHand";
    static constexpr const char* kPercentColumn = "PercentOfTotalValue";

    CQbReport() = default;
    ~CQbReport() override = default;
    CQbReport(const CQbReport&) = delete;
    CQbReport& operator=(const CQbReport&) = delete;

    // Reads the report below the node, replacing anything read before; does nothing
    // when the node is null.
    virtual void load(const Node* node);
    // load(the response's document element).
    virtual void load(const CQbResponse& response);

    // Number of data rows; 0 before load.
    int rowCount() const { return static_cast<int>(rows.size()); }
    // The RowData value of the row (for item rows the item's full name), or empty text
    // for a position outside the rows.
    std::string rowValue(int row) const;
    // The RowData rowType of the row, or empty text outside the rows.
    std::string rowType(int row) const;
    // The cells of the row (field name = colId text, value = the cell's value), owned by
    // the report; null outside the rows.
    const CQbFieldList* getRow(int row) const;
    // NumColumns / NumRows as read by the digit rule; 0 when absent or before load.
    int numColumns() const { return columnCount; }
    int numRows() const { return rowTotal; }
    // The column types by position (column id); unfilled positions hold empty text.
    const std::vector<std::string>& getColumnTypes() const { return columnTypes; }
    // The lowest column id whose type is exactly `columnType`; -1 when none.
    int columnIndex(const std::string& columnType) const;
    // One entry per row: the value of the row's cell for that column id, or empty text.
    std::vector<std::string> columnValuesAt(int columnId) const;
    // The value of the total row's (TotalRow's; the last one's) cell for that column id;
    // empty text when the report has no total row or the row no such cell.
    std::string totalCellAt(int columnId) const;
    // columnValuesAt(columnIndex(columnType)): all empty for a type no column has.
    std::vector<std::string> columnValues(const std::string& columnType) const;
    // The largest column id (integer rule) among the cells of every data, subtotal and
    // total row; 0 when there is no such cell. Cells are sparse, so no single row tells.
    int maxColumnId() const { return highestCellId; }
    // How the data and total rows number their cells: counting every column of the
    // column list, or without its U/M column (UnitOfMeasureUnit), every later column one
    // id down. With units of measure on, QuickBooks' column list holds a U/M column;
    // whether the rows count it is not settled, and cells are sparse, so no single row
    // and no highest cell id tells. The rows' own figures do (see evidentNumbering).
    enum class CNumbering { countingUnitColumn, withoutUnitColumn };
    // The numberings the column list allows: counting the U/M column, and without it as
    // well when the column list has one.
    std::vector<CNumbering> cellNumberings() const;
    // The cell id the rows carry for the first column of that type under the numbering;
    // -1 when no column has the type.
    int cellColumnId(const std::string& columnType, CNumbering numbering) const;

    // What the rows of an inventory valuation summary bear out. Each cell's meaning is
    // that of its column as the column list's ColType names it; what the rows' figures
    // decide is only how the rows number their cells (see CNumbering). In a numbering:
    //
    // - On every item row the value on hand (ValueOnHand) must be the quantity on hand
    //   (QuantityOnHand) times the average cost (AverageCost). The report shows the
    //   average cost rounded to the cent or finer, and the value to the cent, so the two
    //   may differ by up to |quantity| x 0.005 + 0.005 (for a cost shown with fewer than
    //   two decimals, half its last place a unit instead of half a cent). A value on hand
    //   with no cost shown, or a cell that is no number, does not add up.
    // - Where the column list names a percent column (PercentOfTotalValue) and the total
    //   row a value other than zero, every item row's percent cell must be its value over
    //   that total times 100, within half the last place the percent is shown to (an
    //   empty cell is 0 and shown to no decimals). This holds on rows with nothing on
    //   hand as well. It keeps a percent cell from passing for a value: read one column
    //   off, the value cell can pass for the average cost and the percent for the value
    //   (4 worth 25.00 of 25.01 reads as 4 at 25.00 worth 100.0).
    //
    // A numbering is taken when every row with a quantity adds up in it and every row's
    // percent fits. A row with nothing on hand adds up when its value is zero (0 x cost),
    // but QuickBooks can carry a value where nothing is on hand, so such a row only
    // chooses between numberings that every row with a quantity leaves standing.
    // Numberings that read the same quantities and values on every row are as good as one
    // another.
    struct CNumberingEvidence {
        // The numbering taken; empty when none adds up on every row, or when more than
        // one does and they read different figures.
        std::optional<CNumbering> numbering;
        // More than one numbering adds up on every row, reading different figures.
        bool ambiguous = false;
        // The column list has a U/M column and the rows bear out exactly one numbering
        // (no other adds up on every row with a quantity and fits every percent), so the
        // numbering holds for other summaries QuickBooks gives in the same way.
        bool settles = false;
        // The first data row with a quantity that adds up in no numbering, or whose
        // percent fits in none; -1 when none.
        int misfitRow = -1;
        // The misfit row adds up (or has nothing on hand) in some numbering, but in none
        // does its percent fit.
        bool percentMisfit = false;
    };
    // The evidence of the rows, over every numbering the column list allows, or, given a
    // numbering that another summary settled, over that numbering alone: the rows are
    // read in it when they add up in it, and in none otherwise.
    CNumberingEvidence evidentNumbering(std::optional<CNumbering> settled = std::nullopt) const;
    // cellColumnId(columnType, the numbering the rows bear out); -1 when they bear out
    // none or no column has the type.
    int cellColumnId(const std::string& columnType) const;

private:
    int columnCount = 0;
    int rowTotal = 0;
    int highestCellId = 0;
    std::vector<std::string> columnTypes;
    std::vector<std::unique_ptr<CQbFieldList>> rows;
    std::unique_ptr<CQbFieldList> totalCells;
    std::vector<std::string> rowTypes;
    std::vector<std::string> rowValues;
};
