#pragma once

// Text written into a string with <<, as to a stream, but without the
// streams' locale machinery: the browser page's module writes its boards and
// CSV through this, and iostreams would be a third of its size. Strings,
// characters and integers only (a bool or a double does not compile).

#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

namespace triage {

class TextOut {
public:
    explicit TextOut(std::string& text) : text_(text) {}
    TextOut& operator<<(std::string_view part)
    {
        text_ += part;
        return *this;
    }
    TextOut& operator<<(const char* part)
    {
        text_ += part;
        return *this;
    }
    TextOut& operator<<(char c)
    {
        text_ += c;
        return *this;
    }
    template <typename Integer, typename = std::enable_if_t<std::is_integral_v<Integer> &&
                                                            !std::is_same_v<Integer, bool> && !std::is_same_v<Integer, char>>>
    TextOut& operator<<(Integer number)
    {
        text_ += std::to_string(number);
        return *this;
    }

private:
    std::string& text_;
};

// What `write(TextOut&)` writes, put on a stream (the command line's files).
template <typename Write>
void ToStream(std::ostream& out, const Write& write)
{
    std::string text;
    TextOut to(text);
    write(to);
    out << text;
}

}  // namespace triage
