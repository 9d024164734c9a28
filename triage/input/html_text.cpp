#include "triage/input/html_text.h"

#include <utf8.h>

#include <cctype>
#include <cstring>

#include "triage/text_util.h"

namespace triage {

namespace {

constexpr struct {
    std::string_view name;
    std::uint32_t codePoint;
} kNamedReferences[] = {
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '},
};

// Tags after which a page's text goes on in a new line.
constexpr std::string_view kLineBreakingTags[] = {"br", "p", "/p", "div", "/div", "tr", "/tr", "li", "/li",
                                                  "pre", "/pre", "h1", "/h1", "h2", "/h2", "h3", "/h3"};
// Tags whose content is no text of the page.
constexpr std::string_view kSkippedTags[] = {"head", "script", "style", "title"};

// The code point of the reference `name` (between '&' and ';'), or none.
bool ReferenceValue(std::string_view name, std::uint32_t& codePoint)
{
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 7)
            return false;
        std::uint32_t value = 0;
        for (char c : digits) {
            const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                              : hex && std::isxdigit(static_cast<unsigned char>(c))
                                  ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                                  : -1;
            if (digit < 0)
                return false;
            value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
        }
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        codePoint = value == 0xA0 ? ' ' : value;  // a no-break space is a space, as elsewhere
        return true;
    }
    for (const auto& reference : kNamedReferences) {
        if (name == reference.name) {
            codePoint = reference.codePoint;
            return true;
        }
    }
    return false;
}

bool StartsPage(std::string_view line)
{
    const std::string lower = Lower(line.substr(0, 16));
    return StartsWith(lower, "<!doctype html") || StartsWith(lower, "<html") || StartsWith(lower, "<?xml");
}

}  // namespace

std::string WithoutCharacterReferences(std::string_view text)
{
    std::string out;
    std::size_t done = 0;
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
        const std::size_t semicolon = text.find(';', amp + 1);
        if (semicolon == std::string_view::npos || semicolon - amp > 10)
            continue;
        std::uint32_t codePoint = 0;
        if (!ReferenceValue(text.substr(amp + 1, semicolon - amp - 1), codePoint))
            continue;
        out.append(text.substr(done, amp - done));
        utf8::append(codePoint, std::back_inserter(out));
        done = semicolon + 1;
        amp = semicolon;
    }
    if (done == 0)
        return std::string(text);
    out.append(text.substr(done));
    return out;
}

void HtmlText::Line(std::string_view line, std::uint64_t number)
{
    if (!decided_ && !WithoutEndBlanks(line).empty()) {
        decided_ = true;
        page_ = StartsPage(line.substr(Indentation(line)));
    }
    if (page_) {
        PageLine(line, number);
        return;
    }
    if (line.find('&') == std::string_view::npos) {
        sink_(line, number);
        return;
    }
    const std::string text = WithoutCharacterReferences(line);
    sink_(text, number);
}

void HtmlText::PageLine(std::string_view line, std::uint64_t number)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inTag_) {
            if (c == '>') {
                inTag_ = false;
                Tag(tag_, number);
            } else if (tag_.size() < 64) {
                tag_.push_back(c);
            }
            continue;
        }
        if (c == '<') {
            inTag_ = true;
            tag_.clear();
            continue;
        }
        if (skipUntil_.empty() && text_.size() < kMaxLineBytes)
            text_.push_back(c);
    }
    if (inTag_)
        tag_.push_back(' ');
    // A page's source line ends a line of text where it holds some, and in
    // <pre> always.
    if (!text_.empty() || (inPre_ && skipUntil_.empty()))
        Emit(number);
}

void HtmlText::Tag(std::string_view tag, std::uint64_t number)
{
    const std::string name = Lower(tag.substr(0, tag.find_first_of(" \t/>", 1)));
    if (!skipUntil_.empty()) {
        if (name == skipUntil_)
            skipUntil_.clear();
        return;
    }
    for (std::string_view skipped : kSkippedTags) {
        if (name == skipped && !tag.empty() && tag.back() != '/') {
            skipUntil_ = "/" + name;
            return;
        }
    }
    if (name == "pre")
        inPre_ = true;
    else if (name == "/pre")
        inPre_ = false;
    for (std::string_view breaking : kLineBreakingTags) {
        if (name == breaking) {
            if (name == "br" || !text_.empty())
                Emit(number);
            return;
        }
    }
}

void HtmlText::Emit(std::uint64_t number)
{
    const std::string text = WithoutCharacterReferences(text_);
    text_.clear();
    sink_(text, number);
}

}  // namespace triage
