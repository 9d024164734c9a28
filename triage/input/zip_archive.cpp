#include "triage/input/zip_archive.h"

#include <utf8.h>

#include <algorithm>
#include <iterator>

#include "triage/input/code_pages.h"
#include "triage/input/input_kinds.h"

namespace triage {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kDirectorySignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndBytes = 22;
constexpr std::size_t kDirectoryEntryBytes = 46;
constexpr std::size_t kLocalHeaderBytes = 30;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr std::uint16_t kEncryptedFlag = 1;
// Larger directories are not read: far more than any fleet's logs.
constexpr std::uint64_t kMaxDirectoryBytes = 64ull * 1024 * 1024;

std::uint32_t Little(const std::string& bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = count; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// A name as UTF-8. Zip tools that do not flag UTF-8 write the names in the
// creating PC's OEM code page (Windows' own does), which is read as the
// page under which the name reads most like text; a valid UTF-8 name is
// taken as it is, flagged or not.
std::string NameText(const std::string& raw)
{
    if (utf8::find_invalid(raw.begin(), raw.end()) == raw.end())
        return raw;
    return DecodedText(MostPlausibleCodePage(raw), raw);
}

// The order a folder walk takes: name by name at each level.
bool InFolderOrder(std::string_view a, std::string_view b)
{
    while (true) {
        const std::string_view first = a.substr(0, a.find('/'));
        const std::string_view second = b.substr(0, b.find('/'));
        if (first != second)
            return first < second;
        if (first.size() == a.size() || first.size() == b.size())
            return a.size() < b.size();
        a.remove_prefix(first.size() + 1);
        b.remove_prefix(second.size() + 1);
    }
}

bool IsOfficeDocument(const std::vector<ZipEntry>& all)
{
    return std::any_of(all.begin(), all.end(), [](const ZipEntry& e) { return e.name == "[Content_Types].xml"; });
}

// Why an entry is not read, or empty to read it; `skip` for entries that
// are neither logs nor refused (folders, pictures, notes).
std::string Refusal(const ZipEntry& entry, std::uint16_t flags, bool& skip)
{
    skip = false;
    if (IsZipName(entry.name))
        return "a zip archive inside the archive: unpack it and read its logs";
    if (const auto refused = RefusedName(entry.name))
        return *refused;
    if (!IsReadName(entry.name)) {
        skip = true;
        return {};
    }
    if (flags & kEncryptedFlag)
        return "encrypted: send the archive without a password, or the log file itself";
    if (entry.method != static_cast<std::uint16_t>(ZipMethod::Stored) &&
        entry.method != static_cast<std::uint16_t>(ZipMethod::Deflated))
        return "packed with a method this reader does not take (" + std::to_string(entry.method) +
               "): pack it again as a plain .zip";
    return {};
}

}  // namespace

ZipListing ListZip(std::uint64_t archiveSize, const ReadAt& readAt, const std::string& archiveName)
{
    ZipListing listing;
    // The end record is the last thing in the archive, before a comment of
    // up to 64 KiB.
    const std::uint64_t tailSize = std::min<std::uint64_t>(archiveSize, kEndBytes + kMaxComment);
    std::string tail;
    if (archiveSize < kEndBytes || !readAt(archiveSize - tailSize, static_cast<std::size_t>(tailSize), tail)) {
        listing.error = "a zip archive whose end cannot be read: it may be cut short";
        return listing;
    }
    std::size_t end = std::string::npos;
    for (std::size_t at = tail.size() - kEndBytes + 1; at-- > 0;) {
        if (Little(tail, at, 4) == kEndSignature) {
            end = at;
            break;
        }
    }
    if (end == std::string::npos) {
        listing.error = "a zip archive without its directory: it may be cut short, send it again";
        return listing;
    }
    const std::uint32_t directorySize = Little(tail, end + 12, 4);
    const std::uint32_t directoryOffset = Little(tail, end + 16, 4);
    if (directorySize == kZip64Marker || directoryOffset == kZip64Marker || Little(tail, end + 10, 2) == 0xFFFF) {
        listing.error = "a ZIP64 archive, which this reader does not take: send the log files in a plain .zip";
        return listing;
    }
    std::string directory;
    if (directorySize > kMaxDirectoryBytes || static_cast<std::uint64_t>(directoryOffset) + directorySize > archiveSize ||
        !readAt(directoryOffset, directorySize, directory)) {
        listing.error = "a zip archive whose directory cannot be read: it may be damaged";
        return listing;
    }
    std::vector<ZipEntry> all;
    std::vector<std::uint16_t> flags;
    std::vector<std::uint64_t> headerOffsets;
    for (std::size_t at = 0; at + kDirectoryEntryBytes <= directory.size();) {
        if (Little(directory, at, 4) != kDirectorySignature)
            break;
        ZipEntry entry;
        flags.push_back(static_cast<std::uint16_t>(Little(directory, at + 8, 2)));
        entry.method = static_cast<std::uint16_t>(Little(directory, at + 10, 2));
        entry.crc = Little(directory, at + 16, 4);
        entry.packedSize = Little(directory, at + 20, 4);
        entry.size = Little(directory, at + 24, 4);
        const std::size_t nameSize = Little(directory, at + 28, 2);
        const std::size_t extraSize = Little(directory, at + 30, 2);
        const std::size_t commentSize = Little(directory, at + 32, 2);
        headerOffsets.push_back(Little(directory, at + 42, 4));
        if (at + kDirectoryEntryBytes + nameSize > directory.size())
            break;
        entry.name = NameText(directory.substr(at + kDirectoryEntryBytes, nameSize));
        all.push_back(std::move(entry));
        at += kDirectoryEntryBytes + nameSize + extraSize + commentSize;
    }
    if (IsOfficeDocument(all)) {
        const auto named = RefusedName(archiveName);
        listing.error = named ? *named : "an Office document: send the log file itself, or save the text as .txt";
        return listing;
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        ZipEntry& entry = all[i];
        bool skip = false;
        entry.refusal = Refusal(entry, flags[i], skip);
        if (skip)
            continue;
        if (entry.refusal.empty()) {
            // The packed bytes follow the local header, whose name and extra
            // field lengths may differ from the directory's.
            std::string header;
            if (!readAt(headerOffsets[i], kLocalHeaderBytes, header) || Little(header, 0, 4) != kLocalSignature ||
                entry.packedSize == kZip64Marker || entry.size == kZip64Marker) {
                entry.refusal = "damaged in the archive: its entry cannot be found";
            } else {
                entry.dataOffset = headerOffsets[i] + kLocalHeaderBytes + Little(header, 26, 2) + Little(header, 28, 2);
                if (entry.dataOffset + entry.packedSize > archiveSize)
                    entry.refusal = "damaged in the archive: the archive is cut short";
            }
        }
        listing.entries.push_back(std::move(entry));
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const ZipEntry& a, const ZipEntry& b) { return InFolderOrder(a.name, b.name); });
    if (listing.entries.empty())
        listing.error = "a zip archive without a log (*.txt, *.log, *.eml) in it";
    return listing;
}

}  // namespace triage
