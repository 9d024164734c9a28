#pragma once

// The fifth layer: a run's record as JSON Lines, CSV, a short text, or an
// HTML page for one run or a fleet.

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "triage/record.h"

namespace triage {

nlohmann::ordered_json RecordJson(const RunRecord& record);

void WriteCsvHeader(std::ostream& out);
void WriteCsvRow(std::ostream& out, const RunRecord& record);
// RFC 4180: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

void WriteTextSummary(std::ostream& out, const RunRecord& record);

// What the HTML page keeps of a run: the record without its bulk.
struct HtmlRun {
    nlohmann::ordered_json record;
    std::vector<std::pair<std::string, std::string>> tiles;  // check title, status
    std::string verdict;
    std::string raw;
    bool rawCut = false;
};
// A page shows boards for the first runs only; the others keep what the
// fleet table needs, so that a fleet page's memory stays small per run.
inline constexpr std::size_t kHtmlBoards = 1000;
HtmlRun ForHtml(const RunRecord& record);
// Keeps only what the fleet table shows of a run beyond the boards.
void DropBoard(HtmlRun& run);
void WriteHtml(std::ostream& out, const std::vector<HtmlRun>& runs);
// The page's style sheet and its body alone (fleet view and boards), for a
// page that hosts them in its own document.
const char* HtmlStyle();
void WriteHtmlBody(std::ostream& out, const std::vector<HtmlRun>& runs);

}  // namespace triage
