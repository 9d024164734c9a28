// Format lines cut into literal and conversion pieces, matched with
// backtracking over the string conversions.

#include "triage/report/format_match.h"

#include <utf8.h>

#include <cctype>
#include <iterator>

#include "triage/text_util.h"

namespace triage {

std::string ToUtf8(const wchar_t* wide)
{
    std::string out;
    std::wstring_view text(wide);
    if constexpr (sizeof(wchar_t) == 2)
        utf8::utf16to8(text.begin(), text.end(), std::back_inserter(out));
    else
        utf8::utf32to8(text.begin(), text.end(), std::back_inserter(out));
    return out;
}

LinePattern::LinePattern(std::string_view format)
{
    std::string literal;
    auto flushLiteral = [&] {
        if (!literal.empty())
            pieces_.push_back({true, literal, 0});
        literal.clear();
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            literal.push_back(format[i]);
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            literal.push_back('%');
            ++i;
            continue;
        }
        // Flags, width and length modifiers say nothing a reader needs.
        std::size_t j = i + 1;
        while (j < format.size() && std::string_view("-+ 0#123456789lhw").find(format[j]) != std::string_view::npos)
            ++j;
        if (j >= format.size())
            break;
        char conversion = format[j];
        if (conversion == 'S' || conversion == 'c')
            conversion = 's';
        else if (conversion == 'X')
            conversion = 'x';
        else if (conversion == 'i')
            conversion = 'd';
        flushLiteral();
        if (conversion == 's' && !pieces_.empty() && !pieces_.back().literal && pieces_.back().conversion == 's') {
            // "%s%s" reads as one text.
        } else {
            pieces_.push_back({false, {}, conversion});
        }
        i = j;
    }
    flushLiteral();
    if (!pieces_.empty() && pieces_.front().literal)
        lead_ = pieces_.front().text;
}

bool LinePattern::Match(std::string_view line, std::vector<std::string>* fields) const
{
    if (fields != nullptr)
        fields->clear();
    if (line.compare(0, lead_.size(), lead_) != 0)
        return false;
    return MatchFrom(0, line, 0, fields);
}

bool LinePattern::MatchFrom(std::size_t index, std::string_view line, std::size_t pos,
                            std::vector<std::string>* fields) const
{
    if (index == pieces_.size())
        return pos == line.size();
    const Piece& piece = pieces_[index];
    if (piece.literal) {
        if (line.compare(pos, piece.text.size(), piece.text) != 0)
            return false;
        return MatchFrom(index + 1, line, pos + piece.text.size(), fields);
    }
    const std::size_t fieldIndex = fields != nullptr ? fields->size() : 0;
    auto tryEnd = [&](std::size_t end) {
        if (fields != nullptr)
            fields->emplace_back(line.substr(pos, end - pos));
        if (MatchFrom(index + 1, line, end, fields))
            return true;
        if (fields != nullptr)
            fields->resize(fieldIndex);
        return false;
    };
    if (piece.conversion == 's') {
        if (index + 1 == pieces_.size())
            return tryEnd(line.size());
        const Piece& next = pieces_[index + 1];
        if (next.literal) {
            // Shortest first: the texts the diagnostic prints rarely hold
            // the literal that follows them.
            for (std::size_t at = line.find(next.text, pos); at != std::string_view::npos;
                 at = line.find(next.text, at + 1)) {
                if (tryEnd(at))
                    return true;
            }
            return false;
        }
        for (std::size_t end = pos; end <= line.size(); ++end) {
            if (tryEnd(end))
                return true;
        }
        return false;
    }
    // A number: padding blanks, a sign for decimals, then digits.
    std::size_t end = pos;
    while (end < line.size() && line[end] == ' ')
        ++end;
    const std::size_t numberStart = end;
    if (piece.conversion == 'd' && end < line.size() && line[end] == '-')
        ++end;
    const std::size_t digitsStart = end;
    while (end < line.size() &&
           (piece.conversion == 'x' ? std::isxdigit(static_cast<unsigned char>(line[end])) != 0
                                    : std::isdigit(static_cast<unsigned char>(line[end])) != 0))
        ++end;
    if (end == digitsStart)
        return false;
    if (fields != nullptr)
        fields->emplace_back(line.substr(numberStart, end - numberStart));
    if (MatchFrom(index + 1, line, end, fields))
        return true;
    if (fields != nullptr)
        fields->resize(fieldIndex);
    return false;
}

namespace {

std::vector<std::string> NonEmptyLines(const wchar_t* format)
{
    const std::string text = ToUtf8(format);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace

// Blanks at either end are the layout's: a line is read without them.
LinePattern FormatLine(const wchar_t* format, std::size_t index)
{
    return LinePattern(WithoutEndBlanks(FixedLine(format, index)));
}

// A fixed text may lead a longer line: only its indentation goes.
std::string FixedLine(const wchar_t* text, std::size_t index)
{
    const auto lines = NonEmptyLines(text);
    if (index >= lines.size())
        return std::string();
    return lines[index].substr(Indentation(lines[index]));
}

}  // namespace triage
