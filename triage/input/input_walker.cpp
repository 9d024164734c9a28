#include "triage/input/input_walker.h"

#include "triage/input/input_kinds.h"

#include <algorithm>
#include <cctype>

namespace fs = std::filesystem;

namespace triage {

namespace {

bool IsLogName(const fs::path& path)
{
    return IsReadName(path.filename().u8string());
}

}  // namespace

void InputWalker::Open(const fs::path& folder, std::vector<std::string>* errors)
{
    Listing listing;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec))
        listing.entries.push_back(it->path());
    if (ec) {
        errors->push_back(folder.u8string() + ": " + ec.message());
        return;
    }
    // Byte order of the UTF-8 names: the same on every system.
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().u8string() < b.filename().u8string(); });
    folders_.push_back(std::move(listing));
}

std::optional<std::string> InputWalker::Next(std::vector<std::string>* errors)
{
    while (true) {
        while (!folders_.empty()) {
            Listing& listing = folders_.back();
            if (listing.next >= listing.entries.size()) {
                folders_.pop_back();
                continue;
            }
            const fs::path entry = listing.entries[listing.next++];
            std::error_code ec;
            const fs::file_status status = fs::symlink_status(entry, ec);
            if (fs::is_directory(status)) {
                Open(entry, errors);  // may grow folders_: `listing` is not used past here
                continue;
            }
            if (IsLogName(entry) && fs::is_regular_file(fs::status(entry, ec))) {
                ++logsInArgument_;
                return entry.u8string();
            }
        }
        if (!walkedArgument_.empty() && logsInArgument_ == 0)
            errors->push_back(walkedArgument_ + ": no log (*.txt, *.log, *.eml, *.zip) in this folder");
        walkedArgument_.clear();
        if (next_ >= arguments_.size())
            return std::nullopt;
        const std::string& argument = arguments_[next_++];
        std::error_code ec;
        if (argument != "-" && fs::is_directory(fs::u8path(argument), ec)) {
            const std::size_t errorsBefore = errors->size();
            Open(fs::u8path(argument), errors);
            // A folder that could not be listed has said so already.
            walkedArgument_ = errors->size() > errorsBefore ? std::string() : argument;
            logsInArgument_ = 0;
            continue;
        }
        return argument;
    }
}

}  // namespace triage
