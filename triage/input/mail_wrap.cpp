// Where a mail client may have wrapped a report line, and how its parts
// join again.

#include "triage/input/mail_wrap.h"

#include "triage/text_util.h"

namespace triage {

namespace {

// The narrowest and widest limits mail clients wrap at.
constexpr std::size_t kNarrowestWrap = 72;
constexpr std::size_t kWidestWrap = 78;
constexpr std::size_t kTabStop = 8;

}  // namespace

std::size_t Columns(std::string_view text)
{
    std::size_t columns = 0;
    for (char c : text) {
        if (c == '\t')
            columns += kTabStop - columns % kTabStop;
        else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++columns;
    }
    return columns;
}

bool FitsMailLine(std::string_view line)
{
    return Columns(line) <= kWidestWrap;
}

bool WrapBefore(std::string_view line, std::string_view next)
{
    if (next.empty() || IsBlank(next.front()) || Columns(line) > kWidestWrap)
        return false;
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    std::size_t word = 0;
    while (word < next.size() && !IsBlank(next[word]))
        ++word;
    // A client that keeps the blank at its wrap (format=flowed) may count
    // it: the word then did not fit when it would have ended the line.
    return Columns(line) + 1 + Columns(next.substr(0, word)) >= kNarrowestWrap;
}

std::vector<const char*> WrapSeparators(std::string_view part)
{
    if (IsBlank(part.back()))
        return {""};
    if (part.find_first_of(" \t") == std::string_view::npos && Columns(part) >= kNarrowestWrap)
        return {"", " "};
    return {" ", ""};
}

}  // namespace triage
