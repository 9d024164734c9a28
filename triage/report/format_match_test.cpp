// Report lines matched against printf formats: backtracking over string
// conversions, padded and signed numbers, "%%", adjacent strings as one text,
// and a format's lines counted as the report shows them.

#include <gtest/gtest.h>

#include "triage/report/format_match.h"

namespace triage {
namespace {

struct MatchCase {
    const wchar_t* format;
    std::size_t line;  // among the format's non-empty lines
    const char* text;
    bool matches;
    std::vector<std::string> fields;
};

TEST(FormatMatch, LinesMatchTheirFormatWhole)
{
    const MatchCase cases[] = {
        // The first ": " after the text leaves no number: the match backs up to the next.
        {L"%s: %d", 0, "x: y: 5", true, {"x: y", "5"}},
        {L"%s, b: %s", 0, "a, b: c, b: d", true, {"a", "c, b: d"}},
        {L"%s (%d)", 0, "name (with) (12)", true, {"name (with)", "12"}},
        {L"%s (%d)", 0, "name (12) tail", false, {}},
        // Padding blanks before a number are not part of it; a sign is, for decimals.
        // Lines are read without the blanks at their ends, and so are formats.
        {L"\r\n% 3d: Flags: 0x%x, Family: ", 0, "0: Flags: 0x0, Family:", true, {"0", "0"}},
        {L"\r\n% 3d: Flags: 0x%x, Family: ", 0, "123: Flags: 0xa, Family:", true, {"123", "a"}},
        {L"% 3d: x", 0, "  a: x", false, {}},
        {L"code %d", 0, "code -5", true, {"-5"}},
        {L"code 0x%08X", 0, "code 0x800B0109", true, {"800B0109"}},
        {L"code 0x%08x", 0, "code 0x-1", false, {}},
        {L"count %u", 0, "count ", false, {}},
        // "%%" is a literal percent sign.
        {L"%%SystemRoot%%\\hosts: %s", 0, "%SystemRoot%\\hosts: ok", true, {"ok"}},
        {L"%%SystemRoot%%\\hosts: %s", 0, "%%SystemRoot%%\\hosts: ok", false, {}},
        // Adjacent string conversions print one text: one field.
        {L"\r\nWarning: %s%s\r\n           @ProxyEnable=%d", 0, "Warning: HKLM\\SOFTWARE\\x", true, {"HKLM\\SOFTWARE\\x"}},
        {L"\r\nWarning: %s%s\r\n           @ProxyEnable=%d", 1, "@ProxyEnable=1", true, {"1"}},
        {L"\r\nWarning: %s%s\r\n           @ProxyEnable=%d", 1, "           @ProxyEnable=1 ", false, {}},
        // Wide and character conversions read as text.
        {L"error: %S in hosts detected!", 0, "error: a.example in hosts detected!", true, {"a.example"}},
        {L"IPv4 address %ws", 0, "IPv4 address 192.0.2.10:443", true, {"192.0.2.10:443"}},
        // A fixed line matches only itself.
        {L"\r\nOK", 0, "OK", true, {}},
        {L"\r\nOK", 0, "OK.", false, {}},
        {L"\r\nOK", 1, "OK", false, {}},
    };
    for (const MatchCase& c : cases) {
        std::vector<std::string> fields = {"sentinel"};
        const bool matched = FormatLine(c.format, c.line).Match(c.text, &fields);
        EXPECT_EQ(matched, c.matches) << c.text;
        if (matched) {
            EXPECT_EQ(fields, c.fields) << c.text;
        }
        EXPECT_EQ(FormatLine(c.format, c.line).Match(c.text), c.matches) << c.text << " without fields";
    }
}

TEST(FormatMatch, LeadAndFixedLinesComeFromTheFormat)
{
    EXPECT_EQ(FormatLine(L"\r\n\r\nVerify chain test: [%s]").Lead(), "Verify chain test: [");
    EXPECT_EQ(FormatLine(L"%s: %d").Lead(), "");
    EXPECT_EQ(FixedLine(L"\r\n###\r\nLog start time: %s", 1), "Log start time: %s");
    EXPECT_EQ(FixedLine(L"\r\n\r\nSHA2 support:"), "SHA2 support:");
    EXPECT_EQ(FixedLine(L"\r\nOK", 3), "");
    EXPECT_EQ(ToUtf8(L"Zemlo \u00e9\u20ac"), "Zemlo \xc3\xa9\xe2\x82\xac");
}

}  // namespace
}  // namespace triage
