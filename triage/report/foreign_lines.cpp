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
    // Asked of every line: most end in no digit, or are long.
    if (line.empty() || line.size() > 200 || (!IsDigit(line.back()) && line.back() != '-'))
        return false;
    if (StartsWith(line, "- ") && EndsWith(line, " -") && line.size() > 4 && Digits(line, 2) == line.size() - 4)
        return true;
    for (std::size_t page = line.rfind("age "); page != std::string_view::npos && page > 0;
         page = line.rfind("age ", page - 1)) {
        const char p = line[page - 1];
        if ((p == 'p' || p == 'P') && (page == 1 || IsBlank(line[page - 2])) && IsPageCount(line.substr(page + 4)))
            return true;
    }
    const std::size_t gap = line.rfind("   ");
    const std::size_t after = gap == std::string_view::npos ? gap : line.find_first_not_of(' ', gap);
    return after != std::string_view::npos && IsPageCount(line.substr(after));
}

}  // namespace triage
