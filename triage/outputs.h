#pragma once

// A completed run's record as JSON Lines, CSV or a short text (the HTML page
// is html_output.h).

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "triage/record.h"

namespace triage {

nlohmann::ordered_json RecordJson(const RunRecord& record);

void WriteCsvHeader(std::ostream& out);
void WriteCsvRow(std::ostream& out, const RunRecord& record);
// RFC 4180: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

void WriteTextSummary(std::ostream& out, const RunRecord& record);

}  // namespace triage
