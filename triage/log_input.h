#pragma once

// The pipeline for one log, from a file, standard input or memory: bytes
// through the decoder into lines, a mail's parts apart (base64 attachments
// decoded), lines through the mail text (quoted-printable, reply quoting)
// and the report reader into runs, and each run completed (diagnosed,
// judged) before the sink gets it. A zip archive named by its path is read
// as a folder of such logs (archive_input.h).

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "triage/report/report_reader.h"

namespace triage {

struct InputResult {
    int runs = 0;
    // Empty when the input was read whole. One line, or for an archive one
    // line per entry not read, each starting with the entry's own name
    // (`named`), so the caller does not name the input again.
    std::string error;
    bool named = false;
};

// One log read as its bytes come, in chunks of any size (the command line's
// reads, the page's slices of a file): the same runs whichever.
class LogReading {
public:
    LogReading(const std::string& name, const ReaderOptions& options, const ReportReader::RunSink& sink);
    ~LogReading();
    LogReading(const LogReading&) = delete;
    LogReading& operator=(const LogReading&) = delete;

    // False once the rest need not come: not text, or a kind that is refused.
    bool Feed(const char* data, std::size_t size);
    // `readError`: why the bytes stopped coming, if they did.
    InputResult Finish(const std::string& readError = {});

private:
    struct State;
    std::unique_ptr<State> state_;
};

// `name` is the file's name in the records; `file` an open binary stream.
InputResult ReadLog(std::FILE* file, const std::string& name, const ReaderOptions& options,
                    const ReportReader::RunSink& sink);
// Opens `path` ("-" for standard input); a zip archive is read entry by entry.
InputResult ReadLogFile(const std::string& path, const ReaderOptions& options, const ReportReader::RunSink& sink);
// The same for a log held in memory (tests, the fuzzer), a zip archive too.
InputResult ReadLogBytes(const std::string& bytes, const std::string& name, const ReaderOptions& options,
                         const ReportReader::RunSink& sink);

}  // namespace triage
