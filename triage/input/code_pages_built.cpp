#include <cstdint>

#include "triage/input/code_page_converter.h"

// The static Linux build has no converter of its own: glibc's iconv would
// load the host's modules into it at run time, built for the host's C
// library, not the one linked in. It decodes the double-byte pages from
// tables made from iconv when it was built (code_page_double_tables.sh),
// as iconv does; its single-byte pages are tables too (code_page_tables.sh).

namespace triage {

namespace {

constexpr unsigned kFirstLead = 0x81;
constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kTrails = 0xFF - kFirstTrail;  // 0x40..0xFE

struct DoubleByteTable {
    unsigned number;
    std::uint16_t single[128];                       // bytes 0x80..0xFF alone; 0: none
    std::uint16_t pairs[(0xFF - kFirstLead) * kTrails];  // lead 0x81..0xFE, trail 0x40..0xFE; 0: none
};

constexpr DoubleByteTable kDoubleByteTables[] = {
#include "code_page_double_tables.inc"
};

const DoubleByteTable* TableFor(unsigned number)
{
    for (const DoubleByteTable& table : kDoubleByteTables) {
        if (table.number == number)
            return &table;
    }
    return nullptr;
}

}  // namespace

bool PlatformDecode(unsigned number, std::string_view bytes, CodePoints& out)
{
    const DoubleByteTable* table = TableFor(number);
    if (!table)
        return false;
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            out.push_back(byte);
            continue;
        }
        if (byte >= kFirstLead && byte < 0xFF && at + 1 < bytes.size()) {
            const auto trail = static_cast<unsigned char>(bytes[at + 1]);
            if (trail >= kFirstTrail && trail < 0xFF) {
                const std::uint16_t paired = table->pairs[(byte - kFirstLead) * kTrails + (trail - kFirstTrail)];
                if (paired != 0) {
                    out.push_back(paired);
                    ++at;
                    continue;
                }
            }
        }
        // Unmapped, or a lead byte cut off: as iconv, one U+FFFD and on
        // from the next byte.
        const std::uint16_t alone = table->single[byte - 0x80];
        out.push_back(alone != 0 ? alone : 0xFFFD);
    }
    return true;
}

}  // namespace triage
