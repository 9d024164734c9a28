#pragma once

// The first layer of zemlotriage: bytes of a log, in whatever encoding it
// reached support, become UTF-8 lines. Streaming: the caller feeds chunks,
// and memory stays bounded by the longest line kept (kMaxLineBytes).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace triage {

enum class Encoding {
    Unknown,
    Utf16LeBom,  // what the diagnostic writes into a new log
    Utf16Le,     // a log the diagnostic appended to a file without a mark
    Utf16BeBom,
    Utf16Be,
    Utf8Bom,
    Utf8,
    Windows1252,  // console text from an 8-bit code page
};

const char* EncodingName(Encoding encoding);

// Longer lines are cut there; the rest of the line is dropped.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

class LineDecoder {
public:
    // Called once per line, without its line end; numbers count from 1.
    using LineSink = std::function<void(std::string_view line, std::uint64_t number)>;

    explicit LineDecoder(LineSink sink) : sink_(std::move(sink)) {}

    // False once the input is known not to be text; Error() says why in one
    // line. Lines already delivered stay delivered.
    bool Feed(const char* data, std::size_t size);
    // Flushes the last line. False for an empty input or for junk; a UTF-16
    // text with an odd byte count reads as if cut at the byte before.
    bool Finish();

    // True while the sink receives the input's last line, which had no line
    // end: it may be cut anywhere.
    bool LineUnended() const { return unended_; }
    const std::string& Error() const { return error_; }
    Encoding DetectedEncoding() const { return encoding_; }
    std::uint64_t CutLines() const { return cutLines_; }

private:
    bool Detect(bool atEnd);
    void Decode(const unsigned char* data, std::size_t size);
    void DecodeUtf16(const unsigned char* data, std::size_t size, bool bigEndian);
    void DecodeUtf8(const unsigned char* data, std::size_t size);
    void Decode1252(const unsigned char* data, std::size_t size);
    void PutCodePoint(std::uint32_t codePoint);
    void PutAscii(char c);
    void EndLine();

    LineSink sink_;
    Encoding encoding_ = Encoding::Unknown;
    std::string error_;
    std::string sample_;     // bytes held until the encoding is known
    std::string carry_;      // an incomplete unit or sequence between chunks
    std::uint32_t highSurrogate_ = 0;
    std::string line_;
    bool lineCut_ = false;
    bool afterCr_ = false;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t lineNumber_ = 0;
    std::uint64_t cutLines_ = 0;
    bool failed_ = false;
    bool unended_ = false;
};

}  // namespace triage
