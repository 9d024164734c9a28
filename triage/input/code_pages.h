#pragma once

// The Windows code pages a log can reach support in without a mark: console
// text copied on an "ANSI" page, cmd's `type` on an OEM page, Notepad's
// "ANSI" re-save on any system's page. Which one a stretch of bytes is in is
// guessed from how plausible its characters come out.
//
// The platform decodes (code_page_converter.h); single-byte pages are asked
// once for their high half and kept as a table, so reading stays a lookup.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace triage {

enum class CodePage : std::uint8_t {
    Windows1252,
    Oem437,
    Oem850,
    Oem866,
    Windows1250,
    Windows1251,
    Windows1253,
    Windows1254,
    Windows1255,
    Windows1256,
    Windows1257,
    Windows1258,
    Windows932,
    Windows949,
    Windows874,
    Windows950,
    Windows936,
    Oem852,
    Oem855,
};

struct CodePageRow {
    CodePage page;
    unsigned number;   // as Windows numbers it
    const char* name;  // as records name the encoding
    bool doubleByte;
};

// In the order a tie is settled in: the pages read before come first.
inline constexpr CodePageRow kCodePages[] = {
    {CodePage::Windows1252, 1252, "Windows-1252", false},
    {CodePage::Oem437, 437, "CP437", false},
    {CodePage::Oem850, 850, "CP850", false},
    {CodePage::Oem866, 866, "CP866", false},
    {CodePage::Windows1250, 1250, "Windows-1250", false},
    {CodePage::Windows1251, 1251, "Windows-1251", false},
    {CodePage::Windows1253, 1253, "Windows-1253", false},
    {CodePage::Windows1254, 1254, "Windows-1254", false},
    {CodePage::Windows1255, 1255, "Windows-1255", false},
    {CodePage::Windows1256, 1256, "Windows-1256", false},
    {CodePage::Windows1257, 1257, "Windows-1257", false},
    {CodePage::Windows1258, 1258, "Windows-1258", false},
    {CodePage::Windows932, 932, "CP932", true},
    {CodePage::Windows949, 949, "CP949", true},
    {CodePage::Windows874, 874, "Windows-874", false},
    {CodePage::Windows950, 950, "CP950", true},
    {CodePage::Windows936, 936, "CP936", true},
    {CodePage::Oem852, 852, "CP852", false},
    {CodePage::Oem855, 855, "CP855", false},
};

constexpr const CodePageRow& RowOf(CodePage page)
{
    return kCodePages[static_cast<std::size_t>(page)];
}

// Whether this build can read the page (the platform's converter, or a
// table made when it was built); pages it cannot read are no candidates.
bool CodePageAvailable(CodePage page);

// A single-byte page's code point of one byte; bytes the page leaves
// undefined give U+FFFD, never a C1 control.
std::uint32_t CodePoint(CodePage page, unsigned char byte);

// No trail byte of a double-byte page is below 0x40: a lead byte before a
// line end, a zero or a digit is a character cut off.
inline constexpr unsigned char kLowestTrail = 0x40;

// Double-byte pages: whether `byte` starts a character of two bytes.
bool LeadByte(CodePage page, unsigned char byte);
// Whole characters of a double-byte page to code points, U+FFFD for each
// sequence the page does not map.
std::vector<std::uint32_t> DecodeDoubleBytes(CodePage page, std::string_view bytes);

// `bytes` (whole characters) as UTF-8 text.
std::string DecodedText(CodePage page, std::string_view bytes);

// The page under which `bytes` read most like text: fewest undefined
// characters, symbols among letters, letters of two scripts or of two
// languages' alphabets in one word.
CodePage MostPlausibleCodePage(std::string_view bytes);

}  // namespace triage
