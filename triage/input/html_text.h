#pragma once

// A report in a ticket's or a web page's export: HTML character references
// (&lt; &amp; &quot; &#39; &#NNN; &nbsp; ...) read as the characters they
// stand for, in plain text as in a page; in a page (a file that starts as
// HTML) the markup is no report text: tags are taken off, <br> and the ends
// of blocks end lines, and what <head>, <script> and <style> hold is skipped.

#include <cstdint>
#include <string>
#include <string_view>

#include "triage/input/text_decoder.h"

namespace triage {

// The text with every character reference it knows replaced; others stay.
std::string WithoutCharacterReferences(std::string_view text);

class HtmlText {
public:
    explicit HtmlText(LineDecoder::LineSink sink) : sink_(std::move(sink)) {}

    void Line(std::string_view line, std::uint64_t number);

private:
    void PageLine(std::string_view line, std::uint64_t number);
    void Tag(std::string_view name, std::uint64_t number);
    void Emit(std::uint64_t number);

    LineDecoder::LineSink sink_;
    bool decided_ = false;
    bool page_ = false;
    std::string tag_;      // a tag not yet closed, perhaps over lines
    bool inTag_ = false;
    std::string skipUntil_;  // the closing tag of <head>, <script> or <style>
    bool inPre_ = false;
    std::string text_;
};

}  // namespace triage
