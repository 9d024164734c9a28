#pragma once

// Deflated bytes (a zip entry's: raw deflate, no zlib header) inflated as
// they come, through zlib. The browser page inflates with the browser's own
// DecompressionStream instead, so this is not part of its build.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace triage {

class Inflater {
public:
    using Out = std::function<bool(const char* data, std::size_t size)>;  // false: stop
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Hands what the bytes inflate to, in pieces of bounded size. False on
    // damaged data (Error() says so) or when `out` said stop.
    bool Feed(const char* data, std::size_t size, const Out& out);
    // True once the deflated stream's end was seen.
    bool Ended() const { return ended_; }
    const std::string& Error() const { return error_; }

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
    bool ended_ = false;
    std::string error_;
};

}  // namespace triage
