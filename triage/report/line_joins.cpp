// A line a mail client or a console window broke, joined to the line before
// it where the joined line reads.

#include <string_view>
#include <vector>

#include "triage/input/mail_wrap.h"
#include "triage/report/reader_state.h"
#include "triage/report/report_lines.h"
#include "triage/text_util.h"

namespace triage {

// `line` read as the continuation of the line before it, on the facts from
// before that line; true when the whole line is known, and it then stands
// for both.
bool ReportReader::State::Rejoin(LastLine& previous, std::string_view line, std::uint64_t number,
                                 const std::vector<const char*>& separators)
{
    // The reading kept first, then the other one, each with every separator.
    for (const std::string* before : {&previous.text, &previous.otherText}) {
        if (before->empty())
            continue;
        for (const char* separator : separators) {
            std::string joined = *before + separator + std::string(line);
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
            // Its parts are listed before the page's lines that came after them.
            const auto partsEnd = run->unrecognised.end() - static_cast<std::ptrdiff_t>(previous.pageLines);
            run->unrecognised.erase(partsEnd - static_cast<std::ptrdiff_t>(previous.listed), partsEnd);
            previous.listed = 0;
            previous.pageLines = 0;
            PutFacts(*run, std::move(facts));
            parse->section = trial.section;
            parse->proxyKey = trial.proxyKey;
            parse->chainPart = trial.chainPart;
            previous.text = std::move(joined);
            previous.otherText.clear();
            previous.number = number;
            previous.sequence = sequence;
            previous.lastPart.assign(line);
            if (joinedMark != Mark::None) {
                markForNextLine = joinedMark;
                lastSlot = -1;  // a line with a mark goes on in no other
                return true;
            }
            lastSlot = static_cast<int>(&previous - lineSlots);
            return true;
        }
    }
    return false;
}

}  // namespace triage
