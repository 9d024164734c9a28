#pragma once

// The hosts file as the hosts section frames it: a rule, the file's own
// text, the rule again. Inside the frame any text may stand, so the frame
// decides for each line whether it is the file's; the report's next section
// ends it. That end is seen only after a rule, any number of empty lines (a
// pasted report has them doubled or dropped) and a title, and the resolver's
// title counts only when a line its section starts with follows, so that
// title is held until the next line decides. A report title that the frame
// keeps as the file's text is listed, never taken silently.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "triage/report/record.h"

namespace triage {

class HostsFrame {
public:
    enum class Step {
        Kept,         // the line is the file's
        Held,         // the line may end the frame: the next line decides
        Ended,        // the frame ended before this line: read it as the report's
        EndedAtHeld,  // the frame ended before the held line: read that, then this one
    };
    struct HeldLine {
        std::string text;
        std::uint64_t number;
    };

    // Starts a frame that fills `hosts.content` with up to `maxBytes` of whole
    // lines and `hosts.matches` with every line naming a searched name.
    void Open(HostsFacts& hosts, std::size_t maxBytes);
    bool IsOpen() const { return hosts_ != nullptr; }
    Step Take(std::string_view line, std::uint64_t number);
    // Ends the frame where the report ends or moves on; a line still held is
    // handed back to be read as the report's.
    std::optional<HeldLine> Close();
    // Report titles kept as the file's text, each handed over once.
    std::vector<HeldLine> TakeKeptTitles()
    {
        std::vector<HeldLine> titles;
        titles.swap(keptTitles_);
        return titles;
    }

private:
    void Flush();
    void Finish();
    void Append(const HeldLine& line);
    bool TailEndsInRule() const;

    HostsFacts* hosts_ = nullptr;
    std::size_t maxBytes_ = 0;
    std::size_t bytes_ = 0;
    std::uint64_t lines_ = 0;
    // Empty lines and rules not yet known to be the file's: the frame's end
    // may be among them.
    std::vector<HeldLine> tail_;
    std::optional<HeldLine> held_;
    std::vector<HeldLine> keptTitles_;
};

}  // namespace triage
