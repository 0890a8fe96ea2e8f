// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// The run's page: one self-contained HTML file that shows a bookkeeper what a valuation
// run changed, whether it worked and what needs a look. It holds the run summary's
// figures, the proof, the exceptions, a line chart of QuickBooks' total inventory value
// before and after each day's corrections and a bar chart of the largest corrections, each
// chart beside a table of its numbers. Nothing is fetched when the page is opened: the
// style and the charts (SVG) are inline, the fonts are the system's, there is no script.
// Every text that comes from the company file is escaped.
#pragma once

#include <string>

#include "runsummary.h"

// The page as UTF-8 text. `companyName` is the company's title as the user knows it;
// `csvFileName` is the report's file name relative to the page (the page links to it).
std::string runPageHtml(const CRunSummary& summary, const std::string& companyName,
                        const std::string& csvFileName);

// Writes runPageHtml(...) to the file named by the UTF-8 `path`, replacing any file of
// that name only once the new one is whole (it is written beside it first, as
// path + ".new"). False when the file cannot be written; an existing page is then kept.
bool writeRunPage(const std::string& path, const CRunSummary& summary, const std::string& companyName,
                  const std::string& csvFileName);
