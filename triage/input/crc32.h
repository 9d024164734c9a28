#pragma once

// CRC-32 as zip records it for each entry (the polynomial of IEEE 802.3),
// updated piece by piece: zlib's on the command line, a table of its own in
// the page, which has no zlib.

#include <cstddef>
#include <cstdint>

namespace triage {

// `crc` is 0 before the first piece.
std::uint32_t UpdateCrc32(std::uint32_t crc, const char* data, std::size_t size);

}  // namespace triage
