#include "triage/input/code_pages.h"

#include <utf8.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>

#include "triage/input/code_page_converter.h"

namespace triage {

namespace {

constexpr bool InEnumOrder()
{
    for (std::size_t i = 0; i < std::size(kCodePages); ++i) {
        if (static_cast<std::size_t>(kCodePages[i].page) != i)
            return false;
    }
    return true;
}
static_assert(InEnumOrder(), "kCodePages has one row per CodePage, in its order");

// The high half of single-byte pages this build's converter may lack, made
// from the build host's iconv when the program was built.
struct BuiltTable {
    unsigned number;
    std::uint16_t high[128];
};
constexpr BuiltTable kBuiltTables[] = {
#include "code_page_tables.inc"
    {0, {}},  // no page is numbered 0
};

constexpr std::uint32_t kReplacement = 0xFFFD;

// What the platform makes of one page, asked once.
struct PageTable {
    bool available = false;
    std::array<std::uint32_t, 128> high{};  // single-byte pages
    std::array<bool, 256> lead{};            // double-byte pages
};

// C1 controls are no text: a page that maps bytes to them (Windows' 1252
// does for its holes) leaves those bytes undefined.
std::uint32_t Defined(std::uint32_t c)
{
    return c >= 0x80 && c < 0xA0 ? kReplacement : c;
}

PageTable SingleBytePage(unsigned number)
{
    PageTable table;
    for (const BuiltTable& built : kBuiltTables) {
        if (built.number == number) {
            table.available = true;
            std::transform(std::begin(built.high), std::end(built.high), table.high.begin(), Defined);
            return table;
        }
    }
    // A byte at a time: a page that composes (1258) must not join two.
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const char one = static_cast<char>(byte);
        CodePoints decoded;
        if (!PlatformDecode(number, std::string_view(&one, 1), decoded))
            return {};
        table.high[byte - 0x80] = decoded.size() == 1 ? Defined(decoded[0]) : kReplacement;
    }
    table.available = true;
    return table;
}

// Lead bytes as the platform's decoder shows them: the byte alone is no
// character, and with a common trail byte it makes one.
PageTable DoubleBytePage(unsigned number)
{
    PageTable table;
    CodePoints decoded;
    if (!PlatformDecode(number, "A", decoded))
        return {};
    table.available = true;
    for (unsigned byte = 0x81; byte <= 0xFE; ++byte) {
        const char alone = static_cast<char>(byte);
        decoded.clear();
        PlatformDecode(number, std::string_view(&alone, 1), decoded);
        if (decoded.size() == 1 && decoded[0] != kReplacement)
            continue;
        for (const char trail : {'\x41', '\xA1', '\x81', '\x61'}) {
            const char pair[] = {alone, trail};
            decoded.clear();
            PlatformDecode(number, std::string_view(pair, 2), decoded);
            if (decoded.size() == 1 && decoded[0] != kReplacement) {
                table.lead[byte] = true;
                break;
            }
        }
    }
    return table;
}

const PageTable& TableOf(CodePage page)
{
    static const std::array<PageTable, std::size(kCodePages)> tables = [] {
        std::array<PageTable, std::size(kCodePages)> all;
        for (const CodePageRow& row : kCodePages)
            all[static_cast<std::size_t>(row.page)] =
                row.doubleByte ? DoubleBytePage(row.number) : SingleBytePage(row.number);
        return all;
    }();
    return tables[static_cast<std::size_t>(page)];
}

// Calls `put` with each character of `bytes` in a double-byte page: ASCII
// as it is, runs of other characters decoded by the platform.
template <typename Put>
void ForEachDoubleByteCharacter(CodePage page, std::string_view bytes, Put put)
{
    const PageTable& table = TableOf(page);
    CodePoints decoded;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        if (c < 0x80) {
            put(c);
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80) {
            const bool pair = table.lead[static_cast<unsigned char>(bytes[end])] && end + 1 < bytes.size() &&
                              static_cast<unsigned char>(bytes[end + 1]) >= kLowestTrail;
            if (!pair && table.lead[static_cast<unsigned char>(bytes[end])])
                break;  // a lead byte without its trail
            end += pair ? 2 : 1;
        }
        if (end == at) {
            put(kReplacement);
            ++at;
            continue;
        }
        decoded.clear();
        PlatformDecode(RowOf(page).number, bytes.substr(at, end - at), decoded);
        for (const std::uint32_t d : decoded)
            put(Defined(d));
        at = end;
    }
}

}  // namespace

bool CodePageAvailable(CodePage page)
{
    return TableOf(page).available;
}

std::uint32_t CodePoint(CodePage page, unsigned char byte)
{
    return byte < 0x80 ? byte : TableOf(page).high[byte - 0x80];
}

bool LeadByte(CodePage page, unsigned char byte)
{
    return TableOf(page).lead[byte];
}

std::vector<std::uint32_t> DecodeDoubleBytes(CodePage page, std::string_view bytes)
{
    std::vector<std::uint32_t> decoded;
    ForEachDoubleByteCharacter(page, bytes, [&](std::uint32_t c) { decoded.push_back(c); });
    return decoded;
}

std::string DecodedText(CodePage page, std::string_view bytes)
{
    std::string text;
    const auto put = [&](std::uint32_t c) { utf8::append(c, std::back_inserter(text)); };
    if (RowOf(page).doubleByte) {
        ForEachDoubleByteCharacter(page, bytes, put);
    } else {
        for (const char byte : bytes)
            put(CodePoint(page, static_cast<unsigned char>(byte)));
    }
    return text;
}

}  // namespace triage
