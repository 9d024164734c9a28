#pragma once

// Reading the report with the diagnostic's own printf formats: a format is cut
// into its lines, and a line of a report is matched against one of them,
// giving the text of each conversion. So a reworded message in the diagnostic
// changes what zemlotriage recognises with it, instead of silently drifting.

#include <string>
#include <string_view>
#include <vector>

namespace triage {

// The wide texts of the shared headers, as UTF-8.
std::string ToUtf8(const wchar_t* wide);

class LinePattern {
public:
    LinePattern() = default;
    explicit LinePattern(std::string_view formatLine);

    // True when the whole line matches; fields receives one text per
    // conversion (adjacent string conversions count as one).
    bool Match(std::string_view line, std::vector<std::string>* fields = nullptr) const;
    // The literal text before the first conversion: a cheap first test.
    const std::string& Lead() const { return lead_; }

private:
    struct Piece {
        bool literal;
        std::string text;  // literal text
        char conversion;   // 'd', 'u', 'x', 's' (numbers in hex are 'x')
    };
    bool MatchFrom(std::size_t piece, std::string_view line, std::size_t pos, std::vector<std::string>* fields) const;

    std::vector<Piece> pieces_;
    std::string lead_;
};

// Line `index` of the format counted among its non-empty lines, without the
// blanks at its ends (the reader reads lines without them).
LinePattern FormatLine(const wchar_t* format, std::size_t index = 0);
// A fixed text (no conversions) as UTF-8, without its leading and trailing
// line breaks and its indentation; a whole line is compared without the
// blanks at its end (WithoutEndBlanks).
std::string FixedLine(const wchar_t* text, std::size_t index = 0);

}  // namespace triage
