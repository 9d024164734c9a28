#include "triage/archive_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "triage/input/crc32.h"

#ifndef __EMSCRIPTEN__
#include "triage/input/inflate.h"
#endif

namespace triage {

namespace {

constexpr std::size_t kPieceBytes = 256 * 1024;

// One entry's packed bytes, unpacked, into `reading`; why they stopped
// coming, or empty.
std::string ReadEntry(const ZipEntry& entry, const ReadAt& readAt, EntryReading& reading)
{
    const auto take = [&](const char* data, std::size_t size) { return reading.Feed(data, size); };
#ifndef __EMSCRIPTEN__
    Inflater inflater;
#endif
    std::string piece;
    for (std::uint64_t at = 0; at < entry.packedSize;) {
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, entry.packedSize - at));
        if (!readAt(entry.dataOffset + at, size, piece))
            return "damaged in the archive: its bytes cannot be read";
        at += size;
        if (entry.method == static_cast<std::uint16_t>(ZipMethod::Stored)) {
            if (!take(piece.data(), piece.size()))
                return {};
            continue;
        }
#ifdef __EMSCRIPTEN__
        return "deflated, which the page inflates itself";
#else
        if (!inflater.Feed(piece.data(), piece.size(), take))
            return inflater.Error();
#endif
    }
    return {};
}

InputResult ReadZip(std::uint64_t archiveSize, const ReadAt& readAt, const std::string& name,
                    const ReaderOptions& options, const ReportReader::RunSink& sink)
{
    InputResult result;
    const ZipListing listing = ListZip(archiveSize, readAt, name);
    if (!listing.error.empty()) {
        result.error = listing.error;
        return result;
    }
    result.named = true;
    for (const ZipEntry& entry : listing.entries) {
        const std::string entryName = EntryName(name, entry);
        std::string error = entry.refusal;
        if (error.empty()) {
            EntryReading reading(name, entry, options, sink);
            const std::string stopped = ReadEntry(entry, readAt, reading);
            const InputResult read = reading.Finish(stopped);
            result.runs += read.runs;
            error = read.error;
        }
        if (!error.empty())
            result.error += (result.error.empty() ? "" : "\n") + entryName + ": " + error;
    }
    return result;
}

}  // namespace

std::string EntryName(const std::string& archiveName, const ZipEntry& entry)
{
    return archiveName + "/" + entry.name;
}

EntryReading::EntryReading(const std::string& archiveName, const ZipEntry& entry, const ReaderOptions& options,
                           const ReportReader::RunSink& sink)
    : reading_(EntryName(archiveName, entry), options, sink), statedSize_(entry.size), statedCrc_(entry.crc)
{
}

bool EntryReading::Feed(const char* data, std::size_t size)
{
    if (tooLong_ || stopped_)
        return false;
    if (made_ + size > statedSize_) {
        tooLong_ = true;
        return false;
    }
    made_ += size;
    crc_ = UpdateCrc32(crc_, data, size);
    stopped_ = !reading_.Feed(data, size);
    return !stopped_;
}

InputResult EntryReading::Finish(const std::string& readError)
{
    std::string error = readError;
    if (error.empty() && tooLong_)
        error = "damaged in the archive: it unpacks to more than its stated size";
    else if (error.empty() && !stopped_ && made_ != statedSize_)
        error = "damaged in the archive: it unpacks to less than its stated size";
    // Known only at the entry's end: its runs are written by then, as those
    // before any failure part way through an input are, and this line says
    // they may be wrong.
    else if (error.empty() && !stopped_ && crc_ != statedCrc_)
        error = "damaged in the archive (CRC mismatch): the runs read from it may hold wrong values; send the"
                " log again";
    return reading_.Finish(error);
}

InputResult ReadZipFile(std::FILE* file, const std::string& name, const ReaderOptions& options,
                        const ReportReader::RunSink& sink)
{
#ifdef _WIN32
    const auto seek = [file](std::uint64_t offset, int from) { return _fseeki64(file, static_cast<__int64>(offset), from); };
    const auto size = _fseeki64(file, 0, SEEK_END) == 0 ? _ftelli64(file) : -1;
#else
    const auto seek = [file](std::uint64_t offset, int from) { return fseeko(file, static_cast<off_t>(offset), from); };
    const auto size = fseeko(file, 0, SEEK_END) == 0 ? ftello(file) : -1;
#endif
    if (size < 0)
        return {0, std::string("a zip archive that cannot be read here: ") + std::strerror(errno)};
    const ReadAt readAt = [&](std::uint64_t offset, std::size_t count, std::string& into) {
        into.resize(count);
        return seek(offset, SEEK_SET) == 0 && std::fread(into.data(), 1, count, file) == count;
    };
    return ReadZip(static_cast<std::uint64_t>(size), readAt, name, options, sink);
}

InputResult ReadZipBytes(const std::string& bytes, const std::string& name, const ReaderOptions& options,
                         const ReportReader::RunSink& sink)
{
    const ReadAt readAt = [&](std::uint64_t offset, std::size_t count, std::string& into) {
        if (offset > bytes.size() || count > bytes.size() - offset)
            return false;
        into.assign(bytes, static_cast<std::size_t>(offset), count);
        return true;
    };
    return ReadZip(bytes.size(), readAt, name, options, sink);
}

}  // namespace triage
