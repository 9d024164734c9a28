#pragma once

// Lines of a report as a mail brought it, put back as the diagnostic wrote
// them before they are read: a quoted-printable body (given away by its
// Content-Transfer-Encoding header) is decoded, with its soft line breaks
// joined, and reply quoting ("> ", ">> ", "> > ") is taken off at the depth
// the report's first line carries. Other lines pass unchanged.

#include <cstdint>
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
    // quoted-printable file): only reply quoting is taken off.
    void Decoded(std::string_view line, std::uint64_t number) { Unquote(line, number); }
    // Passes on what is held: a line whose soft break had no continuation,
    // a quoted blank line at the end.
    void Finish();

private:
    void Header(std::string_view line);
    void PassDecoded();
    void Unquote(std::string_view line, std::uint64_t number);

    LineDecoder::LineSink sink_;
    bool quotedPrintable_ = false;
    std::vector<std::string> boundaries_;  // MIME part delimiters, without "--"
    std::string joined_;  // a quoted-printable line, joined over its soft breaks
    std::uint64_t joinedNumber_ = 0;
    bool joining_ = false;
    int quoteDepth_ = 0;
    std::string heldBlank_;  // a line of quote marks alone, before the depth is known
    int heldBlankMarks_ = 0;
    std::uint64_t heldBlankNumber_ = 0;
};

}  // namespace triage
