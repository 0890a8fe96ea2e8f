// The run's page, written as text: HTML with an inline style sheet and two inline SVG
// charts whose geometry is computed here. Numbers go through qblib's locale-free
// formatting, so a toolkit that switches LC_NUMERIC cannot put a decimal comma into an
// amount or a coordinate. The charts are laid out for a view box 860 units wide, which a
// window 900 pixels wide shows at about its natural size.
#include "runpage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "files.h"
#include "qbutils.h"
#include "qbxml.h"

namespace {

constexpr double kChartWidth = 860;
// Amounts beyond this are drawn at this size: no valuation comes near it, and the
// geometry's arithmetic stays finite whatever the summary holds.
constexpr double kPlotLimit = 1e15;
// The width of a character of the charts' 12-unit text, generously: labels are given
// room by their length.
constexpr double kCharWidth = 7;
// The least distance between two dates on the day axis.
constexpr double kDateGap = 96;
// The tables under the charts are open at first up to this many rows.
constexpr std::size_t kOpenRows = 31;
// Item names in the bar chart are cut to this many characters (the table has them whole).
constexpr std::size_t kLabelChars = 34;
constexpr std::size_t kLargestItems = 10;

const char* const kIncreaseColour = "#15803d";
const char* const kDecreaseColour = "#b91c1c";

const char* const kStyle = R"(
:root { color-scheme: light; }
body { margin: 0; background: #f3f4f6; color: #1f2937;
  font: 15px/1.5 system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial, sans-serif; }
main { max-width: 900px; margin: 0 auto; padding: 28px 24px 40px; background: #fff; }
h1 { font-size: 1.55rem; line-height: 1.25; margin: 0 0 4px; }
h2 { font-size: 1.15rem; margin: 32px 0 10px; padding-bottom: 4px; border-bottom: 1px solid #d1d5db; }
p { margin: 8px 0; }
.period { color: #4b5563; margin: 0; }
.figures { display: grid; grid-template-columns: repeat(auto-fit, minmax(150px, 1fr)); gap: 10px; margin: 0; }
.figures div { border: 1px solid #d1d5db; border-radius: 6px; padding: 8px 12px; }
.figures dt { font-size: 0.82rem; color: #4b5563; }
.figures dd { margin: 0; font-size: 1.2rem; font-weight: 600; font-variant-numeric: tabular-nums; white-space: nowrap; }
.note { border-left: 4px solid #6b7280; background: #f9fafb; padding: 8px 12px; }
.ok { border-color: #15803d; background: #f0fdf4; }
.attention { border-color: #b45309; background: #fffbeb; }
table { border-collapse: collapse; width: 100%; font-size: 0.9rem; }
caption { text-align: left; color: #4b5563; padding: 4px 0; }
th, td { padding: 4px 8px; border-bottom: 1px solid #e5e7eb; text-align: left; vertical-align: top; }
th { font-weight: 600; background: #f9fafb; }
.day { white-space: nowrap; font-variant-numeric: tabular-nums; }
.more { color: #4b5563; font-size: 0.85rem; }
.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
figure { margin: 0; }
figcaption { color: #4b5563; font-size: 0.9rem; margin-bottom: 4px; }
svg { display: block; width: 100%; max-width: 860px; height: auto; }
svg text { font-family: inherit; font-size: 12px; fill: #374151; }
details { margin-top: 8px; }
summary { cursor: pointer; color: #1d4ed8; }
a { color: #1d4ed8; }
@media print {
  body { background: #fff; font-size: 10.5pt; }
  main { max-width: none; padding: 0; }
  a { color: inherit; }
  figure, .figures, tr { break-inside: avoid; }
}
)";

// The file name as a relative link: every byte but letters, digits, "-._~" and "/" is
// percent-encoded, so no name can become a link elsewhere or lose a part after "#" or "?".
std::string relativeHref(std::string_view fileName) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : fileName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

// 1234567.891 gives "1,234,567.89"; a negative amount keeps its minus sign, and one that
// rounds to zero loses it.
std::string coord(double value) {
    const std::string text = fixedText(value, 1);
    return text == "-0.0" ? "0.0" : text;
}

double plotted(double value) {
    if (!std::isfinite(value)) return 0;
    return std::clamp(value, -kPlotLimit, kPlotLimit);
}

// Characters (UTF-8 code points) of the text.
std::size_t charCount(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The text cut to at most `most` characters, an ellipsis standing for the rest; never cut
// inside a character.
std::string shortened(const std::string& text, std::size_t most) {
    if (charCount(text) <= most) return text;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == most - 1) return text.substr(0, i) + "\xE2\x80\xA6";
    }
    return text;
}

double textWidth(std::string_view text) { return static_cast<double>(charCount(text)) * kCharWidth; }

// A value axis with a few round ticks (1, 2, 2.5 or 5 times a power of ten apart) that
// takes in lo..hi. A flat range is widened around its value, so the scale never divides
// by zero.
struct CValueAxis {
    double lo = 0;
    double hi = 1;
    std::vector<double> ticks;
    int decimals = 0;
};

CValueAxis valueAxis(double lo, double hi) {
    if (hi - lo < 1e-9 * std::max(1.0, std::fabs(hi))) {
        const double pad = std::max(1.0, std::fabs(hi) * 0.05);
        lo = lo >= 0 && lo - pad < 0 ? 0 : lo - pad;
        hi += pad;
    }
    const double rough = (hi - lo) / 4;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    const double step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 2.5 ? 2.5 : fraction <= 5 ? 5 : 10) * power;
    CValueAxis axis;
    const double first = std::floor(lo / step);
    const double last = std::ceil(hi / step);
    axis.lo = first * step;
    axis.hi = last * step;
    const int count = static_cast<int>(last - first);
    for (int i = 0; i <= count; ++i) axis.ticks.push_back((first + i) * step);
    axis.decimals = step < 1 || step != std::floor(step) ? 2 : 0;
    return axis;
}

// --- parts of the page ---

std::string figure(const std::string& label, const std::string& value) {
    return "<div><dt>" + label + "</dt><dd>" + value + "</dd></div>\n";
}

std::string summaryPart(const CRunSummary& summary, const std::string& csvFileName) {
    std::string out = "<section aria-labelledby=\"summary\">\n<h2 id=\"summary\">What the run did</h2>\n";
    out += "<dl class=\"figures\">\n";
    out += figure("Days processed", std::to_string(summary.daysProcessed));
    out += figure("Days calculated", std::to_string(summary.daysCalculated));
    out += figure("Postings", std::to_string(summary.postings));
    out += figure("Total increase", groupedAmountText(summary.increase));
    out += figure("Total decrease", groupedAmountText(summary.decrease));
    out += "</dl>\n";
    out += "<p>Days calculated are those with sales, adjustments or builds. Every figure of every item "
           "and day is in the report: <a href=\"" +
           relativeHref(csvFileName) + "\">" + escapeText(csvFileName) + "</a>.</p>\n</section>\n";
    return out;
}

std::string proofPart(const CRunSummary& summary) {
    std::string out = "<section aria-labelledby=\"proof\">\n<h2 id=\"proof\">Proof</h2>\n";
    if (!summary.proofMade) {
        return out + "<p class=\"note attention\">QuickBooks' values were not read back after the run, so "
                     "there is no proof that they are the FIFO values.</p>\n</section>\n";
    }
    const bool all = summary.proofMatched == summary.proofItems;
    out += std::string("<p class=\"note ") + (all ? "ok" : "attention") +
           "\">QuickBooks now carries the FIFO value of " + std::to_string(summary.proofMatched) + " of " +
           std::to_string(summary.proofItems) + " items on hand (" + summary.proofDay.userDateText() + ").";
    out += " Its values of every item on that day were read back after the run and compared with the FIFO "
           "values; it carries " +
           groupedAmountText(summary.onHandValue) + " for the items on hand.";
    if (!all) out += " The items that differ are listed under Exceptions.";
    out += " The report's last block lists each of them with its FIFO lots.";
    return out + "</p>\n</section>\n";
}

std::string exceptionsPart(const CRunSummary& summary) {
    std::string out = "<section aria-labelledby=\"exceptions\">\n<h2 id=\"exceptions\">Exceptions</h2>\n";
    if (summary.exceptions.empty()) return out + "<p class=\"note ok\">No exceptions.</p>\n</section>\n";
    const std::size_t count = summary.exceptions.size();
    out += "<p class=\"note attention\">" + std::to_string(count) + (count == 1 ? " item needs" : " items need") +
           " a look.</p>\n";
    out += "<table>\n<thead><tr><th scope=\"col\">Item</th><th scope=\"col\">Day</th>"
           "<th scope=\"col\">Reason</th></tr></thead>\n<tbody>\n";
    for (const CRunException& e : summary.exceptions) {
        out += "<tr><td>" + escapeText(e.item) + "</td><td class=\"day\">" + e.day.userDateText();
        // One row stands for an item left unvalued day after day.
        if (e.days > 1) {
            out += "<br><span class=\"more\">and " + std::to_string(e.days - 1) + (e.days == 2 ? " more day" : " more days") +
                   " to " + e.lastDay.userDateText() + "</span>";
        }
        out += "</td><td>" + escapeText(e.reason) + "</td></tr>\n";
    }
    return out + "</tbody>\n</table>\n</section>\n";
}

std::string svgOpen(double height, const std::string& id, const std::string& title, const std::string& desc) {
    return "<svg role=\"img\" aria-labelledby=\"" + id + "-title " + id + "-desc\" viewBox=\"0 0 " +
           coord(kChartWidth) + " " + coord(height) + "\" width=\"" + coord(kChartWidth) + "\" height=\"" +
           coord(height) + "\">\n<title id=\"" + id + "-title\">" + title + "</title>\n<desc id=\"" + id +
           "-desc\">" + desc + "</desc>\n";
}

std::string svgText(double x, double y, const char* anchor, const std::string& text) {
    return "<text x=\"" + coord(x) + "\" y=\"" + coord(y) + "\" text-anchor=\"" + anchor + "\">" + text + "</text>\n";
}

std::string svgLine(double x1, double y1, double x2, double y2, const std::string& style) {
    return "<line x1=\"" + coord(x1) + "\" y1=\"" + coord(y1) + "\" x2=\"" + coord(x2) + "\" y2=\"" + coord(y2) +
           "\" " + style + "/>\n";
}

std::string detailsOpen(std::size_t rows, const std::string& what) {
    return std::string("<details") + (rows <= kOpenRows ? " open" : "") + "><summary>" + what + "</summary>\n";
}

// The geometry of the day chart: days stand at their dates, so a weekend without sales
// shows as a gap; a bar is as wide as a day leaves room for, between 1 and 24 units.
struct CDayChart {
    static constexpr double height = 340;
    static constexpr double top = 44;
    static constexpr double bottom = 296;
    static constexpr double right = kChartWidth - 48;
    const std::vector<CRunDayCorrection>& days;
    CValueAxis axis;
    double left = 0;
    double firstTime = 0;
    double timeSpan = 0;
    double barWidth = 0;
    double inner = 0;

    explicit CDayChart(const std::vector<CRunDayCorrection>& corrections) : days(corrections) {
        double lo = 0;
        double hi = 0;
        for (const CRunDayCorrection& d : days) {
            lo = std::min(lo, plotted(d.amount));
            hi = std::max(hi, plotted(d.amount));
        }
        axis = valueAxis(lo, hi);
        double labelWidth = 0;
        for (double tick : axis.ticks) labelWidth = std::max(labelWidth, textWidth(groupedAmountText(tick, axis.decimals)));
        left = std::clamp(labelWidth + 16, 64.0, 200.0);
        firstTime = static_cast<double>(days.front().day.seconds());
        timeSpan = static_cast<double>(days.back().day.seconds()) - firstTime;
        const double spanDays = std::max(1.0, timeSpan / 86400.0 + 1);
        barWidth = std::clamp((right - left) / spanDays * 0.7, 1.0, 24.0);
        inner = barWidth / 2 + 2;
    }
    double xOf(std::size_t i) const {
        const std::size_t n = days.size();
        if (n == 1) return (left + right) / 2;
        const double share = timeSpan > 0 ? (static_cast<double>(days[i].day.seconds()) - firstTime) / timeSpan
                                          : static_cast<double>(i) / static_cast<double>(n - 1);
        return left + inner + (right - left - 2 * inner) * std::clamp(share, 0.0, 1.0);
    }
    double yOf(double v) const { return bottom - (bottom - top) * (plotted(v) - axis.lo) / (axis.hi - axis.lo); }
};

// What the day chart shows, for a reader who cannot see it.
std::string dayChartDescription(const std::vector<CRunDayCorrection>& days) {
    double largest = 0;
    std::size_t largestDay = 0;
    for (std::size_t i = 0; i < days.size(); ++i) {
        if (std::fabs(plotted(days[i].amount)) > largest) {
            largest = std::fabs(plotted(days[i].amount));
            largestDay = i;
        }
    }
    const std::string firstDay = days.front().day.userDateText();
    const std::string lastDay = days.back().day.userDateText();
    std::string desc = days.size() == 1 ? "Bar chart of the one calculated day, " + lastDay + ". "
                                        : "Bar chart of the " + std::to_string(days.size()) + " calculated days from " +
                                              firstDay + " to " + lastDay +
                                              ", increases up and decreases down from the zero line. ";
    return desc + "The largest: " + groupedAmountText(days[largestDay].amount) + " on " +
           days[largestDay].day.userDateText() + ".";
}

// The legend, a grid line and a label per value tick, and the day axis: the first and
// the last day and, between them, days far enough apart for their dates not to touch.
std::string dayChartAxes(const CDayChart& chart) {
    const double left = chart.left;
    std::string out = "<rect x=\"" + coord(left) + "\" y=\"12\" width=\"12\" height=\"12\" fill=\"" +
                      kIncreaseColour + "\"/>\n";
    out += svgText(left + 18, 22, "start", "Increase");
    out += "<rect x=\"" + coord(left + 110) + "\" y=\"12\" width=\"12\" height=\"12\" fill=\"" + kDecreaseColour +
           "\"/>\n";
    out += svgText(left + 128, 22, "start", "Decrease");
    for (double tick : chart.axis.ticks) {
        const double y = chart.yOf(tick);
        out += svgLine(left, y, chart.right, y, "stroke=\"#e5e7eb\" stroke-width=\"1\"");
        out += svgText(left - 8, y + 4, "end", groupedAmountText(tick, chart.axis.decimals));
    }
    out += svgLine(left, chart.bottom, chart.right, chart.bottom, "stroke=\"#6b7280\" stroke-width=\"1\"");
    const std::size_t n = chart.days.size();
    std::vector<std::size_t> labelled{0};
    for (std::size_t i = 1; i < n; ++i) {
        if (chart.xOf(i) - chart.xOf(labelled.back()) >= kDateGap) labelled.push_back(i);
    }
    if (labelled.back() != n - 1) {
        if (labelled.size() > 1 && chart.xOf(n - 1) - chart.xOf(labelled.back()) < kDateGap) labelled.pop_back();
        if (chart.xOf(n - 1) - chart.xOf(labelled.back()) >= kDateGap) labelled.push_back(n - 1);
    }
    for (std::size_t i : labelled) {
        const double x = chart.xOf(i);
        out += svgLine(x, chart.bottom, x, chart.bottom + 5, "stroke=\"#6b7280\" stroke-width=\"1\"");
        out += svgText(x, chart.bottom + 20, "middle", chart.days[i].day.userDateText());
    }
    return out;
}

// The bars; a correction too small to see at this scale still shows as a sliver.
std::string dayChartBars(const CDayChart& chart) {
    std::string out;
    const double zero = chart.yOf(0);
    for (std::size_t i = 0; i < chart.days.size(); ++i) {
        const double v = plotted(chart.days[i].amount);
        if (v == 0) continue;
        const double end = chart.yOf(v);
        double barTop = std::min(zero, end);
        double barHeight = std::max(1.0, std::fabs(end - zero));
        if (v < 0 && std::fabs(end - zero) < 1) barTop = zero;
        out += "<rect x=\"" + coord(chart.xOf(i) - chart.barWidth / 2) + "\" y=\"" + coord(barTop) + "\" width=\"" +
               coord(chart.barWidth) + "\" height=\"" + coord(barHeight) + "\" fill=\"" +
               (v > 0 ? kIncreaseColour : kDecreaseColour) + "\"/>\n";
    }
    return out + svgLine(chart.left, zero, chart.right, zero, "stroke=\"#374151\" stroke-width=\"1\"");
}

// The corrections of every calculated day: a bar per day at its date, up from a zero line
// for an increase and down for a decrease, and the table.
std::string dayChartPart(const CRunSummary& summary) {
    const std::vector<CRunDayCorrection>& days = summary.dayCorrections;
    std::string out = "<section aria-labelledby=\"days\">\n<h2 id=\"days\">Corrections day by day</h2>\n";
    if (days.empty()) return out + "<p>No day was calculated, so there is nothing to chart.</p>\n</section>\n";
    const CDayChart chart(days);
    out += "<figure>\n<figcaption>What each calculated day's corrections moved inventory by.</figcaption>\n";
    out += svgOpen(chart.height, "days-chart", "The corrections of each calculated day", dayChartDescription(days));
    out += dayChartAxes(chart) + dayChartBars(chart);
    out += "</svg>\n</figure>\n";
    const std::size_t n = days.size();
    out += detailsOpen(n, "The corrections of each day (" + std::to_string(n) + (n == 1 ? " day)" : " days)"));
    out += "<table>\n<thead><tr><th scope=\"col\">Day</th><th scope=\"col\" class=\"num\">Correction</th></tr>"
           "</thead>\n<tbody>\n";
    for (const CRunDayCorrection& d : days) {
        out += "<tr><td>" + d.day.userDateText() + "</td><td class=\"num\">" + groupedAmountText(d.amount) +
               "</td></tr>\n";
    }
    return out + "</tbody>\n</table>\n</details>\n</section>\n";
}

// The items' corrections as a table under their chart.
std::string itemTable(const std::vector<std::pair<std::string, double>>& items) {
    std::string out = detailsOpen(items.size(), "The corrections as a table");
    out += "<table>\n<thead><tr><th scope=\"col\">Item</th><th scope=\"col\" class=\"num\">Correction</th></tr>"
           "</thead>\n<tbody>\n";
    for (const auto& [name, amount] : items) {
        out += "<tr><td>" + escapeText(name) + "</td><td class=\"num\">" + groupedAmountText(amount) + "</td></tr>\n";
    }
    return out + "</tbody>\n</table>\n</details>\n</section>\n";
}

// One item's row of the chart: its name (cut, with the whole name as its title), its bar
// from the zero line to `end`, and its amount at the bar's end.
std::string itemRow(const std::string& name, double amount, double rowTop, double rowHeight, double names, double zero,
                    double end) {
    const double middle = rowTop + rowHeight / 2;
    const std::string label = shortened(name, kLabelChars);
    std::string out = "<text x=\"" + coord(names - 10) + "\" y=\"" + coord(middle + 4) + "\" text-anchor=\"end\">";
    if (label != name) out += "<title>" + escapeText(name) + "</title>";
    out += escapeText(label) + "</text>\n";
    const bool increase = plotted(amount) >= 0;
    double barLeft = std::min(zero, end);
    double barWidth = std::fabs(end - zero);
    // A correction too small to see at this scale still shows as a sliver.
    if (barWidth < 1 && plotted(amount) != 0) {
        barWidth = 1;
        if (!increase) barLeft = zero - 1;
    }
    out += "<rect x=\"" + coord(barLeft) + "\" y=\"" + coord(rowTop + 6) + "\" width=\"" + coord(barWidth) +
           "\" height=\"" + coord(rowHeight - 12) + "\" fill=\"" + (increase ? kIncreaseColour : kDecreaseColour) +
           "\"/>\n";
    return out + svgText(increase ? std::max(end, barLeft + barWidth) + 6 : barLeft - 6, middle + 4,
                         increase ? "start" : "end", groupedAmountText(amount));
}

// The items with the largest corrections: bars from a zero line, to the right for an
// increase and to the left for a decrease, each named and with its amount at its end.
std::string itemChartPart(const CRunSummary& summary) {
    const std::vector<std::pair<std::string, double>> items = summary.largestCorrections(kLargestItems);
    std::string out = "<section aria-labelledby=\"items\">\n<h2 id=\"items\">Largest corrections</h2>\n";
    if (items.empty()) return out + "<p>No item's value was corrected.</p>\n</section>\n";

    double lo = 0;
    double hi = 0;
    double nameWidth = 0;
    double leftRoom = 0;
    double rightRoom = 0;
    for (const auto& [name, amount] : items) {
        const double v = plotted(amount);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        nameWidth = std::max(nameWidth, textWidth(shortened(name, kLabelChars)));
        double& room = v < 0 ? leftRoom : rightRoom;
        room = std::max(room, textWidth(groupedAmountText(amount)) + 12);
    }
    constexpr double rowHeight = 30;
    constexpr double top = 8;
    const double height = top + rowHeight * static_cast<double>(items.size()) + 8;
    const double names = std::clamp(nameWidth + 16, 80.0, 260.0);
    const double plotLeft = names + std::min(leftRoom, 200.0);
    const double plotRight = kChartWidth - 8 - std::min(rightRoom, 200.0);
    const double zero = hi - lo > 0 ? plotLeft + (plotRight - plotLeft) * (-lo) / (hi - lo) : plotLeft;
    const auto xOf = [&](double v) { return hi - lo > 0 ? zero + (plotRight - plotLeft) * plotted(v) / (hi - lo) : zero; };

    const std::string title = "The " + std::to_string(items.size()) +
                              (items.size() == 1 ? " item" : " items") + " with the largest corrections";
    std::string desc = "Bar chart: increases to the right of the zero line, decreases to the left. Largest: " +
                       escapeText(items.front().first) + ", " + groupedAmountText(items.front().second) + ".";

    out += "<figure>\n<figcaption>Each item's corrections over the run, added up; the largest first.</figcaption>\n";
    out += svgOpen(height, "items-chart", title, desc);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const double rowTop = top + rowHeight * static_cast<double>(i);
        out += itemRow(items[i].first, items[i].second, rowTop, rowHeight, names, zero, xOf(items[i].second));
    }
    out += svgLine(zero, top - 4, zero, height - 4, "stroke=\"#374151\" stroke-width=\"1\"");
    out += "</svg>\n</figure>\n";
    return out + itemTable(items);
}

}  // namespace

std::string runPageHtml(const CRunSummary& summary, const std::string& companyName, const std::string& csvFileName) {
    const std::string title = "Lotwise FIFO valuation \xE2\x80\x94 " + escapeText(companyName);
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
                      title + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<main>\n";
    out += "<header>\n<h1>" + title + "</h1>\n<p class=\"period\">Period: " + summary.firstDay.userDateText() +
           " to " + summary.upTo.userDateText() + "</p>\n</header>\n";
    out += summaryPart(summary, csvFileName);
    out += proofPart(summary);
    out += exceptionsPart(summary);
    out += dayChartPart(summary);
    out += itemChartPart(summary);
    return out + "</main>\n</body>\n</html>\n";
}

bool writeRunPage(const std::string& path, const CRunSummary& summary, const std::string& companyName,
                  const std::string& csvFileName) {
    const std::string page = runPageHtml(summary, companyName, csvFileName);
    // Written beside and then moved over the old page, so that a page is always whole.
    const std::string partial = path + ".new";
    std::FILE* file = openFile(partial, "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written) std::filesystem::rename(pathFromUtf8(partial), pathFromUtf8(path), error);
    if (!written || error) {
        removeFile(partial);
        return false;
    }
    return true;
}
