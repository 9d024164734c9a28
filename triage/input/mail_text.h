#pragma once

// Lines of a report as a mail brought it, put back as the diagnostic wrote
// them before they are read: a quoted-printable body (given away by its
// Content-Transfer-Encoding header) is decoded, with its soft line breaks
// joined (MailText), and reply quoting ("> ", ">> ", "> > ") is taken off
// at the depth the report's first line carries (ReplyQuoting, after a
// ticket's HTML escaping is read, which turns "&gt; " into "> "). Other
// lines pass unchanged.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "triage/input/text_decoder.h"

namespace triage {

// "=XX" becomes its byte; an "=" without two hex digits stays as it is.
std::string DecodeQuotedPrintable(std::string_view line);

class MailText {
public:
    explicit MailText(LineDecoder::LineSink sink) : sink_(std::move(sink)) {}

    void Line(std::string_view line, std::uint64_t number);
    // A line of a part the mail's parts decoded themselves (base64, a
    // quoted-printable file): passed on as it is, for reply quoting alone.
    void Decoded(std::string_view line, std::uint64_t number) { sink_(line, number); }
    // Passes on what is held: a line whose soft break had no continuation,
    // a quoted blank line at the end.
    void Finish();

private:
    void Header(std::string_view line);
    void PassDecoded();

    LineDecoder::LineSink sink_;
    bool quotedPrintable_ = false;
    std::vector<std::string> boundaries_;  // MIME part delimiters, without "--"
    std::string joined_;  // a quoted-printable line, joined over its soft breaks
    std::uint64_t joinedNumber_ = 0;
    bool joining_ = false;
};

class ReplyQuoting {
public:
    explicit ReplyQuoting(LineDecoder::LineSink sink) : sink_(std::move(sink)) {}

    void Line(std::string_view line, std::uint64_t number);
    // Passes on the quoted lines held when no report followed them.
    void Finish();

private:
    struct HeldLine {
        std::string text;
        int marks;
        std::uint64_t number;
    };
    void PassHeld(int depth);

    LineDecoder::LineSink sink_;
    int quoteDepth_ = 0;
    // Quoted lines before the depth is known: the start of the quote the
    // report stands in (a console's prompt, a blank line) is quoted as deep.
    std::deque<HeldLine> held_;
};

}  // namespace triage
