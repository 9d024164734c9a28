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

}  // namespace triage
