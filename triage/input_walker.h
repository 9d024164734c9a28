#pragma once

// The files the command line names, one at a time: a file or "-" as given,
// a folder searched recursively for *.txt, lazily, so that memory does not
// grow with the number of files.

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
    // walked adds one line to `errors` and the walk goes on.
    std::optional<std::string> Next(std::vector<std::string>* errors);

private:
    std::vector<std::string> arguments_;
    std::size_t next_ = 0;
    bool walking_ = false;
    std::filesystem::recursive_directory_iterator walk_;
};

}  // namespace triage
