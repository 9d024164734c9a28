#pragma once

// Lines that come with a report without being its own: cmd's prompt and the
// command typed at it around a console copy, and a printed page's furniture
// (the form feed that starts a page, its header of file name, date and page
// number, a "Page 2 of 5" footer). They are listed as unrecognised where
// they stand, and never count against a section or hold a fact.

#include <string_view>

namespace triage {

// "C:\Users\Ann>zemlodiag.exe /fix", "C:\Users\Ann>".
bool IsCmdPromptLine(std::string_view line);
// A line that starts a printed page (after its form feed) and does not
// read as the report's, or a footer's page count.
bool IsPageNumberLine(std::string_view line);
inline bool StartsPrintedPage(std::string_view line)
{
    return !line.empty() && line.front() == '\f';
}

}  // namespace triage
