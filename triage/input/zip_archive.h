#pragma once

// A zip archive's directory, read from its end as zip readers do, and what
// becomes of each entry: the logs in it (*.txt, *.log, *.eml, in any letter
// case) are read in name order, as a folder's are; an encrypted entry, one
// packed with a method other than stored or deflated, or one of a kind this
// program refuses is refused by name; other entries are passed over. The
// bytes come through `ReadAt`, so a file is read in pieces and never whole.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace triage {

// Reads `size` bytes at `offset` into `into`; false when it cannot.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, std::string& into)>;

enum class ZipMethod : std::uint16_t { Stored = 0, Deflated = 8 };

struct ZipEntry {
    std::string name;  // as stored, '/' between folders
    std::uint16_t method = 0;
    std::uint64_t dataOffset = 0;  // the entry's packed bytes, past its local header
    std::uint64_t packedSize = 0;
    std::uint64_t size = 0;        // unpacked, as the directory says
    std::uint32_t crc = 0;         // CRC-32 of the unpacked bytes, as the directory says
    std::string refusal;           // why it is not read; empty for a log to read
};

struct ZipListing {
    std::vector<ZipEntry> entries;  // in name order: logs and refusals only
    std::string error;              // the archive as a whole cannot be read; one line
};

ZipListing ListZip(std::uint64_t archiveSize, const ReadAt& readAt, const std::string& archiveName);

}  // namespace triage
