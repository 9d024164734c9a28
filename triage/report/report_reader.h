#pragma once

// Reading the lines of one log into runs: a run starts at each start banner
// (a console capture without banners is one run per prompt), and each line
// of a run goes to the parser of the section it stands in
// (kSectionParsers). The records handed to the sink hold what was read;
// judging them is CompleteRecord's part (diagnosis.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "triage/report/record.h"

namespace triage {

enum class Section;

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

    // The encoding of the lines fed from now on (a name of EncodingName,
    // which lives as long as the program); a run records the one it opens in.
    void SetEncoding(std::string_view name);
    // The part of a mail the lines fed from now on come from ("2
    // zemlodiag.txt"); a run records the one it opens in.
    void SetPart(const std::string& part);
    void Line(std::string_view line, std::uint64_t number);
    // The input's last line, which had no line end: it may be cut.
    void LastLineUnended(std::string_view line, std::uint64_t number);
    // Hands over the last run; the result is the number of runs of the file.
    int Finish();

private:
    friend RunRecord ReadAsSection(Section section, const std::vector<std::string>& lines);
    struct State;
    std::unique_ptr<State> state_;
};

// The lines read as if `section`'s title stood before them (numbered from 1),
// in a run of their own; nothing judged.
RunRecord ReadAsSection(Section section, const std::vector<std::string>& lines);

}  // namespace triage
