#include "triage/report/report_lines.h"

#include <cstdlib>

#include "log/report_texts.h"
#include "triage/text_util.h"

namespace triage {

namespace {

ReportLines Build()
{
    ReportLines lines;
    // The mark's blank ends the line, and so is read without it.
    lines.errorMark = std::string(WithoutEndBlanks(ToUtf8(kErrorPrefix)));
    lines.warningMark = std::string(WithoutEndBlanks(ToUtf8(kWarningPrefix)));
    lines.bannerRule = FixedLine(kStartBanner, 0);
    lines.startTime = FormatLine(kStartBanner, 1);
    lines.endTime = FormatLine(kEndBanner, 1);
    lines.startLead = lines.startTime.Lead();
    lines.endLead = lines.endTime.Lead();
    lines.ok = FixedLine(kOk);
    lines.prompt = FixedLine(kPrompt);
    lines.logErrors = {FormatLine(kCannotSetFilePointer), FormatLine(kCannotWrite), FormatLine(kShortWrite),
                       FormatLine(kCannotCloseFile)};
    return lines;
}

}  // namespace

const ReportLines& Lines()
{
    static const ReportLines lines = Build();
    return lines;
}

bool IsBanner(std::string_view line)
{
    return StartsWith(line, Lines().startLead) || StartsWith(line, Lines().endLead);
}

std::string_view WithoutMark(std::string_view line)
{
    line = WithoutEndBlanks(line);
    for (const std::string* mark : {&Lines().errorMark, &Lines().warningMark}) {
        if (EndsWith(line, *mark))
            line.remove_suffix(mark->size());
    }
    return line;
}

std::int64_t Number(const std::string& text, int base)
{
    return std::strtoll(text.c_str(), nullptr, base);
}

OptText IsoTime(const std::vector<std::string>& f)
{
    if (f.size() != 6)
        return std::nullopt;
    auto two = [](const std::string& s) { return s.size() == 1 ? "0" + s : s; };
    return f[0] + "-" + two(f[1]) + "-" + two(f[2]) + "T" + two(f[3]) + ":" + two(f[4]) + ":" + two(f[5]) + "Z";
}

}  // namespace triage
