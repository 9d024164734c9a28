#include "triage/input/mail_text.h"

#include <cctype>

#include "triage/input/transfer_digits.h"
#include "triage/text_util.h"

namespace triage {

namespace {

constexpr std::string_view kTransferEncoding = "content-transfer-encoding:";
constexpr std::string_view kBoundary = "boundary=";
// The report's first line: the start banner's rule, or a console capture's
// OS line.
constexpr std::string_view kBannerRule = "###########################################";
constexpr std::string_view kConsoleFirst = "OS version: ";
// Quoted lines held before a quoted report: a reply's few lines before it.
constexpr std::size_t kHeldQuotedLines = 16;

// The number of quote marks a line starts with, and where its text begins
// after at most `limit` of them (each '>' with one space after it).
int QuoteMarks(std::string_view line, int limit, std::size_t& textStart)
{
    int marks = 0;
    textStart = 0;
    while (marks < limit && textStart < line.size() && line[textStart] == '>') {
        ++marks;
        ++textStart;
        if (textStart < line.size() && line[textStart] == ' ')
            ++textStart;
    }
    return marks;
}

}  // namespace

std::string DecodeQuotedPrintable(std::string_view line)
{
    std::string bytes;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '=' && i + 2 < line.size()) {
            const int high = HexValue(line[i + 1]);
            const int low = HexValue(line[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        bytes.push_back(line[i]);
    }
    return bytes;
}

void MailText::Header(std::string_view line)
{
    // Only headers and part delimiters matter here, and they start so.
    if (line.empty() || (line.front() != '-' && line.front() != 'C' && line.front() != 'c'))
        return;
    const std::string lower = Lower(line);
    if (lower.compare(0, kTransferEncoding.size(), kTransferEncoding) == 0) {
        quotedPrintable_ = Trimmed(std::string_view(lower).substr(kTransferEncoding.size())) == "quoted-printable";
        return;
    }
    const std::size_t at = lower.find(kBoundary);
    if (at != std::string::npos && lower.compare(0, 13, "content-type:") == 0) {
        std::string_view boundary = line.substr(at + kBoundary.size());
        if (!boundary.empty() && boundary.front() == '"') {
            boundary.remove_prefix(1);
            boundary = boundary.substr(0, boundary.find('"'));
        } else {
            boundary = Trimmed(boundary.substr(0, boundary.find(';')));
        }
        if (!boundary.empty())
            boundaries_.emplace_back(boundary);
        return;
    }
    // A part delimiter ends the part, and with it its transfer encoding.
    if (line.size() > 2 && line.compare(0, 2, "--") == 0) {
        for (const std::string& boundary : boundaries_) {
            if (line.substr(2, boundary.size()) == boundary) {
                quotedPrintable_ = false;
                return;
            }
        }
    }
}

void MailText::Line(std::string_view line, std::uint64_t number)
{
    if (!joining_)
        Header(line);
    if (!quotedPrintable_) {
        if (joining_) {  // a soft break that its part did not continue
            joining_ = false;
            PassDecoded();
        }
        sink_(line, number);
        return;
    }
    // Transports may add blanks at the end; encoders never leave any there.
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (!joining_) {
        joined_.clear();
        joinedNumber_ = number;
    }
    joining_ = !line.empty() && line.back() == '=';
    joined_.append(line.substr(0, line.size() - (joining_ ? 1 : 0)));
    if (!joining_)
        PassDecoded();
}

void MailText::Finish()
{
    if (joining_) {
        joining_ = false;
        PassDecoded();
    }
}

void MailText::PassDecoded()
{
    const std::string bytes = DecodeQuotedPrintable(joined_);
    if (bytes.empty()) {
        sink_(bytes, joinedNumber_);
        return;
    }
    // The bytes are in the body's charset: read them as any text is read.
    LineDecoder decoder([&](std::string_view decoded, std::uint64_t) { sink_(decoded, joinedNumber_); });
    decoder.Feed(bytes.data(), bytes.size());
    if (!decoder.Finish() && decoder.DetectedEncoding() == Encoding::Unknown)
        sink_(joined_, joinedNumber_);  // no text: keep the line as it came
}

void ReplyQuoting::Line(std::string_view line, std::uint64_t number)
{
    std::size_t textStart = 0;
    if (quoteDepth_ == 0) {
        const int marks = QuoteMarks(line, 1 << 10, textStart);
        const std::string_view text = line.substr(textStart);
        const bool reportStarts =
            marks > 0 && (text == kBannerRule || text.compare(0, kConsoleFirst.size(), kConsoleFirst) == 0);
        if (reportStarts) {
            quoteDepth_ = marks;
            PassHeld(marks);
        } else if (marks > 0) {
            if (held_.size() == kHeldQuotedLines)
                PassHeld(0);
            held_.push_back({std::string(line), marks, number});
            return;
        } else {
            PassHeld(0);
            sink_(line, number);
            return;
        }
    }
    // Lines quoted less deeply than the report are the reply's own.
    if (QuoteMarks(line, quoteDepth_, textStart) == quoteDepth_)
        line.remove_prefix(textStart);
    sink_(line, number);
}

void ReplyQuoting::Finish()
{
    PassHeld(0);
}

// The held lines, those quoted `depth` deep without their marks.
void ReplyQuoting::PassHeld(int depth)
{
    for (const HeldLine& held : held_) {
        std::size_t textStart = 0;
        std::string_view line = held.text;
        if (held.marks == depth && QuoteMarks(line, depth, textStart) == depth)
            line.remove_prefix(textStart);
        sink_(line, held.number);
    }
    held_.clear();
}

}  // namespace triage
