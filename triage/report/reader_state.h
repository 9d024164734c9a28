#pragma once

// The report reader's state, shared by its files: the run lifecycle
// (report_reader.cpp) and the joining of lines a mail client or a console
// broke (line_joins.cpp).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "triage/report/report_lines.h"
#include "triage/report/report_reader.h"
#include "triage/report/section_parser.h"

namespace triage {


// The log writes "error: " or "warning: " at the end of the line before the
// message it marks.
enum class Mark { None, Error, Warning };

// Lines at least this wide may have been broken at a console's or a printed
// page's width (a console is 80 columns or more; a page printed in a larger
// font holds fewer, 76 in 12-point Courier).
inline constexpr std::size_t kNarrowestColumnBreak = 60;

// Where a line as wide as the console or the page may have been broken: in
// its text (what it holds reaches the last column), or where a blank stood
// that a console pads or a printout's text drops.
enum class ColumnBreak { None, InText, AtBlank };

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
        std::string otherText;     // joined the other way at its first uncertain break, if any
        std::uint64_t number = 0;  // of its last physical line
        // When its last physical line came, in the order lines reach the
        // reader: a quoted-printable mail's line numbers skip its soft breaks.
        std::uint64_t sequence = 0;
        std::string lastPart;      // its last physical line
        ColumnBreak columnBreak = ColumnBreak::None;  // of its last physical line
        Mark mark = Mark::None;    // the mark it came under
        std::size_t listed = 0;    // its physical lines listed as unrecognised
        std::size_t pageLines = 0;  // a printed page's header or footer listed after them
        RunRecord before;
        Section section = Section::None;
        int proxyKey = -1;
        SectionState::ChainPart chainPart = SectionState::ChainPart::None;
    };
    std::uint64_t sequence = 0;  // lines that reached the reader
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
    bool printed = false;    // a page's form feed or number was seen: lines break at its width

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
        // After a start banner, the lines before the first section are the
        // OS line's (and the user's before it), as are those after /fix's
        // "Test after import".
        const bool osPlace =
            (!capture && (parse->section == Section::None || parse->section == Section::User)) ||
            (parse->section == Section::Fix && run->fix.testAfterImport);
        // A printed page's header is no line of the section it interrupts.
        if ((parser.hasCheck || osPlace) && !pageStart)
            ++run->unplacedLines[Index(osPlace ? Check::Os : parser.check)];
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

}  // namespace triage
