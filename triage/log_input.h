#pragma once

// The pipeline for one log, from a file, standard input or memory: bytes
// through the decoder into lines, lines through the mail text (quoted-printable,
// reply quoting) and the report reader into runs, and each run completed
// (diagnosed, judged) before the sink gets it.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "triage/report/report_reader.h"

namespace triage {

struct InputResult {
    int runs = 0;
    std::string error;  // one line; empty when the input was read whole
};

// One log read as its bytes come, in reads of any size (the command line's
// chunks, the page's slices of a file): the same runs whichever.
class LogStream {
public:
    // `name` is the file's name in the records.
    LogStream(const std::string& name, const ReaderOptions& options, const ReportReader::RunSink& sink);
    ~LogStream();
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    // False once the input is known not to be a log: more bytes change nothing.
    bool Feed(const char* data, std::size_t size);
    // Hands over the last run. `readError` is why the input could not be read
    // to its end, if it could not.
    InputResult Finish(const std::string& readError = {});

private:
    struct State;
    std::unique_ptr<State> state_;
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
