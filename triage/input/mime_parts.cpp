#include "triage/input/mime_parts.h"

#include <cctype>

#include "triage/input/header_words.h"
#include "triage/input/input_kinds.h"
#include "triage/input/mail_text.h"
#include "triage/input/transfer_digits.h"
#include "triage/text_util.h"

namespace triage {

namespace {

// The headers a mail file starts with, as mail programs save it; an mbox's
// "From " line too. A report's lines never start so.
constexpr std::string_view kMailFirstHeaders[] = {
    "from:", "to:", "cc:", "subject:", "date:", "received:", "return-path:", "delivered-to:", "message-id:",
    "mime-version:", "content-type:", "reply-to:", "sender:", "x-", "dkim-signature:", "arc-",
    "authentication-results:", "thread-topic:", "in-reply-to:", "references:", "user-agent:", "from ",
};

bool LooksLikeMailStart(std::string_view line)
{
    const std::string lower = Lower(line.substr(0, 32));
    for (std::string_view header : kMailFirstHeaders)
        if (StartsWith(lower, header))
            return true;
    return false;
}

}  // namespace

void MimeParts::Headers::Take(std::string_view header)
{
    const std::string lower = Lower(header);
    const std::size_t colon = lower.find(':');
    if (colon == std::string::npos)
        return;
    const std::string_view name = std::string_view(lower).substr(0, colon);
    const std::string_view value = Trimmed(std::string_view(lower).substr(colon + 1));
    const std::string_view written = header.substr(colon + 1);
    if (name == "content-type") {
        type = std::string(Trimmed(value.substr(0, value.find(';'))));
        boundary = HeaderParameter(written, "boundary");
        charset = Lower(HeaderParameter(written, "charset"));
        if (fileName.empty())
            fileName = DecodeEncodedWords(HeaderParameter(written, "name"));
    } else if (name == "content-transfer-encoding") {
        encoding = std::string(value);
    } else if (name == "content-disposition") {
        const std::string named = DecodeEncodedWords(HeaderParameter(written, "filename"));
        if (!named.empty())
            fileName = named;
    }
}

MimeParts::MimeParts(Sinks sinks) : sinks_(std::move(sinks)) {}

MimeParts::~MimeParts() = default;

void MimeParts::Line(std::string_view line, std::uint64_t number)
{
    if (first_) {
        first_ = false;
        mail_ = inHeaders_ = messageHeaders_ = LooksLikeMailStart(line);
    }
    if (!mail_) {
        sinks_.passed(line, number);
        return;
    }
    lineNumber_ = number;
    if (inHeaders_) {
        HeaderLine(line);
        sinks_.passed(line, number);
        return;
    }
    if (!multiparts_.empty() && StartsWith(line, "--") && Delimiter(line)) {
        sinks_.passed(line, number);
        return;
    }
    switch (body_) {
    case Body::Passed: sinks_.passed(line, number); break;
    case Body::Decoded:
        if (quotedPrintable_)
            DecodeQuotedPrintableLine(line, number);
        else
            DecodeBase64(line, number);
        break;
    case Body::Dropped: break;
    }
}

void MimeParts::Finish()
{
    EndPart();
}

void MimeParts::HeaderLine(std::string_view line)
{
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        header_.append(line);  // a folded header goes on
        return;
    }
    if (!header_.empty())
        headers_.Take(header_);
    header_.assign(line);
    if (line.empty())
        EndHeaders();
}

// The headers are read: what follows is a multipart's preamble, a forwarded
// message's headers, or a part's body.
void MimeParts::EndHeaders()
{
    inHeaders_ = false;
    header_.clear();
    const Headers headers = std::move(headers_);
    headers_ = {};
    body_ = Body::Passed;
    if (StartsWith(headers.type, "multipart/") && !headers.boundary.empty()) {
        multiparts_.push_back({headers.boundary, number_, 0, headers.type == "multipart/alternative"});
        return;
    }
    // The first form of an alternative is read; the others (its HTML twin)
    // hold the same report again.
    for (const Multipart& multipart : multiparts_) {
        if (multipart.alternative && multipart.parts > 1) {
            body_ = Body::Dropped;
            return;
        }
    }
    const std::string number = messageHeaders_ ? (number_.empty() ? "1" : number_ + ".1") : number_;
    if (headers.type == "message/rfc822") {
        inHeaders_ = messageHeaders_ = true;  // number_ stays: its parts go under it
        return;
    }
    sinks_.part(headers.fileName.empty() ? number : number + " " + headers.fileName);
    partName_ = "part " + number + (headers.fileName.empty() ? "" : " (" + headers.fileName + ")");
    const bool named = !headers.fileName.empty();
    // A quoted-printable file is bytes like a base64 one, and UTF-16 text
    // is no text the mail's own lines can carry; a quoted-printable body in
    // an 8-bit charset goes on to the mail text.
    const bool quotedPrintable = headers.encoding == "quoted-printable";
    if (headers.encoding != "base64" && !(quotedPrintable && (named || StartsWith(headers.charset, "utf-16"))))
        return;
    const bool text = StartsWith(headers.type, "text/") || headers.type.empty() ||
                      headers.type == "application/octet-stream";
    std::optional<std::string> refused = named ? RefusedName(headers.fileName) : std::nullopt;
    if (named && IsZipName(headers.fileName))
        refused = "a zip archive: save the attachment and read the archive itself";
    if (refused) {
        notRead_.push_back(partName_ + ": " + *refused);
        body_ = Body::Dropped;
        return;
    }
    if (!text && !(named && IsReadName(headers.fileName))) {
        body_ = Body::Dropped;
        return;
    }
    body_ = Body::Decoded;
    quotedPrintable_ = quotedPrintable;
    lineBreakHeld_ = false;
    quantum_ = 0;
    quantumChars_ = 0;
    head_.clear();
    headKnown_ = false;
    decoder_ = std::make_unique<LineDecoder>([this](std::string_view decoded, std::uint64_t) {
        sinks_.decoded(decoded, lineNumber_, decoder_->CurrentEncoding());
    });
}

// A line "--boundary" of an open multipart starts its next part;
// "--boundary--" closes it (and any multipart inside it left open).
bool MimeParts::Delimiter(std::string_view line)
{
    for (std::size_t i = multiparts_.size(); i-- > 0;) {
        const std::string& boundary = multiparts_[i].boundary;
        if (line.substr(2, boundary.size()) != boundary)
            continue;
        const std::string_view rest = Trimmed(line.substr(2 + boundary.size()));
        if (!rest.empty() && rest != "--")
            continue;
        EndPart();
        multiparts_.resize(i + 1);
        Multipart& multipart = multiparts_.back();
        if (rest == "--") {
            multiparts_.pop_back();
            body_ = Body::Passed;  // an epilogue, as text
            return true;
        }
        ++multipart.parts;
        number_ = (multipart.number.empty() ? "" : multipart.number + ".") + std::to_string(multipart.parts);
        inHeaders_ = true;
        messageHeaders_ = false;
        return true;
    }
    return false;
}

void MimeParts::EndPart()
{
    if (!decoder_)
        return;
    if (!headKnown_ && body_ == Body::Decoded)
        FeedDecoded({});  // a part shorter than a kind's mark
    if (body_ == Body::Decoded)
        decoder_->Finish();
    decoder_.reset();
    body_ = Body::Passed;
}

void MimeParts::DecodeBase64(std::string_view line, std::uint64_t number)
{
    std::string bytes;
    for (char c : line) {
        const int value = Base64Value(c);
        if (value < 0)
            continue;  // blanks, line ends, the padding
        quantum_ = (quantum_ << 6) | static_cast<std::uint32_t>(value);
        if (++quantumChars_ % 4 == 0) {
            bytes.push_back(static_cast<char>(quantum_ >> 16));
            bytes.push_back(static_cast<char>(quantum_ >> 8));
            bytes.push_back(static_cast<char>(quantum_));
            quantum_ = 0;
        }
    }
    // A quantum cut by padding gives the bytes its characters hold.
    if (line.find('=') != std::string_view::npos && quantumChars_ % 4 >= 2) {
        const int chars = quantumChars_ % 4;
        quantum_ <<= 6 * (4 - chars);
        bytes.push_back(static_cast<char>(quantum_ >> 16));
        if (chars == 3)
            bytes.push_back(static_cast<char>(quantum_ >> 8));
        quantum_ = 0;
        quantumChars_ = 0;
    }
    lineNumber_ = number;
    if (!bytes.empty())
        FeedDecoded(std::move(bytes));
}

// Soft line breaks (a last "=") join; a hard one is the bytes' own CRLF,
// but the one before the part's delimiter belongs to the delimiter.
void MimeParts::DecodeQuotedPrintableLine(std::string_view line, std::uint64_t number)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);  // blanks a transport added
    const bool soft = !line.empty() && line.back() == '=';
    if (soft)
        line.remove_suffix(1);
    std::string bytes = lineBreakHeld_ ? "\r\n" : "";
    bytes += DecodeQuotedPrintable(line);
    lineBreakHeld_ = !soft;
    lineNumber_ = number;
    if (!bytes.empty())
        FeedDecoded(std::move(bytes));
}

void MimeParts::FeedDecoded(std::string bytes)
{
    if (!headKnown_) {
        head_ += bytes;
        if (head_.size() < kKindHeadBytes && !bytes.empty())
            return;
        headKnown_ = true;
        bytes = std::move(head_);
        std::optional<std::string> refused = RefusedKind(bytes.substr(0, kKindHeadBytes), {});
        if (StartsLikeZip(bytes))
            refused = "a zip archive: save the attachment and read the archive itself";
        if (refused) {
            notRead_.push_back(partName_ + ": " + *refused);
            body_ = Body::Dropped;
            return;
        }
    }
    if (!bytes.empty() && !decoder_->Feed(bytes.data(), bytes.size()))
        body_ = Body::Dropped;  // not text after all
}

}  // namespace triage
