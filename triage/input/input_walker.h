#pragma once

// The files the command line names, one at a time: a file or "-" as given,
// a folder searched recursively for the kinds that are read (*.txt, *.log,
// *.eml, *.zip, in any letter case) in name order (so every machine
// lists a fleet alike), one folder's listing held at a time.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace triage {

class InputWalker {
public:
    explicit InputWalker(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

    // The next path (UTF-8), or nothing at the end. A folder that cannot be
    // walked, or holds no log at all, adds one line to `errors` and the
    // walk goes on.
    std::optional<std::string> Next(std::vector<std::string>* errors);

private:
    struct Listing {
        std::vector<std::filesystem::path> entries;  // sorted by name
        std::size_t next = 0;
    };
    void Open(const std::filesystem::path& folder, std::vector<std::string>* errors);

    std::vector<std::string> arguments_;
    std::size_t next_ = 0;
    std::vector<Listing> folders_;  // the folders being walked, outermost first
    std::string walkedArgument_;
    std::size_t logsInArgument_ = 0;
};

}  // namespace triage
