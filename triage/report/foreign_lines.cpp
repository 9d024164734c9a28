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

// "Page 2 of 5", "Page 2/5", "- 2 -", "2 / 5", "2 of 5", or a printer's
// header that ends in the page's number after a wide gap.
bool IsPageNumberLine(std::string_view line)
{
    line = WithoutEndBlanks(line.substr(Indentation(line)));
    if (line.empty())
        return false;
    std::string lower(line);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string_view text = lower;
    std::size_t at = 0;
    if (StartsWith(text, "page "))
        at = 5;
    else if (StartsWith(text, "- "))
        at = 2;
    const std::size_t number = Digits(text, at);
    if (number > 0 && number <= 4) {
        std::string_view rest = text.substr(at + number);
        if (rest.empty() || rest == " -")
            return at > 0;
        for (std::string_view of : {" of ", "/", " / "}) {
            if (StartsWith(rest, of) && Digits(rest, of.size()) > 0 && Digits(rest, of.size()) == rest.size() - of.size())
                return true;
        }
    }
    // A header: text, a gap of at least three blanks, the page's number.
    const std::size_t digits = text.size() - text.find_last_not_of("0123456789") - 1;
    return digits > 0 && digits <= 4 && digits < text.size() && EndsWith(text.substr(0, text.size() - digits), "   ");
}

}  // namespace triage
