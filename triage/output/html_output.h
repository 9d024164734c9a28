#pragma once

// The self-contained HTML page: a board per run (its tiles, causes,
// unrecognised lines and raw text) and, for several runs, a fleet view (runs
// per cause, a table of every run). Boards are kept for the first runs only,
// so a fleet page's memory stays small per run.

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "triage/output/text_out.h"
#include "triage/report/record.h"

namespace triage {

// What the fleet table shows of a run.
struct FleetRow {
    std::string file;
    int run = 0;
    OptText start;
    std::string windows;  // WindowsSummary()
    std::string product;  // ProductSummary()
    std::vector<std::string> causeIds;
    std::vector<std::string> causeSeverities;  // beside causeIds
    RunVerdict verdict = RunVerdict::Incomplete;
};

// What a run's board shows beyond its fleet row.
struct Board {
    std::string verdictWords;  // VerdictWords()
    OptText end;
    OptText productName;
    bool localSystem = false;
    bool fixSeen = false;
    bool fixImported = false;
    bool consoleCapture = false;
    std::vector<std::string> notes;
    std::vector<std::pair<const char*, Status>> tiles;  // check title, status
    std::vector<Cause> causes;
    std::vector<Unrecognised> unrecognised;
    std::string raw;
    bool rawCut = false;
    Ending ending = Ending::CutShort;
};

struct PageRun {
    FleetRow row;
    std::optional<Board> board;
};
PageRun ForPage(const RunRecord& record);

// The page's style sheet.
const char* HtmlStyle();

class HtmlPage {
public:
    static constexpr std::size_t kBoards = 1000;
    explicit HtmlPage(std::size_t boards = kBoards) : boards_(boards) {}

    // Runs in the order the page lists them; past the boards only the row is kept.
    void Add(PageRun run);
    void Write(TextOut& out) const;
    // The fleet view and boards alone, for a page that hosts them in its own
    // document with HtmlStyle().
    void WriteBody(TextOut& out) const;
    // The body in parts, for a page that shows boards while runs are still
    // read: each call of WriteNewBoards writes the boards added since the
    // last; WriteHead (the fleet view, or that no run was found) goes before
    // them all once every run is added.
    void WriteNewBoards(TextOut& out);
    void WriteHead(TextOut& out) const;

    void Write(std::ostream& out) const { ToStream(out, [this](TextOut& to) { Write(to); }); }
    void WriteBody(std::ostream& out) const { ToStream(out, [this](TextOut& to) { WriteBody(to); }); }
    void WriteNewBoards(std::ostream& out) { ToStream(out, [this](TextOut& to) { WriteNewBoards(to); }); }
    void WriteHead(std::ostream& out) const { ToStream(out, [this](TextOut& to) { WriteHead(to); }); }

private:
    void WriteBoards(TextOut& out, std::size_t from) const;

    std::size_t boards_;
    std::vector<PageRun> runs_;
    std::size_t boardsWritten_ = 0;
};

}  // namespace triage
