// The HTML page written from typed rows: no script, no outside request.

#include "triage/output/html_output.h"

#include <algorithm>
#include <map>

#include "triage/diagnosis/cause_words.h"
#include "triage/diagnosis/diagnosis.h"
#include "triage/output/outputs.h"
#include "triage/output/reader_version.h"
#include "triage/text_util.h"

namespace triage {

namespace {

// Text for the page: markup escaped, and the format characters that would
// reorder or hide what a person reads shown as "<U+202E>".
std::string Escaped(const std::string& given)
{
    // A page in UTF-8 holds only UTF-8: other bytes show as U+FFFD, as in JSON.
    if (!IsUtf8(given))
        return Escaped(Utf8Replaced(given));
    const std::string text = WithFormatCharactersShown(given);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

// The attribute that keeps a file name's bytes in hex where they are not
// UTF-8, as JSON's "_bytes" does; nothing for a UTF-8 name.
std::string NameBytes(const std::string& file)
{
    return IsUtf8(file) ? std::string() : " title=\"bytes of the name: " + HexBytes(file) + "\"";
}

// A value of the log inside a sentence of the page's, isolated so that
// right-to-left text in it cannot reorder the words around it.
std::string Isolated(const std::string& text)
{
    return "<bdi>" + Escaped(text) + "</bdi>";
}

std::string Shown(const OptText& text, const char* missing = "")
{
    return text ? Isolated(*text) : std::string(missing);
}

// Bars and labels take their cause's severity.
const char* SeverityColour(const std::string& severity)
{
    return severity == "error" ? "#c9302c" : severity == "warning" ? "#a86b00" : "#5f6b7a";
}

const char* StatusClass(Status status)
{
    if (status == Status::NotFinished)
        return "not-finished";
    return status == Status::NotReached ? "not-reached" : StatusName(status);
}

const char* VerdictClass(RunVerdict verdict)
{
    switch (verdict) {
    case RunVerdict::Ok: return StatusClass(Status::Passed);
    case RunVerdict::Warning: return StatusClass(Status::Warning);
    case RunVerdict::Error: return StatusClass(Status::Error);
    case RunVerdict::Incomplete: break;
    }
    return StatusClass(Status::NotReached);
}

constexpr const char* kStyle = R"(
body{font-family:system-ui,Segoe UI,Arial,sans-serif;margin:24px;color:#1d2430;background:#f6f7f9}
h1{font-size:22px;margin:0 0 16px}h2{font-size:18px;margin:0 0 8px}h3{font-size:15px;margin:16px 0 6px}
section{background:#fff;border:1px solid #d9dde3;border-radius:8px;padding:16px;margin:0 0 20px;overflow-wrap:anywhere}
.skip{display:inline-block;margin:0 0 8px;font-size:14px}
.meta{color:#4f5968;font-size:13px;margin-bottom:12px}
.verdict-line{margin:0 0 10px;font-weight:600}
.tiles{display:grid;grid-template-columns:repeat(auto-fill,minmax(150px,1fr));gap:8px}
.tile{border-radius:6px;padding:10px;font-size:13px;border:1px solid transparent}
.tile b{display:block;font-size:14px;margin-bottom:4px}
.passed{background:#e3f4e7;border-color:#9ed4ab}.warning{background:#fff4d6;border-color:#f0cf6b}
.error{background:#fde4e2;border-color:#ef9a92}.unreadable{background:#f3ecfa;border-color:#c2a6e0}.not-reached,.not-finished{background:#eceef1;border-color:#cfd4db;color:#505866}
.info{background:#f1f4f8;border-color:#c5cdd8}
.verdict,.severity{display:inline-block;padding:1px 8px;border-radius:10px;font-size:12px;font-weight:600;border:1px solid transparent}
.cause{border-left:4px solid #ef9a92;padding:6px 10px;margin:6px 0;background:#fff8f7}
.cause.warning{border-left-color:#f0cf6b;background:#fffcf2}
.cause.info{border-left-color:#c5cdd8;background:#f8f9fb;color:#3a4454}
.cause code{font-weight:600}.advice{color:#3a4454;margin-top:3px}
.meaning{font-size:13px;color:#3a4454;margin-top:3px}.meaning summary{cursor:pointer;color:#2a5bb8}
table{border-collapse:collapse;width:100%;font-size:13px}th,td{text-align:left;padding:4px 8px;border-bottom:1px solid #e3e6ea}
.runs,.chart{overflow-x:auto}.runs table{table-layout:fixed;min-width:760px}.runs td{overflow-wrap:anywhere}.runs>div{content-visibility:auto;contain-intrinsic-size:auto 4000px}
.runs col:nth-child(1){width:20%}.runs col:nth-child(2){width:4em}.runs col:nth-child(3){width:17%}.runs col:nth-child(4){width:11%}
.runs col:nth-child(5){width:10%}.runs col:nth-child(6){width:8%}
pre{background:#f3f4f6;padding:10px;overflow:auto;font-size:12px;max-height:480px;white-space:pre-wrap;overflow-wrap:anywhere}
:focus-visible{outline:2px solid #2f6fde;outline-offset:2px}
svg text{font-size:12px;fill:#1d2430}
@media (max-width:600px){body{margin:10px}section{padding:10px}}
)";

// The run table is written as tables of kRowsPerTable rows with the same
// fixed columns, each in a block the browser skips while it is out of sight:
// one table of thousands of rows costs a browser more to lay out than
// reading their logs did.
constexpr std::size_t kRowsPerTable = 100;
constexpr const char* kRunColumns = "<colgroup><col><col><col><col><col><col><col></colgroup>";

void WriteFleet(TextOut& out, const std::vector<PageRun>& runs, std::size_t boards)
{
    std::map<std::string, int> counts;
    std::map<std::string, std::string> severities;
    std::vector<std::string> order;
    for (const PageRun& run : runs) {
        for (std::size_t i = 0; i < run.row.causeIds.size(); ++i) {
            const std::string& id = run.row.causeIds[i];
            if (counts[id]++ == 0) {
                order.push_back(id);
                severities[id] = run.row.causeSeverities[i];
            }
        }
    }
    std::sort(order.begin(), order.end(), [&](const std::string& a, const std::string& b) {
        return counts[a] != counts[b] ? counts[a] > counts[b] : a < b;
    });
    out << "<section id=\"fleet\"><h2>Fleet: " << runs.size() << " runs</h2>";
    const int barHeight = 22;
    const int labelWidth = 190;
    const int chartWidth = 520;
    const int height = std::max<int>(1, static_cast<int>(order.size())) * barHeight + 10;
    out << "<div class=\"chart\" tabindex=\"0\" role=\"region\" aria-label=\"Runs per cause\">"
        << "<svg role=\"img\" aria-label=\"Runs per cause\" width=\"" << labelWidth + chartWidth + 60 << "\" height=\""
        << height << "\" xmlns=\"http://www.w3.org/2000/svg\">";
    if (order.empty())
        out << "<text x=\"0\" y=\"16\">No run shows a cause.</text>";
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int count = counts[order[i]];
        const int width = std::max(2, static_cast<int>(static_cast<double>(count) / static_cast<double>(runs.size()) * chartWidth));
        const int y = static_cast<int>(i) * barHeight + 4;
        const std::string& severity = severities[order[i]];
        out << "<text x=\"" << labelWidth - 8 << "\" y=\"" << y + 14 << "\" text-anchor=\"end\">" << Escaped(order[i])
            << "</text><rect x=\"" << labelWidth << "\" y=\"" << y << "\" width=\"" << width << "\" height=\""
            << barHeight - 6 << "\" fill=\"" << SeverityColour(severity) << "\" rx=\"3\"><title>" << count << " runs, "
            << Escaped(severity) << "</title></rect><text x=\""
            << labelWidth + width + 6 << "\" y=\"" << y + 14 << "\">" << count << "</text>";
    }
    out << "</svg></div><h3 id=\"runs-title\">Runs</h3><div class=\"runs\" tabindex=\"0\" role=\"region\" "
           "aria-labelledby=\"runs-title\"><div><table>" << kRunColumns
        << "<tr><th>File</th><th>Run</th><th>Start</th><th>Windows</th><th>Product</th><th>Verdict</th><th>Causes</th></tr>";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const FleetRow& r = runs[i].row;
        if (i > 0 && i % kRowsPerTable == 0)
            out << "</table></div><div><table>" << kRunColumns;
        out << "<tr><td" << NameBytes(r.file) << ">";
        if (i < boards)
            out << "<a href=\"#run-" << i << "\">" << Isolated(r.file) << "</a>";
        else
            out << Isolated(r.file);
        out << "</td><td>" << r.run << "</td><td>" << Escaped(r.start ? ShownUtc(*r.start) : "unknown") << "</td><td>"
            << Escaped(r.windows) << "</td><td>" << Escaped(r.product)
            << "</td><td><span class=\"verdict " << VerdictClass(r.verdict) << "\">" << RunVerdictName(r.verdict)
            << "</span></td><td>" << Escaped(Joined(r.causeIds, " ")) << "</td></tr>";
    }
    out << "</table></div></div>";
    if (runs.size() > boards)
        out << "<p class=\"meta\">Boards below for the first " << boards << " runs.</p>";
    out << "</section>";
}

const char* EndMissing(Ending ending)
{
    switch (ending) {
    case Ending::EndBanner: return "unknown";
    case Ending::ClosedAtPrompt: return "none: the window was closed at the key prompt";
    case Ending::ConsoleCapture: return "none: a console capture has no banners";
    case Ending::CutShort: break;
    }
    return "none: the run was cut short inside a section";
}

void WriteBoard(TextOut& out, const FleetRow& r, const Board& b, std::size_t index)
{
    out << "<section id=\"run-" << index << "\" aria-labelledby=\"run-" << index << "-title\"><h2 id=\"run-" << index
        << "-title\"" << NameBytes(r.file) << ">" << Isolated(r.file) << ", run " << r.run
        << "</h2><p class=\"verdict-line\"><span class=\"verdict " << VerdictClass(r.verdict) << "\">"
        << RunVerdictName(r.verdict) << "</span> " << Escaped(b.verdictWords) << "</p><div class=\"meta\">";
    if (b.consoleCapture)
        out << "Console capture: no banners, so no start or end time";
    else
        out << "Start " << Isolated(r.start ? ShownUtc(*r.start) : "unknown") << ", end "
            << Isolated(b.end ? ShownUtc(*b.end) : EndMissing(b.ending));
    out << " &middot; Windows " << Isolated(r.windows) << " " << Shown(b.productName)
        << " &middot; product " << Isolated(r.product);
    if (b.localSystem)
        out << " &middot; ran as LocalSystem";
    if (b.fixSeen)
        out << " &middot; /fix " << (b.fixImported ? "imported the root" : "failed");
    out << "</div><div class=\"tiles\">";
    for (const auto& [title, status] : b.tiles)
        out << "<div class=\"tile " << StatusClass(status) << "\"><b>" << Escaped(title) << "</b>"
            << StatusName(status) << "</div>";
    out << "</div><h3>Causes</h3>";
    if (b.causes.empty())
        out << "<p>None found.</p>";
    for (const std::string& note : b.notes)
        out << "<p class=\"meta\">Info: " << Isolated(note) << "</p>";
    for (const Cause& cause : b.causes) {
        const CauseWords* words = WordsOfCause(cause.id);
        out << "<div class=\"cause " << Escaped(cause.severity) << "\"><span class=\"severity " << Escaped(cause.severity)
            << "\">" << Escaped(cause.severity) << "</span> <code";
        if (words)
            out << " title=\"" << Escaped(words->meaning) << "\"";
        out << ">" << Escaped(cause.id) << "</code> " << Isolated(cause.finding) << "<div class=\"advice\">Advice: "
            << Isolated(cause.advice) << "</div>";
        if (words)
            out << "<details class=\"meaning\"><summary>What this means</summary>" << Escaped(words->meaning) << "</details>";
        out << "</div>";
    }
    if (!b.unrecognised.empty()) {
        out << "<h3>Unrecognised lines</h3><pre tabindex=\"0\">";
        for (const Unrecognised& line : b.unrecognised)
            out << line.line << ": " << Isolated(line.text) << "\n";
        out << "</pre>";
    }
    out << "<details><summary>Raw report</summary><pre tabindex=\"0\">" << Escaped(b.raw)
        << (b.rawCut ? "\n[cut: the run is longer than the page keeps]" : "") << "</pre></details></section>";
}

}  // namespace

PageRun ForPage(const RunRecord& record)
{
    PageRun run;
    run.row = {record.file, record.run, record.start, WindowsSummary(record), ProductSummary(record), {}, {}, record.verdict};
    for (const Cause& cause : record.causes) {
        run.row.causeIds.push_back(cause.id);
        run.row.causeSeverities.push_back(cause.severity);
    }
    Board& board = run.board.emplace();
    board.verdictWords = VerdictWords(record);
    board.end = record.end;
    board.ending = record.ending;
    board.productName = record.os.productName;
    board.localSystem = record.localSystem;
    board.fixSeen = record.Reached(Check::Fix);
    board.fixImported = record.fix.imported == Verdict::Ok;
    board.consoleCapture = record.consoleCapture;
    board.notes = record.notes;
    for (const CheckRow& row : kChecks) {
        if (row.everyRun || record.Reached(Check::Fix))
            board.tiles.emplace_back(row.title, record.StatusOf(row.check));
    }
    board.causes = record.causes;
    board.unrecognised = record.unrecognised;
    board.raw = record.raw;
    board.rawCut = record.rawCut;
    return run;
}

const char* HtmlStyle()
{
    return kStyle;
}

void HtmlPage::Add(PageRun run)
{
    if (runs_.size() >= boards_)
        run.board.reset();
    runs_.push_back(std::move(run));
}

void HtmlPage::WriteHead(TextOut& out) const
{
    if (runs_.empty())
        out << "<p>No run was found in the input.</p>";
    if (runs_.size() > 1)
        WriteFleet(out, runs_, boards_);
}

void HtmlPage::WriteBoards(TextOut& out, std::size_t from) const
{
    for (std::size_t i = from; i < runs_.size(); ++i) {
        if (runs_[i].board)
            WriteBoard(out, runs_[i].row, *runs_[i].board, i);
    }
}

void HtmlPage::WriteNewBoards(TextOut& out)
{
    WriteBoards(out, boardsWritten_);
    boardsWritten_ = runs_.size();
}

void HtmlPage::WriteBody(TextOut& out) const
{
    WriteHead(out);
    WriteBoards(out, 0);
}

void HtmlPage::Write(TextOut& out) const
{
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
           "base-uri 'none'; form-action 'none'\"><meta name=\"generator\" content=\"zemlotriage "
        << Escaped(ReaderVersion()) << "\"><title>zemlotriage: "
        << runs_.size() << (runs_.size() == 1 ? " run" : " runs") << "</title><style>" << kStyle
        << "</style></head><body><a class=\"skip\" href=\"#boards\">Skip to the boards</a><main><h1>zemlotriage</h1>";
    WriteHead(out);
    out << "<div id=\"boards\">";
    WriteBoards(out, 0);
    out << "</div></main><footer class=\"meta\">Read by zemlotriage " << Escaped(ReaderVersion())
        << "</footer></body></html>\n";
}

}  // namespace triage
