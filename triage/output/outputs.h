#pragma once

// A completed run's record as JSON Lines, CSV or a short text (the HTML page
// is html_output.h).

#include <cstddef>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "triage/output/text_out.h"
#include "triage/report/record.h"

namespace triage {

nlohmann::ordered_json RecordJson(const RunRecord& record);

void WriteCsvHeader(TextOut& out);
void WriteCsvRow(TextOut& out, const RunRecord& record);
inline void WriteCsvHeader(std::ostream& out)
{
    ToStream(out, [](TextOut& to) { WriteCsvHeader(to); });
}
inline void WriteCsvRow(std::ostream& out, const RunRecord& record)
{
    ToStream(out, [&record](TextOut& to) { WriteCsvRow(to, record); });
}
// RFC 4180: quoted when it holds a comma, a quote or a line break; a cell
// that a spreadsheet would take as a formula gets a leading '.
std::string CsvField(const std::string& text);

// Lines of the text summary are cut here, with a count of what was left out.
inline constexpr std::size_t kTextWidth = 400;
void WriteTextSummary(std::ostream& out, const RunRecord& record);
// `line` cut after `width` characters, followed by how many were left out.
std::string CutForText(const std::string& line, std::size_t width);

// The product as the summary and the page name it: its version, "not
// installed", "not reached", or what an incomplete installation left.
std::string ProductSummary(const RunRecord& record);
// "10.0.19045 x64", with "?" for what the log lacks, or "not reached".
std::string WindowsSummary(const RunRecord& record);
// The CSV's fix column: "imported", "failed", or empty where /fix did not run.
const char* FixOutcome(const RunRecord& record);

}  // namespace triage
