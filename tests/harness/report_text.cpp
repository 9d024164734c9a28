#include "tests/harness/report_text.h"

#include <cwctype>

const wchar_t kMaskedStartBanner[] =
    L"\r\n###########################################\r\n"
    L"Log start time: ####.##.## ##:##.##\r\n"
    L"###########################################\r\n";
const wchar_t kMaskedEndBanner[] =
    L"\r\n###########################################\r\n"
    L"Log end time: ####.##.## ##:##.##\r\n"
    L"###########################################\r\n";

std::wstring Utf16LeToWide(const std::string& bytes)
{
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                     (static_cast<unsigned char>(bytes[at + 1]) << 8));
    }
    return text;
}

std::wstring Utf8ToWide(const std::string& bytes)
{
    constexpr wchar_t kReplacement = 0xFFFD;
    std::wstring text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        size_t length = 1;
        unsigned long point = lead;
        if (lead >= 0xF0 && lead < 0xF5) {
            length = 4;
            point = lead & 0x07;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            point = lead & 0x0F;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            point = lead & 0x1F;
        } else if (lead >= 0x80) {
            text += kReplacement;
            ++at;
            continue;
        }
        bool wellFormed = at + length <= bytes.size();
        for (size_t next = 1; wellFormed && next < length; ++next) {
            const unsigned char trail = static_cast<unsigned char>(bytes[at + next]);
            wellFormed = (trail & 0xC0) == 0x80;
            point = (point << 6) | (trail & 0x3F);
        }
        // Overlong forms, surrogates and points beyond U+10FFFF are malformed too.
        static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!wellFormed || point < kSmallest[length] || (point >= 0xD800 && point < 0xE000) || point > 0x10FFFF) {
            text += kReplacement;
            ++at;
            continue;
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            text += static_cast<wchar_t>(0xD800 + (point >> 10));
            text += static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
        } else {
            text += static_cast<wchar_t>(point);
        }
        at += length;
    }
    return text;
}

std::wstring BytesToWide(const std::string& bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    for (char ch : bytes)
        text += static_cast<wchar_t>(static_cast<unsigned char>(ch));
    return text;
}

std::wstring MaskTimes(const std::wstring& report)
{
    std::wstring masked = report;
    for (const wchar_t* label : {L"Log start time: ", L"Log end time: ", L"System time is: "}) {
        const std::wstring marker = label;
        for (size_t at = masked.find(marker); at != std::wstring::npos; at = masked.find(marker, at + 1)) {
            // "YYYY.MM.DD hh:mm.ss" follows the label
            for (size_t digit = at + marker.size(); digit < at + marker.size() + 19 && digit < masked.size(); ++digit) {
                if (std::iswdigit(masked[digit]))
                    masked[digit] = L'#';
            }
        }
    }
    return masked;
}

std::wstring WithoutBanners(const std::wstring& report)
{
    // Banners are found in the masked text; masking keeps every position, so
    // they are cut from the real one and every other time line stays as printed.
    std::wstring masked = MaskTimes(report);
    std::wstring text = report;
    if (!text.empty() && text[0] == 0xFEFF) {
        text.erase(0, 1);
        masked.erase(0, 1);
    }
    for (const wchar_t* banner : {kMaskedStartBanner, kMaskedEndBanner}) {
        const std::wstring bannerText = banner;
        for (size_t at = masked.find(bannerText); at != std::wstring::npos; at = masked.find(bannerText)) {
            masked.erase(at, bannerText.size());
            text.erase(at, bannerText.size());
        }
    }
    return text;
}

std::wstring ReportBody(const std::wstring& report)
{
    const std::wstring text = MaskTimes(report);
    const std::wstring start = kMaskedStartBanner;
    const size_t begin = text.find(start);
    if (begin == std::wstring::npos)
        return std::wstring();
    const size_t bodyStart = begin + start.size();
    const size_t end = text.find(kMaskedEndBanner, bodyStart);
    return text.substr(bodyStart, end == std::wstring::npos ? std::wstring::npos : end - bodyStart);
}

std::wstring ReportSection(const std::wstring& report, const std::wstring& title, size_t occurrence)
{
    static const wchar_t* const kSectionStarts[] = {
        kProductTitle,        kSystemTimeTitle,       kSha2Title,              kAutoUpdateTitle,
        kProxyTitle,          kHostsTitle,            kNameResolutionTitle,    kCurrentUserChainTitle,
        kLocalMachineChainTitle, kTestAfterImportTitle, kPrompt,
    };
    size_t begin = report.find(title);
    for (; begin != std::wstring::npos && occurrence > 0; --occurrence)
        begin = report.find(title, begin + title.size());
    if (begin == std::wstring::npos)
        return std::wstring();
    size_t end = report.size();
    for (const wchar_t* start : kSectionStarts) {
        const size_t at = report.find(start, begin + title.size());
        if (at < end)
            end = at;
    }
    return report.substr(begin, end - begin);
}

std::string Printable(const std::wstring& text)
{
    std::string out;
    for (wchar_t ch : text) {
        switch (ch) {
        case L'\r': out += "\\r"; break;
        case L'\n': out += "\\n\n"; break;
        case L'\t': out += "\\t"; break;
        default:
            if (ch >= 0x20 && ch < 0x7F) {
                out += static_cast<char>(ch);
            } else {
                static const char hex[] = "0123456789abcdef";
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += hex[(ch >> shift) & 0xF];
            }
        }
    }
    return out;
}
