#include "triage/report/foreign_lines.h"

#include <cctype>

#include "triage/text_util.h"

namespace triage {

namespace {

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Digits from `at`; how many.
std::size_t Digits(std::string_view text, std::size_t at)
{
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    return end - at;
}

}  // namespace

bool IsCmdPromptLine(std::string_view line)
{
    line = line.substr(Indentation(line));
    if (line.size() < 3 || !std::isalpha(static_cast<unsigned char>(line[0])) || line[1] != ':' || line[2] != '\\')
        return false;
    // The path holds no character a Windows path may not, up to the '>'.
    for (std::size_t i = 3; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '>')
            return true;
        if (c == '<' || c == '|' || c == '"' || c == '*' || c == '?' || c == ':')
            return false;
    }
    return false;
}

// "2", "2 of 5", "2/5", "2 / 5": a page's number, perhaps with the count.
bool IsPageCount(std::string_view text)
{
    const std::size_t number = Digits(text, 0);
    if (number == 0 || number > 4)
        return false;
    const std::string_view rest = text.substr(number);
    if (rest.empty())
        return true;
    for (std::string_view of : {" of ", "/", " / "}) {
        if (StartsWith(rest, of)) {
            const std::size_t count = Digits(rest, of.size());
            return count > 0 && count <= 4 && of.size() + count == rest.size();
        }
    }
    return false;
}

// A footer or a header that counts pages: "Page 2 of 5", "- 2 -", a file
// name and a date before "Page 2/5", or a page's number alone after a gap
// of three blanks or more.
bool IsPageNumberLine(std::string_view line)
{
    line = WithoutEndBlanks(line.substr(Indentation(line)));
    if (line.empty() || line.size() > 200)
        return false;
    std::string lower(line);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string_view text = lower;
    const std::size_t page = text.rfind("page ");
    if (page != std::string_view::npos && (page == 0 || IsBlank(text[page - 1])) && IsPageCount(text.substr(page + 5)))
        return true;
    if (StartsWith(text, "- ") && EndsWith(text, " -") && text.size() > 4 &&
        Digits(text, 2) == text.size() - 4)
        return true;
    const std::size_t gap = text.rfind("   ");
    const std::size_t after = gap == std::string_view::npos ? gap : text.find_first_not_of(' ', gap);
    return after != std::string_view::npos && IsPageCount(text.substr(after));
}

}  // namespace triage
