#pragma once

// Small text helpers the reader, the diagnosis and the outputs share.

#include <utf8.h>

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

}  // namespace triage
