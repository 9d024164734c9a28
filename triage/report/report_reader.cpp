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

namespace triage {

namespace {

// The log writes "error: " or "warning: " at the end of the line before the
// message it marks.
enum class Mark { None, Error, Warning };

// Lines at least this wide may have been broken at a console's or a printed
// page's width (a console is 80 columns or more, a printed page about as wide).
constexpr std::size_t kNarrowestColumnBreak = 80;

// Where a line as wide as the console or the page may have been broken: in
// its text (what it holds reaches the last column), or where a blank stood
// that a console pads or a printout's text drops.
enum class ColumnBreak { None, InText, AtBlank };

}  // namespace

struct ReportReader::State {
    std::string fileName;
    RunSink sink;
    ReaderOptions options;
    int runs = 0;
    std::optional<RunRecord> run;
    std::optional<SectionState> parse;  // of the current run
    bool capture = false;               // the current run began without a banner
    std::string_view encoding;          // of the lines being fed
    std::string part;                   // the mail part the lines come from
    // The report line read last, with the facts from before it, in case the
    // next line continues it (a mail client's hard wrap).
    struct LastLine {
        std::string text;          // joined over the continuations found so far
        std::uint64_t number = 0;  // of its last physical line
        std::string lastPart;      // its last physical line
        ColumnBreak columnBreak = ColumnBreak::None;  // of its last physical line
        Mark mark = Mark::None;    // the mark it came under
        std::size_t listed = 0;    // its physical lines listed as unrecognised
        RunRecord before;
        Section section = Section::None;
        int proxyKey = -1;
        SectionState::ChainPart chainPart = SectionState::ChainPart::None;
    };
    LastLine lineSlots[2];  // the last line's, and the one being read
    int lastSlot = -1;      // which holds the last line, if any
    Mark markForNextLine = Mark::None;
    // The indentation of the report's first line (a code block's, a
    // console's margin): the text of the hosts file keeps what is past it.
    std::size_t margin = 0;
    // The widest line yet: a console window's or a printed page's width,
    // where longer lines were broken.
    std::size_t widest = 0;
    bool pageStart = false;  // the line being read starts a printed page

    void StartRun(OptText start, bool fromCapture)
    {
        std::vector<Unrecognised> carried;
        if (run) {
            if (capture && !AnySection())
                carried = std::move(run->unrecognised);  // stray text before the banner
            else
                Emit();
        }
        parse.reset();
        lastSlot = -1;
        run.emplace();
        run->file = fileName;
        run->start = std::move(start);
        run->consoleCapture = fromCapture;
        run->encoding = std::string(encoding);
        run->part = part;
        run->unrecognised = std::move(carried);
        parse.emplace(*run);
        parse->maxHostsBytes = options.maxHostsBytes;
        capture = fromCapture;
        markForNextLine = Mark::None;
    }

    bool AnySection() const { return std::any_of(std::begin(run->seen), std::end(run->seen), [](bool s) { return s; }); }

    void Emit()
    {
        CloseHostsFrame();
        if (run->ended)
            run->ending = Ending::EndBanner;
        else if (!run->promptSeen)
            run->ending = Ending::CutShort;
        else
            run->ending = capture ? Ending::ConsoleCapture : Ending::ClosedAtPrompt;
        run->run = ++runs;
        parse.reset();
        lastSlot = -1;
        sink(std::move(*run));
        run.reset();
    }

    // A line the frame held back is the report's after all: read it now
    // (its raw text was kept when it came).
    void CloseHostsFrame()
    {
        if (!parse)
            return;
        std::optional<HostsFrame::HeldLine> held = parse->hostsFrame.Close();
        for (const HostsFrame::HeldLine& title : parse->hostsFrame.TakeKeptTitles())
            Unplaced(title.text, title.number);
        if (held)
            ReportLine(held->text, held->number);
    }

    // A later section's title the frame kept as the file's text: that section
    // could not be read.
    void Unplaced(const std::string& line, std::uint64_t number)
    {
        if (run->unplaced.size() < options.maxUnrecognised)
            run->unplaced.push_back({number, line});
        SectionState probe(*run);
        for (Section section : {Section::Dns, Section::ChainCurrentUser, Section::ChainLocalMachine}) {
            const SectionParser& parser = ParserOf(section);
            if (parser.opens(WithoutMark(line), probe))
                run->titleUnplaced[Index(parser.check)] = true;
        }
    }

    void Enter(Section next)
    {
        CloseHostsFrame();
        EnterOn(*parse, next);
    }

    static void EnterOn(SectionState& into, Section next)
    {
        into.section = next;
        const SectionParser& parser = ParserOf(next);
        if (parser.hasCheck)
            into.run.seen[Index(parser.check)] = true;
        into.chainPart = SectionState::ChainPart::None;
    }

    void Unknown(std::string_view line, std::uint64_t number)
    {
        const SectionParser& parser = ParserOf(parse->section);
        // A printed page's header is no line of the section it interrupts.
        if (parser.hasCheck && !pageStart)
            ++run->unplacedLines[Index(parser.check)];
        Listed(line, number);
    }

    void Listed(std::string_view line, std::uint64_t number)
    {
        if (run->unrecognised.size() < options.maxUnrecognised)
            run->unrecognised.push_back({number, std::string(line)});
        else
            ++run->unrecognisedDropped;
    }

    void KeepRaw(std::string_view line)
    {
        if (!options.keepRaw || !run)
            return;
        if (run->raw.size() + line.size() + 1 > options.maxRawBytes) {
            run->rawCut = true;
            return;
        }
        run->raw.append(line);
        run->raw.push_back('\n');
    }

    void Line(std::string_view line, std::uint64_t number);
    void UnendedLine(std::string_view line, std::uint64_t number);
    bool FrameTakes(std::string_view line, std::uint64_t number);
    bool Banner(std::string_view line);
    void ReportLine(std::string_view line, std::uint64_t number, std::size_t endBlanks = 0,
                    ColumnBreak columnBreak = ColumnBreak::None);
    bool Place(std::string_view line, Mark mark, SectionState& into);
    bool Rejoin(LastLine& previous, std::string_view line, std::uint64_t number,
                const std::vector<const char*>& separators);
};

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
    // A printed page starts with a form feed, then its header or its text.
    pageStart = StartsPrintedPage(line);
    if (pageStart)
        line.remove_prefix(1);
    if (IsCmdPromptLine(line))
        return;  // the console's, before or after the report
    if (IsPageNumberLine(line)) {
        if (!run)
            StartRun(std::nullopt, true);
        Listed(WithoutEndBlanks(line), number);
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
        current->number = number;
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
    if (previous && previous->number + 1 == number && previous->text.size() + line.size() < kMaxJoinedBytes) {
        if (WrapBefore(previous->lastPart, body))
            separators = WrapSeparators(previous->lastPart);
        else if (previous->columnBreak != ColumnBreak::None && Indentation(body) <= 1)  // not a line indented on its own
            separators = previous->columnBreak == ColumnBreak::InText ? std::vector<const char*>{"", " "}
                                                                      : std::vector<const char*>{" ", ""};
    }
    if (!separators.empty() && Rejoin(*previous, line, number, separators))
        return;
    if (!separators.empty() && previous->listed > 0) {
        // A line cut by a wrap and not yet whole: its parts stay unknown
        // until a later one completes it.
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

// `line` read as the continuation of the line before it, on the facts from
// before that line; true when the whole line is known, and it then stands
// for both.
bool ReportReader::State::Rejoin(LastLine& previous, std::string_view line, std::uint64_t number,
                                 const std::vector<const char*>& separators)
{
    for (const char* separator : separators) {
        std::string joined = previous.text + separator + std::string(line);
        // A break inside the mark that ends the line.
        Mark joinedMark = Mark::None;
        for (const auto& [mark, text] : {std::pair{Mark::Error, &Lines().errorMark}, std::pair{Mark::Warning, &Lines().warningMark}}) {
            if (markForNextLine == Mark::None && EndsWith(joined, *text) && !EndsWith(line, *text)) {
                joinedMark = mark;
                joined.resize(joined.size() - text->size());
            }
        }
        RunRecord facts = previous.before;
        SectionState trial(facts);
        trial.section = previous.section;
        trial.proxyKey = previous.proxyKey;
        trial.chainPart = previous.chainPart;
        trial.maxHostsBytes = parse->maxHostsBytes;
        if (!Place(joined, previous.mark, trial))
            continue;
        for (; previous.listed > 0; --previous.listed)
            run->unrecognised.pop_back();
        PutFacts(*run, std::move(facts));
        parse->section = trial.section;
        parse->proxyKey = trial.proxyKey;
        parse->chainPart = trial.chainPart;
        previous.text = std::move(joined);
        previous.number = number;
        previous.lastPart.assign(line);
        if (joinedMark != Mark::None) {
            markForNextLine = joinedMark;
            lastSlot = -1;  // a line with a mark goes on in no other
            return true;
        }
        lastSlot = static_cast<int>(&previous - lineSlots);
        return true;
    }
    return false;
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
