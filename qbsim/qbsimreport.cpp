// The inventory valuation summary: GeneralSummaryReportQueryRq for the
// InventoryValuationSummary report. Items are laid out as QuickBooks lays them out: a
// section per item type, parents with sub-items as a text row, their children, the
// parent's own stock as "<parent> - Other" and a subtotal row; sections end in a
// subtotal and the report in a TOTAL row. Cells are sparse (empty cells are left out).
// An inactive item is listed while it holds stock or value; a company made with
// inactiveItemsHidden leaves inactive items out altogether, the other reading of what
// QuickBooks does.
//
// With units of measure on, the column list carries a U/M column that data, subtotal and
// total rows do not fill; their cells are numbered consecutively without it, which is
// how QuickBooks numbers them and what readers of the report must allow for. A company
// made with unitColumnNumbered numbers them counting the U/M column instead, so that
// readers are proven against both.
#include "qbsimengine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

struct CColumn {
    const char* type;
    const char* dataType;
    const char* title;
};

constexpr CColumn kLabel = {"Blank", "STRTYPE", nullptr};
constexpr CColumn kDescription = {"ItemDesc", "STRTYPE", "Item Description"};
constexpr CColumn kOnHand = {"QuantityOnHand", "QUANTYPE", "On Hand"};
constexpr CColumn kUnit = {"UnitOfMeasureUnit", "STRTYPE", "U/M"};
constexpr CColumn kAverage = {"AverageCost", "PRICETYPE", "Avg Cost"};
constexpr CColumn kValue = {"ValueOnHand", "AMTTYPE", "Asset Value"};
constexpr CColumn kValuePercent = {"PercentOfTotalValue", "PERCENTTYPE", "% of Tot Asset"};
constexpr CColumn kPrice = {"UnitPrice", "PRICETYPE", "Sales Price"};
constexpr CColumn kRetail = {"RetailValueOnHand", "AMTTYPE", "Retail Value"};
constexpr CColumn kRetailPercent = {"PercentOfTotalRetail", "PERCENTTYPE", "% of Tot Retail"};

// Quantities are kept to five decimals; anything smaller is noise of the arithmetic.
double tidyQuantity(double quantity) {
    const double rounded = std::round(quantity * 100000.0) / 100000.0;
    return rounded == 0 ? 0.0 : rounded;
}

std::string percentText(std::int64_t part, std::int64_t total) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(part) * 100.0 / static_cast<double>(total));
    return std::string(text) == "-0.0" ? "0.0" : text;
}

std::string asOfText(const std::string& date) {
    static const char* months[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
    const int month = std::stoi(date.substr(5, 2));
    return "As of " + std::string(months[month - 1]) + " " + std::to_string(std::stoi(date.substr(8, 2))) +
           ", " + date.substr(0, 4);
}

}  // namespace

std::vector<std::string> CQbSimEngine::valuationKinds(const std::optional<std::string>& itemTypeFilter) {
    if (!itemTypeFilter || *itemTypeFilter == "InventoryAndAssembly" ||
        *itemTypeFilter == "AllExceptFixedAsset")
        return {"ItemInventory", "ItemInventoryAssembly"};
    if (*itemTypeFilter == "Inventory") return {"ItemInventory"};
    if (*itemTypeFilter == "Assembly") return {"ItemInventoryAssembly"};
    return {};
}

std::vector<CQbSimEngine::CValuationRow> CQbSimEngine::valuationSummary(
    const std::string& date, const std::vector<std::string>& kinds, const std::set<std::int64_t>* only) {
    valuation->evaluateThrough(date);

    struct CNode {
        std::int64_t row;
        std::string kind, name, fullName;
        std::optional<std::int64_t> parent;
        bool active;
        std::optional<std::string> description;
        std::optional<double> price;
        CQbSimValuation::CState state;
        std::vector<std::size_t> children;
    };
    std::vector<CNode> nodes;
    std::map<std::int64_t, std::size_t> byRow;
    CQbSimStmt items(db, "SELECT lo.id, lo.kind, lo.name, lo.full_name, lo.parent_id, lo.is_active, "
                         "i.sales_desc, i.sales_price FROM list_object lo JOIN item i ON i.id = lo.id "
                         "WHERE lo.name_space = 'Item' ORDER BY lo.name COLLATE NOCASE, lo.id");
    while (items.step()) {
        CNode n{items.integer(0), items.text(1), items.text(2), items.text(3), items.optInteger(4),
                items.integer(5) != 0, items.optText(6), items.optReal(7), {}, {}};
        byRow.emplace(n.row, nodes.size());
        nodes.push_back(std::move(n));
    }
    std::vector<std::size_t> roots;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        auto parent = nodes[i].parent ? byRow.find(*nodes[i].parent) : byRow.end();
        if (parent == byRow.end())
            roots.push_back(i);
        else
            nodes[parent->second].children.push_back(i);
    }

    std::vector<CValuationRow> rows;
    for (const std::string& kind : kinds) {
        // An item is listed when it is of the section's type and active, or inactive but
        // still holding stock or value, unless the company leaves inactive items out.
        const bool inactiveListed = !company.inactiveItemsHidden();
        std::vector<char> included(nodes.size(), 0), shown(nodes.size(), 0);
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (nodes[i].kind != kind || (only && only->count(nodes[i].row) == 0)) continue;
            nodes[i].state = valuation->stateAt(nodes[i].row, date);
            const bool holds = tidyQuantity(nodes[i].state.quantity) != 0 || nodes[i].state.valueCents != 0;
            included[i] = nodes[i].active || (inactiveListed && holds);
        }
        std::function<bool(std::size_t)> markShown = [&](std::size_t i) {
            bool any = included[i] != 0;
            for (std::size_t c : nodes[i].children) any = markShown(c) || any;
            shown[i] = any;
            return any;
        };
        bool anyShown = false;
        for (std::size_t r : roots) anyShown = markShown(r) || anyShown;
        if (!anyShown) continue;

        auto makeRow = [](CValuationRow::Kind k, std::string fullName, std::string label) {
            CValuationRow row;
            row.kind = k;
            row.fullName = std::move(fullName);
            row.label = std::move(label);
            return row;
        };
        auto dataRow = [&](const CNode& n, const std::string& label) {
            CValuationRow row;
            row.kind = CValuationRow::Data;
            row.fullName = n.fullName;
            row.label = label;
            row.description = n.description.value_or("");
            row.quantity = tidyQuantity(n.state.quantity);
            row.valueCents = n.state.valueCents;
            const double average = std::round(valuation->averageCost(n.row, n.state) * 100000.0) / 100000.0;
            row.averageCost = average == 0 ? 0.0 : average;
            if (n.price && *n.price != 0) {
                row.salesPrice = n.price;
                row.retailCents = static_cast<std::int64_t>(std::llround(row.quantity * *n.price * 100.0));
            }
            return row;
        };
        auto addTo = [](CValuationRow& sum, const CValuationRow& row) {
            sum.quantity = tidyQuantity(sum.quantity + row.quantity);
            sum.valueCents += row.valueCents;
            if (row.retailCents) sum.retailCents = sum.retailCents.value_or(0) + *row.retailCents;
        };
        std::function<void(std::size_t, CValuationRow&)> emit = [&](std::size_t i, CValuationRow& sum) {
            const CNode& n = nodes[i];
            const bool hasChildren = std::any_of(n.children.begin(), n.children.end(),
                                                 [&](std::size_t c) { return shown[c] != 0; });
            if (!hasChildren) {
                rows.push_back(dataRow(n, n.name));
                addTo(sum, rows.back());
                return;
            }
            rows.push_back(makeRow(CValuationRow::Text, "", n.name));
            CValuationRow subtotal = makeRow(CValuationRow::Subtotal, n.fullName, "Total " + n.name);
            for (std::size_t c : n.children)
                if (shown[c]) emit(c, subtotal);
            if (included[i]) {
                rows.push_back(dataRow(n, n.name + " - Other"));
                addTo(subtotal, rows.back());
            }
            rows.push_back(subtotal);
            addTo(sum, subtotal);
        };
        const std::string section = kind == "ItemInventory" ? "Inventory" : "Assembly";
        rows.push_back(makeRow(CValuationRow::Text, "", section));
        CValuationRow sectionTotal = makeRow(CValuationRow::Subtotal, "", "Total " + section);
        for (std::size_t r : roots)
            if (shown[r]) emit(r, sectionTotal);
        rows.push_back(sectionTotal);
    }
    CValuationRow total;
    total.kind = CValuationRow::Total;
    total.label = "TOTAL";
    for (const auto& row : rows)
        if (row.kind == CValuationRow::Subtotal && row.fullName.empty()) {
            total.quantity = tidyQuantity(total.quantity + row.quantity);
            total.valueCents += row.valueCents;
            if (row.retailCents) total.retailCents = total.retailCents.value_or(0) + *row.retailCents;
        }
    rows.push_back(total);
    return rows;
}

std::set<std::int64_t> CQbSimEngine::reportItems(xmlNodePtr filter) {
    // The items a ReportItemFilter names by ListID or FullName, or with their sub-items
    // by ListIDWithChildren or FullNameWithChildren. A name that is no item is refused
    // as any other reference to an item that does not exist.
    std::set<std::int64_t> rows;
    std::function<void(std::int64_t)> withChildren = [&](std::int64_t row) {
        if (!rows.insert(row).second) return;
        CQbSimStmt children(db, "SELECT id FROM list_object WHERE name_space = 'Item' AND parent_id = ?");
        children.bind(1, row);
        std::vector<std::int64_t> found;
        while (children.step()) found.push_back(children.integer(0));
        for (std::int64_t child : found) withChildren(child);
    };
    for (xmlNodePtr child : qbsimElements(filter)) {
        const std::string name = qbsimName(child);
        const bool byId = name == "ListID" || name == "ListIDWithChildren";
        if (!byId && name != "FullName" && name != "FullNameWithChildren") continue;
        const std::string value = qbsimText(child);
        const auto found = findList("Item", byId ? &value : nullptr, byId ? nullptr : &value);
        if (!found) throw qbsimstatus::invalidReference("Item", value, "report item filter");
        if (name.ends_with("WithChildren"))
            withChildren(found->row);
        else
            rows.insert(found->row);
    }
    return rows;
}

void CQbSimEngine::generalSummaryReportQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const std::string type = qbsimChildText(rq, "GeneralSummaryReportType").value_or("");
    if (type != "InventoryValuationSummary")
        throw qbsimstatus::invalidValue("GeneralSummaryReportType", type,
                                        "This company file can only produce the inventory "
                                        "valuation summary.");
    std::string from, to;
    if (xmlNodePtr period = qbsimChild(rq, "ReportPeriod")) {
        from = qbsimChildText(period, "FromReportDate").value_or("");
        to = qbsimChildText(period, "ToReportDate").value_or("");
    }
    // The value-format check passes over elements that hold elements, so a date made of
    // markup arrives here; it is no date.
    if (!from.empty() && !qbsimIsDate(from)) throw qbsimstatus::invalidDate("FromReportDate", from);
    if (!to.empty() && !qbsimIsDate(to)) throw qbsimstatus::invalidDate("ToReportDate", to);
    if (!from.empty() && !to.empty() && to < from)
        throw CQbSimStatus(3030, "Error",
                           "The date range is invalid: the from date \"" + from +
                               "\" is after the to date \"" + to + "\".");
    if (to.empty()) to = qbsimToday();
    std::optional<std::string> itemType;
    std::optional<std::set<std::int64_t>> named;
    if (xmlNodePtr filter = qbsimChild(rq, "ReportItemFilter")) {
        itemType = qbsimChildText(filter, "ItemTypeFilter");
        if (!itemType) named = reportItems(filter);
    }

    const auto rows = valuationSummary(to, valuationKinds(itemType), named ? &*named : nullptr);
    const bool units = company.unitsOfMeasure();
    std::vector<CColumn> columns = {kLabel, kDescription, kOnHand};
    if (units) columns.push_back(kUnit);
    for (const CColumn& c : {kAverage, kValue, kValuePercent, kPrice, kRetail, kRetailPercent})
        columns.push_back(c);
    // The cell id of each column in the rows: the U/M column has none unless counted.
    const bool unitCounted = company.unitColumnNumbered();
    auto cellId = [&](const CColumn& column) {
        int id = 0;
        for (const CColumn& c : columns) {
            if (!unitCounted && std::string(c.type) == kUnit.type) continue;
            ++id;
            if (std::string(c.type) == column.type) return id;
        }
        return 0;
    };

    std::int64_t totalValue = 0, totalRetail = 0;
    for (const auto& row : rows)
        if (row.kind == CValuationRow::Total) {
            totalValue = row.valueCents;
            totalRetail = row.retailCents.value_or(0);
        }

    out.open("ReportRet");
    out.leaf("ReportTitle", "Inventory Valuation Summary");
    out.leaf("ReportSubtitle", asOfText(to));
    out.leaf("NumRows", std::to_string(rows.size()));
    out.leaf("NumColumns", std::to_string(columns.size()));
    out.leaf("NumColTitleRows", "1");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out.openWithAttributes("ColDesc", {{"colID", std::to_string(i + 1)}, {"dataType", columns[i].dataType}});
        Attrs title = {{"titleRow", "1"}};
        if (columns[i].title) title.emplace_back("value", columns[i].title);
        out.openWithAttributes("ColTitle", title, true);
        out.leaf("ColType", columns[i].type);
        out.close();
    }
    out.open("ReportData");
    int rowNumber = 0;
    for (const auto& row : rows) {
        const std::string number = std::to_string(++rowNumber);
        if (row.kind == CValuationRow::Text) {
            out.openWithAttributes("TextRow", {{"rowNumber", number}, {"value", row.label}}, true);
            continue;
        }
        const char* tag = row.kind == CValuationRow::Data       ? "DataRow"
                          : row.kind == CValuationRow::Subtotal ? "SubtotalRow"
                                                                : "TotalRow";
        out.openWithAttributes(tag, {{"rowNumber", number}});
        if (!row.fullName.empty())
            out.openWithAttributes("RowData", {{"rowType", "item"}, {"value", row.fullName}}, true);
        auto cell = [&](const CColumn& column, const std::string& value) {
            out.openWithAttributes("ColData", {{"colID", std::to_string(cellId(column))}, {"value", value}},
                                   true);
        };
        cell(kLabel, row.label);
        if (!row.description.empty()) cell(kDescription, row.description);
        cell(kOnHand, qbsimQuantityText(row.quantity));
        if (row.averageCost) cell(kAverage, qbsimPriceText(*row.averageCost));
        cell(kValue, qbsimAmountText(row.valueCents));
        if (totalValue != 0) cell(kValuePercent, percentText(row.valueCents, totalValue));
        if (row.salesPrice) cell(kPrice, qbsimPriceText(*row.salesPrice));
        if (row.retailCents) {
            cell(kRetail, qbsimAmountText(*row.retailCents));
            if (totalRetail != 0) cell(kRetailPercent, percentText(*row.retailCents, totalRetail));
        }
        out.close();
    }
    out.close();
    out.close();
}
