#pragma once

// The hosts file as the hosts section frames it: a rule, the file's own
// text, the rule again. Inside the frame any text may stand, so the frame
// decides for each line whether it is the file's; the report's next section
// ends it. That end is seen only after a rule, an empty line and a title, and
// the resolver's title counts only when a line its section starts with
// follows, so that title is held until the next line decides.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "triage/record.h"

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

    // Starts a frame that fills `hosts.content` with up to `maxBytes`.
    void Open(HostsFacts& hosts, std::size_t maxBytes);
    bool IsOpen() const { return hosts_ != nullptr; }
    Step Take(std::string_view line, std::uint64_t number);
    // Ends the frame where the report ends or moves on; a line still held is
    // handed back to be read as the report's.
    std::optional<HeldLine> Close();

private:
    void Keep(std::string_view line);
    void Finish();
    void Append(const std::string& line);

    HostsFacts* hosts_ = nullptr;
    std::size_t maxBytes_ = 0;
    std::size_t bytes_ = 0;
    std::size_t lines_ = 0;
    std::vector<std::string> tail_;  // the last lines, which may be the frame's end
    std::optional<HeldLine> held_;
};

}  // namespace triage
