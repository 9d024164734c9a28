#pragma once

// The second and third layers: the lines of one log are split into runs (one
// per start banner; a console capture without banners is one run when it
// holds the report's section titles), and every line of a run is attributed
// to a section and read into the run's record.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "triage/record.h"

namespace triage {

struct ReaderOptions {
    bool keepRaw = false;                       // the run's text, for the HTML page
    std::size_t maxRawBytes = 256 * 1024;       // per run
    std::size_t maxHostsBytes = 64 * 1024;      // framed hosts file kept per run
    std::size_t maxUnrecognised = 200;          // listed per run; the rest counted
};

class ReportReader {
public:
    using RunSink = std::function<void(RunRecord&&)>;

    ReportReader(std::string fileName, RunSink sink, ReaderOptions options = {});
    ~ReportReader();
    ReportReader(const ReportReader&) = delete;
    ReportReader& operator=(const ReportReader&) = delete;

    void Line(std::string_view line, std::uint64_t number);
    // Hands over the last run; the result is the number of runs of the file.
    int Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Fills what a record says once all its lines are read: trust bits, causes.
void CompleteRecord(RunRecord& record);

}  // namespace triage
