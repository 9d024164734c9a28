#pragma once

// Lines every part of the reader knows, built once from the diagnostic's
// texts: the banners, the marks the log puts before a message, the plain
// "OK", the closing prompt and the log's own write errors; and the value
// conversions the section parsers share.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "triage/report/format_match.h"
#include "triage/report/record.h"

namespace triage {

struct ReportLines {
    std::string errorMark, warningMark;  // "error:" / "warning:" ending the line before a message
    std::string bannerRule;
    LinePattern startTime, endTime;
    std::string startLead, endLead;
    std::string ok;
    std::string prompt;
    std::vector<LinePattern> logErrors;  // the log file's own write errors, in any section
};
const ReportLines& Lines();

bool IsBanner(std::string_view line);  // a start or end time line
// The line without the mark that ends it, if any.
std::string_view WithoutMark(std::string_view line);

std::int64_t Number(const std::string& text, int base = 10);
// "2026.12.08 05:23.35" as ISO 8601 UTC; masked or damaged times give nothing.
OptText IsoTime(const std::vector<std::string>& fields);

}  // namespace triage
