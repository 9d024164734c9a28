#pragma once

// Small text helpers the reader, the diagnosis and the outputs share.

#include <string>
#include <string_view>
#include <vector>

namespace triage {

inline bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

inline bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The items with `separator` between them; an empty item adds no separator
// before the next one, as a list grown item by item would.
inline std::string Joined(const std::vector<std::string>& items, std::string_view separator)
{
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty())
            out += separator;
        out += item;
    }
    return out;
}

// An ISO time of the record ("2026-12-08T05:23:35Z") as people read it,
// naming UTC once: "2026-12-08 05:23:35 UTC".
inline std::string ShownUtc(const std::string& iso)
{
    if (iso.size() != 20 || iso[10] != 'T' || iso[19] != 'Z')
        return iso;
    return iso.substr(0, 10) + " " + iso.substr(11, 8) + " UTC";
}

// At most `maxBytes` of UTF-8 text, cut before a whole character, with "..."
// when cut.
inline std::string Shortened(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end)) + "...";
}

// Blanks at a line's ends say nothing of the report: editors and consoles
// take them off or add them (a console copy pads every line to the window's
// width, a Markdown code block indents by four, a paste turns tabs into
// spaces).
inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The line without the blanks that end it; `removed` counts them.
inline std::string_view WithoutEndBlanks(std::string_view line, std::size_t* removed = nullptr)
{
    std::size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1]))
        --end;
    if (removed != nullptr)
        *removed = line.size() - end;
    return line.substr(0, end);
}

// The number of blanks a line starts with.
inline std::size_t Indentation(std::string_view line)
{
    std::size_t at = 0;
    while (at < line.size() && IsBlank(line[at]))
        ++at;
    return at;
}

// The line without up to `margin` of its leading blanks.
inline std::string_view WithoutMargin(std::string_view line, std::size_t margin)
{
    const std::size_t indentation = Indentation(line);
    return line.substr(indentation < margin ? indentation : margin);
}

}  // namespace triage
