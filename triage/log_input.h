#pragma once

// The pipeline for one log, from a file, standard input or memory: bytes
// through the decoder into lines, lines through the mail text (quoted-printable,
// reply quoting) and the report reader into runs, and each run completed
// (diagnosed, judged) before the sink gets it.

#include <cstdio>
#include <string>

#include "triage/report/report_reader.h"

namespace triage {

struct InputResult {
    int runs = 0;
    std::string error;  // one line; empty when the input was read whole
};

// `name` is the file's name in the records; `file` an open binary stream.
InputResult ReadLog(std::FILE* file, const std::string& name, const ReaderOptions& options,
                    const ReportReader::RunSink& sink);
// Opens `path` ("-" for standard input).
InputResult ReadLogFile(const std::string& path, const ReaderOptions& options, const ReportReader::RunSink& sink);
// The same for a log held in memory (tests, the fuzzer).
InputResult ReadLogBytes(const std::string& bytes, const std::string& name, const ReaderOptions& options,
                         const ReportReader::RunSink& sink);

}  // namespace triage
