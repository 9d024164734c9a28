// The run lifecycle: banners start and end runs, a console capture becomes
// runs by its prompts, marks are counted per section, and every other line
// goes to the hosts frame while one is open, else to a section's title or
// the parser of the section it stands in. A line nobody knows may continue
// the one before, wrapped by a mail client: joined, they are read as one.

#include "triage/report/report_reader.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "triage/input/mail_wrap.h"
#include "triage/report/foreign_lines.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"
#include "triage/text_util.h"

#include "triage/report/reader_state.h"

namespace triage {

ReportReader::ReportReader(std::string fileName, RunSink sink, ReaderOptions options)
    : state_(std::make_unique<State>())
{
    state_->fileName = std::move(fileName);
    state_->sink = std::move(sink);
    state_->options = options;
}

ReportReader::~ReportReader() = default;

void ReportReader::SetEncoding(std::string_view name)
{
    state_->encoding = name;
}

void ReportReader::SetPart(const std::string& part)
{
    state_->part = part;
}

void ReportReader::Line(std::string_view line, std::uint64_t number)
{
    state_->Line(line, number);
}

void ReportReader::LastLineUnended(std::string_view line, std::uint64_t number)
{
    state_->UnendedLine(line, number);
}

int ReportReader::Finish()
{
    State& s = *state_;
    s.CloseHostsFrame();
    if (s.run) {
        if (s.capture && !s.AnySection())
            s.run.reset();  // text without a report in it
        else
            s.Emit();
    }
    return s.runs;
}

// A line is read without the blanks at its ends; past the report's margin
// it is kept, listed and framed.
void ReportReader::State::Line(std::string_view line, std::uint64_t number)
{
    ++sequence;
    // A printed page starts with a form feed, then its header or its text.
    pageStart = StartsPrintedPage(line);
    if (pageStart) {
        line.remove_prefix(1);
        printed = true;
    }
    if (IsCmdPromptLine(line))
        return;  // the console's, before or after the report
    if (IsPageNumberLine(line)) {
        printed = true;
        if (!run)
            StartRun(std::nullopt, true);
        Listed(WithoutEndBlanks(line), number);
        // A line broken at the page's width goes on past the header or the
        // footer between its parts.
        if (lastSlot >= 0 && lineSlots[lastSlot].columnBreak != ColumnBreak::None) {
            LastLine& broken = lineSlots[lastSlot];
            broken.sequence = sequence;
            if (!run->unrecognised.empty() && run->unrecognised.back().line == number)
                ++broken.pageLines;
        }
        return;
    }
    // Columns are at most the bytes but where tabs stand: only a line that
    // may reach the widest is counted.
    const bool mayReach = line.size() + 1 >= widest || line.find('\t') != std::string_view::npos;
    const std::size_t columns = mayReach ? Columns(line) : line.size();
    widest = std::max(widest, columns);
    std::size_t endBlanks = 0;
    const std::string_view trimmed = WithoutEndBlanks(line, &endBlanks);
    if (run && parse->hostsFrame.IsOpen() && FrameTakes(WithoutMargin(trimmed, margin), number))
        return;
    const std::string_view text = trimmed.substr(Indentation(trimmed));
    if (text == Lines().bannerRule || StartsWith(text, Lines().startLead) || StartsConsoleRun(text))
        margin = Indentation(trimmed);
    const std::string_view body = WithoutMargin(trimmed, margin);
    if (Banner(text)) {
        KeepRaw(body);
        return;
    }
    if (!run)
        StartRun(std::nullopt, true);
    KeepRaw(body);
    // What a line holds reaches the width, or the column before it, where
    // a broken line ended in a blank; a console pads shorter lines.
    ColumnBreak columnBreak = ColumnBreak::None;
    const std::size_t textColumns = endBlanks == 0 || !mayReach ? columns : Columns(trimmed);
    if (widest >= kNarrowestColumnBreak && textColumns + 1 >= widest)
        columnBreak = textColumns >= widest ? ColumnBreak::InText : ColumnBreak::AtBlank;
    ReportLine(body, number, endBlanks, columnBreak);
}

// A line that stopped without its line end may stop inside a value: only a
// line that cannot be the start of a longer one is read (the prompt a pasted
// console text ends with, "OK", a banner); the hosts file's text is the
// frame's. Any other is noted as cut, not read.
void ReportReader::State::UnendedLine(std::string_view line, std::uint64_t number)
{
    const std::string_view trimmed = WithoutEndBlanks(line);
    const std::string_view text = trimmed.substr(Indentation(trimmed));
    const bool whole = text == Lines().prompt || text == Lines().ok || IsBanner(text) ||
                       (run && parse->hostsFrame.IsOpen());
    if (whole || !run) {
        Line(line, number);
        return;
    }
    KeepRaw(line);
    run->cutLine = Unrecognised{number, std::string(line)};
}

// True when the open hosts frame keeps the line as the file's.
bool ReportReader::State::FrameTakes(std::string_view line, std::uint64_t number)
{
    switch (parse->hostsFrame.Take(line, number)) {
    case HostsFrame::Step::Kept:
    case HostsFrame::Step::Held: KeepRaw(line); return true;
    case HostsFrame::Step::EndedAtHeld: CloseHostsFrame(); return false;
    case HostsFrame::Step::Ended: return false;
    }
    return false;
}

bool ReportReader::State::Banner(std::string_view line)
{
    const ReportLines& lines = Lines();
    std::vector<std::string> fields;
    if (line == lines.bannerRule)
        return true;
    if (StartsWith(line, lines.startLead)) {
        StartRun(lines.startTime.Match(line, &fields) ? IsoTime(fields) : std::nullopt, false);
        return true;
    }
    if (StartsWith(line, lines.endLead) && run) {
        Enter(Section::AfterEnd);
        run->ended = true;
        run->end = lines.endTime.Match(line, &fields) ? IsoTime(fields) : std::nullopt;
        return true;
    }
    return false;
}

// A line of the report itself, past banners and the hosts frame: `body` past
// the margin, read without its indentation; `endBlanks` were taken off it;
// `columnBreak` where it filled the console's or the page's width.
void ReportReader::State::ReportLine(std::string_view body, std::uint64_t number, std::size_t endBlanks,
                                     ColumnBreak columnBreak)
{
    std::string_view line = body.substr(Indentation(body));
    const ReportLines& lines = Lines();
    const Mark mark = markForNextLine;
    markForNextLine = Mark::None;
    if (EndsWith(line, lines.errorMark)) {
        markForNextLine = Mark::Error;
        line.remove_suffix(lines.errorMark.size());
    } else if (EndsWith(line, lines.warningMark)) {
        markForNextLine = Mark::Warning;
        line.remove_suffix(lines.warningMark.size());
    }
    if (line.empty()) {
        // An empty line passes an earlier mark on, unless it brings its own.
        if (markForNextLine == Mark::None)
            markForNextLine = mark;
        // A page break leaves empty lines around its header, also inside a
        // line broken at the page's width.
        if (printed && lastSlot >= 0 && lineSlots[lastSlot].columnBreak != ColumnBreak::None)
            lineSlots[lastSlot].sequence = sequence;
        return;
    }
    // A console window shows a second run after the first one's prompt.
    if (capture && run->promptSeen && StartsConsoleRun(line))
        StartRun(std::nullopt, true);
    LastLine* previous = lastSlot >= 0 ? &lineSlots[lastSlot] : nullptr;
    lastSlot = -1;
    // Only a line that fits a mail line and ends without a mark may go on in
    // the next: keep what the facts were before it.
    LastLine* current = nullptr;
    if (markForNextLine == Mark::None && (FitsMailLine(body) || columnBreak != ColumnBreak::None)) {
        current = &lineSlots[previous == &lineSlots[0] ? 1 : 0];
        current->text.assign(line);
        current->otherText.clear();
        current->pageLines = 0;
        current->number = number;
        current->sequence = sequence;
        current->lastPart.assign(body);
        current->columnBreak = columnBreak;
        current->mark = mark;
        current->listed = 0;
        CopyFacts(current->before, *run);
        current->section = parse->section;
        current->proxyKey = parse->proxyKey;
        current->chainPart = parse->chainPart;
    }
    if (Place(line, mark, *parse)) {
        // Blanks after a value: its own, or a console's or an editor's? A
        // format's own blank follows its ':' or ','.
        if (endBlanks > 0 && markForNextLine == Mark::None && line.back() != ':' && line.back() != ',')
            ++run->endBlanksTakenOff;
        // The hosts file's text after its rule is no continuation of it.
        if (current && !parse->hostsFrame.IsOpen())
            lastSlot = static_cast<int>(current - lineSlots);
        return;
    }
    // A mail client's wrap, or a break at the console's or the page's last
    // column, mid-word, or where a blank stood.
    std::vector<const char*> separators;
    if (previous && previous->sequence + 1 == sequence && previous->text.size() + line.size() < kMaxJoinedBytes) {
        // Not a line indented on its own.
        const bool brokenAtWidth = previous->columnBreak != ColumnBreak::None && Indentation(body) <= 1;
        // A printed page as narrow as a mail breaks at its width, not at a blank.
        if (WrapBefore(previous->lastPart, body) && !(printed && brokenAtWidth))
            separators = WrapSeparators(previous->lastPart);
        else if (brokenAtWidth)
            // A part that starts with a blank was broken where the blank stood.
            separators = previous->columnBreak == ColumnBreak::InText && Indentation(body) == 0
                             ? std::vector<const char*>{"", " "}
                             : std::vector<const char*>{" ", ""};
    }
    if (!separators.empty() && Rejoin(*previous, line, number, separators)) {
        previous->columnBreak = columnBreak;  // the joined line ends where this part does
        return;
    }
    if (!separators.empty() && previous->listed > 0 && previous->pageLines == 0) {
        // A line cut by a wrap and not yet whole: its parts stay unknown
        // until a later one completes it. Where the first uncertain break
        // may have taken a blank or not, both readings are kept.
        if (!previous->otherText.empty())
            previous->otherText += separators.front() + std::string(line);
        else if (separators.size() > 1)
            previous->otherText = previous->text + separators[1] + std::string(line);
        previous->text += separators.front();
        previous->text += line;
        previous->lastPart.assign(body);
        previous->columnBreak = columnBreak;
        current = previous;
    }
    Unknown(body, number);
    if (current) {
        if (!run->unrecognised.empty() && run->unrecognised.back().line == number)
            ++current->listed;
        current->number = number;
        current->sequence = sequence;
        lastSlot = static_cast<int>(current - lineSlots);
    }
}

// Reads a line, its marks taken off, as a title or a line of its section
// into `into` (the run's state, or a trial's); false when nothing knows it.
bool ReportReader::State::Place(std::string_view line, Mark mark, SectionState& into)
{
    for (const SectionParser& parser : kSectionParsers) {
        if (parser.opens != nullptr && parser.opens(line, into)) {
            if (&into == &*parse)
                CloseHostsFrame();
            EnterOn(into, parser.section);
            return true;
        }
    }
    const SectionParser& parser = ParserOf(into.section);
    if (mark != Mark::None && parser.hasCheck)
        ++(mark == Mark::Error ? into.run.errorMarks : into.run.warningMarks)[Index(parser.check)];
    for (const LinePattern& logError : Lines().logErrors) {
        if (logError.Match(line))
            return true;
    }
    return parser.reads != nullptr && parser.reads(line, into);
}

RunRecord ReadAsSection(Section section, const std::vector<std::string>& lines)
{
    RunRecord record;
    ReportReader reader("section", [&](RunRecord&& run) { record = std::move(run); });
    ReportReader::State& state = *reader.state_;
    state.StartRun(std::nullopt, false);
    state.Enter(section);
    std::uint64_t number = 0;
    for (const std::string& line : lines)
        state.Line(line, ++number);
    reader.Finish();
    return record;
}

}  // namespace triage
