#pragma once

// A saved mail (.eml) taken apart as MIME says: the message's headers, a
// multipart body's parts, a forwarded message (message/rfc822) inside one.
// Each part is numbered as IMAP numbers it ("1", "2", "2.1": a forwarded
// message's parts under its own number) and named by the reader so that the
// runs read from it say which part they came from. A base64 part that holds
// text (a zemlodiag.txt attached as UTF-16LE, say) is decoded and read
// through a decoder of its own, and so is a quoted-printable attachment or
// UTF-16 text; such parts of other kinds are not text and are dropped, those
// of a kind this program refuses noted with why. Every other line (headers,
// part delimiters, quoted-printable and plain bodies in 8-bit charsets)
// passes unchanged, to the mail text that undoes quoted-printable and reply
// quoting. Attachment names that are not ASCII, encoded as mail headers
// encode such text, are decoded (header_words.h).
//
// Text that does not start with a mail's headers passes unchanged, and costs
// one look at its first line.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "triage/input/text_decoder.h"

namespace triage {

class MimeParts {
public:
    struct Sinks {
        LineDecoder::LineSink passed;  // a line of the input as it came
        // A line of a decoded part, in the encoding that part's text was found in.
        std::function<void(std::string_view line, std::uint64_t number, Encoding encoding)> decoded;
        // A part starts: its number and, for an attachment, its file name ("2 zemlodiag.txt").
        std::function<void(const std::string& part)> part;
    };

    explicit MimeParts(Sinks sinks);
    ~MimeParts();
    MimeParts(const MimeParts&) = delete;
    MimeParts& operator=(const MimeParts&) = delete;

    void Line(std::string_view line, std::uint64_t number);
    void Finish();

    // The input starts with a mail's headers.
    bool IsMail() const { return mail_; }
    // Attachments that were not read, one line each: "part 2 (logs.7z): a 7-Zip archive: ...".
    const std::vector<std::string>& NotRead() const { return notRead_; }

private:
    struct Headers {
        std::string type;  // lower case, "text/plain"
        std::string boundary;
        std::string charset;   // lower case
        std::string encoding;  // Content-Transfer-Encoding, lower case
        std::string fileName;
        void Take(std::string_view header);
    };
    struct Multipart {
        std::string boundary;
        std::string number;  // of the multipart entity; "" for the message's own body
        int parts = 0;
    };
    enum class Body { Passed, Decoded, Dropped };

    void HeaderLine(std::string_view line);
    void EndHeaders();
    bool Delimiter(std::string_view line);
    void EndPart();
    void DecodeBase64(std::string_view line, std::uint64_t number);
    void DecodeQuotedPrintableLine(std::string_view line, std::uint64_t number);
    void FeedDecoded(std::string bytes);

    Sinks sinks_;
    bool mail_ = false;
    bool first_ = true;
    bool inHeaders_ = false;
    bool messageHeaders_ = false;  // the headers of a message (the mail, or one forwarded in it)
    std::string number_;           // of the entity whose headers are being read
    std::string header_;           // the header being unfolded
    Headers headers_;
    std::vector<Multipart> multiparts_;  // outermost first
    Body body_ = Body::Passed;
    bool quotedPrintable_ = false;  // a decoded part's transfer encoding; else base64
    bool lineBreakHeld_ = false;    // a hard line break, unless the part ends after it
    std::unique_ptr<LineDecoder> decoder_;  // of a decoded part
    std::uint64_t lineNumber_ = 0;
    std::uint32_t quantum_ = 0;  // base64 bits not yet a byte
    int quantumChars_ = 0;
    std::string partName_;  // "2 (zemlodiag.txt)", for what is not read
    std::string head_;      // a decoded part's first bytes, until its kind is known
    bool headKnown_ = false;
    std::vector<std::string> notRead_;
};

}  // namespace triage
