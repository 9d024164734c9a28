#pragma once

// Small text helpers the reader, the diagnosis and the outputs share.

#include <utf8.h>

#include <cctype>
#include <iterator>
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

// Text that is not UTF-8 (a file name as unzip leaves a CP866 one on Linux)
// is shown with U+FFFD for each byte or broken sequence outside a UTF-8
// character; the outputs that must keep it whole add its bytes in hex.
inline bool IsUtf8(std::string_view text)
{
    return utf8::is_valid(text.begin(), text.end());
}

inline std::string Utf8Replaced(std::string_view text)
{
    std::string out;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(out), 0xFFFD);
    return out;
}

inline std::string HexBytes(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        out += kDigits[static_cast<unsigned char>(byte) >> 4];
        out += kDigits[static_cast<unsigned char>(byte) & 0xF];
    }
    return out;
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

// The text without the blanks at either end.
inline std::string_view Trimmed(std::string_view text)
{
    return WithoutEndBlanks(text.substr(Indentation(text)));
}

// ASCII letters made small: header names, keywords and tags compare so.
inline std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The line without up to `margin` of its leading blanks.
inline std::string_view WithoutMargin(std::string_view line, std::size_t margin)
{
    const std::size_t indentation = Indentation(line);
    return line.substr(indentation < margin ? indentation : margin);
}

// Invisible format characters that reorder or hide text (the bidi
// embeddings, overrides and isolates, the direction marks, zero-width
// spaces): a right-to-left override in a log would show a value reversed.
inline bool IsHiddenFormatCharacter(char32_t c)
{
    return c == 0x061C || c == 0x180E || c == 0x200B || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF;
}

// `text` (UTF-8) for a person to read: each hidden format character shown
// as "<U+202E>". JSON and CSV keep the text as it was.
inline std::string WithFormatCharactersShown(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        // Every such character is two or three bytes long in UTF-8.
        const std::size_t length = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 1;
        char32_t c = 0;
        if (length > 1 && at + length <= text.size()) {
            c = lead & (length == 2 ? 0x1F : 0x0F);
            for (std::size_t i = 1; i < length; ++i)
                c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
        }
        if (length > 1 && IsHiddenFormatCharacter(c)) {
            static const char kHex[] = "0123456789ABCDEF";
            out += "<U+";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHex[(c >> shift) & 0xF];
            out += '>';
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    return out;
}

}  // namespace triage
