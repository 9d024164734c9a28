#include "triage/input_walker.h"

#include <cctype>

namespace fs = std::filesystem;

namespace triage {

std::optional<std::string> InputWalker::Next(std::vector<std::string>* errors)
{
    while (true) {
        if (walking_) {
            std::error_code ec;
            while (walk_ != fs::recursive_directory_iterator()) {
                const fs::directory_entry entry = *walk_;
                walk_.increment(ec);
                if (ec) {
                    errors->push_back(entry.path().u8string() + ": " + ec.message());
                    walking_ = false;
                    break;
                }
                std::string extension = entry.path().extension().u8string();
                for (char& c : extension)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                std::error_code typeError;
                if (extension == ".txt" && entry.is_regular_file(typeError))
                    return entry.path().u8string();
            }
            walking_ = false;
        }
        if (next_ >= arguments_.size())
            return std::nullopt;
        const std::string& argument = arguments_[next_++];
        std::error_code ec;
        if (argument != "-" && fs::is_directory(fs::u8path(argument), ec)) {
            walk_ = fs::recursive_directory_iterator(fs::u8path(argument), fs::directory_options::skip_permission_denied,
                                                     ec);
            if (ec) {
                errors->push_back(argument + ": " + ec.message());
                continue;
            }
            walking_ = true;
            continue;
        }
        return argument;
    }
}

}  // namespace triage
