#pragma once

// A zip archive read as a folder of logs: each log entry, in name order,
// through its own LogReading, its runs named "ARCHIVE/inner/path.txt" and
// each entry that is not read on a line of its own. Entries are read and
// inflated in pieces, so neither a huge entry nor one that inflates far
// beyond its packed size is ever held whole.

#include <cstdio>
#include <string>

#include "triage/input/zip_archive.h"
#include "triage/log_input.h"

namespace triage {

// `file` is open at any position and seekable.
InputResult ReadZipFile(std::FILE* file, const std::string& name, const ReaderOptions& options,
                        const ReportReader::RunSink& sink);
InputResult ReadZipBytes(const std::string& bytes, const std::string& name, const ReaderOptions& options,
                         const ReportReader::RunSink& sink);

// The name of an entry's runs and error line.
std::string EntryName(const std::string& archiveName, const ZipEntry& entry);

// One entry's unpacked bytes through a LogReading, held to the size the
// archive's directory states: an entry that unpacks to more is stopped there
// (damaged, or made to exhaust the reader), one that unpacks to less is
// damaged, and so is one whose bytes do not match the CRC-32 the directory
// states. The command line inflates with zlib, the page with the browser.
class EntryReading {
public:
    EntryReading(const std::string& archiveName, const ZipEntry& entry, const ReaderOptions& options,
                 const ReportReader::RunSink& sink);
    // False once no more is wanted.
    bool Feed(const char* data, std::size_t size);
    // `readError`: why the bytes stopped coming (not inflated, not read).
    InputResult Finish(const std::string& readError = {});

private:
    LogReading reading_;
    std::uint64_t statedSize_;
    std::uint32_t statedCrc_;
    std::uint64_t made_ = 0;
    std::uint32_t crc_ = 0;
    bool tooLong_ = false;
    bool stopped_ = false;
};

}  // namespace triage
