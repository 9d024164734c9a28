#pragma once

// The first layer of zemlotriage: bytes of a log, in whatever encoding it
// reached support, become UTF-8 lines. Streaming: the caller feeds chunks,
// and memory stays bounded by the longest line kept (kMaxLineBytes).
//
// A file can change encoding part way: a log re-saved as UTF-8 to which the
// diagnostic then appended UTF-16LE, two logs joined by `copy /b`, zeros left
// by a crash before the next run. Each such stretch is detected on its own.
// Lines never carry a C1 control, and no-break spaces become spaces.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "triage/input/code_pages.h"

namespace triage {

enum class Encoding {
    Unknown,
    Utf16LeBom,  // what the diagnostic writes into a new log
    Utf16Le,     // a log the diagnostic appended to a file without a mark
    Utf16BeBom,
    Utf16Be,
    Utf8Bom,
    Utf8,
    // The 8-bit code pages follow, one value each in the order of kCodePages:
    // console text, cmd's `type`, Notepad's "ANSI" re-save.
    Windows1252,
};

constexpr Encoding EncodingOf(CodePage page)
{
    return static_cast<Encoding>(static_cast<int>(Encoding::Windows1252) + static_cast<int>(page));
}
constexpr bool IsCodePage(Encoding encoding)
{
    return static_cast<int>(encoding) >= static_cast<int>(Encoding::Windows1252);
}
constexpr CodePage CodePageOf(Encoding encoding)
{
    return static_cast<CodePage>(static_cast<int>(encoding) - static_cast<int>(Encoding::Windows1252));
}

const char* EncodingName(Encoding encoding);

// Longer lines are cut there, before the first character that does not fit
// whole; the rest of the line is dropped and the cut line ends in how many
// characters were left out ("... [N more characters]", as the text summary
// cuts its lines).
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

class LineDecoder {
public:
    // Called once per line, without its line end; numbers count from 1.
    using LineSink = std::function<void(std::string_view line, std::uint64_t number)>;

    explicit LineDecoder(LineSink sink) : sink_(std::move(sink)) {}

    // False once the input is known not to be text; Error() says why in one
    // line. Lines already delivered stay delivered.
    bool Feed(const char* data, std::size_t size);
    // Flushes the last line. False for an empty input, for junk or for zeros
    // alone; a UTF-16 text with an odd byte count reads as if cut at the byte
    // before.
    bool Finish();

    // True while the sink receives the input's last line, which had no line
    // end: it may be cut anywhere.
    bool LineUnended() const { return unended_; }
    const std::string& Error() const { return error_; }
    // The encoding the file starts in.
    Encoding DetectedEncoding() const { return first_; }
    // The encoding of the stretch being read; inside the sink, the one the
    // delivered line ended in, so a run's start banner tells the run's.
    Encoding CurrentEncoding() const { return current_; }
    std::uint64_t CutLines() const { return cutLines_; }
    // Bytes the stretch sniffer read, over every stretch: with the
    // decoding's own pass, the work an input costs.
    std::uint64_t SniffedBytes() const { return sniffedBytes_; }

private:
    void Process(bool atEnd);
    std::size_t Decode(const unsigned char* data, std::size_t size, bool atEnd);
    std::size_t DecodeUtf16(const unsigned char* data, std::size_t size, bool atEnd, bool bigEndian);
    std::size_t DecodeUtf8(const unsigned char* data, std::size_t size, bool atEnd);
    std::size_t DecodeCodePage(const unsigned char* data, std::size_t size, bool atEnd);
    // At a byte that may start a byte order mark in 8-bit text: 0 to wait
    // for more bytes, 1 when it starts none, 2 when the stretch ended there.
    int MarkInEightBit(const unsigned char* data, std::size_t size, bool atEnd, std::size_t at);
    // At a zero byte in 8-bit text: 0 to wait for more bytes, else how many
    // bytes the decision took; ends the stretch where the text changes.
    std::size_t ZeroInEightBit(const unsigned char* data, std::size_t size, bool atEnd);
    // The same from `at` in 8-bit text, moving `at` past what it took; false
    // when the decoder stops there: more bytes are needed, or the stretch ended.
    bool SkipZeros(const unsigned char* data, std::size_t size, bool atEnd, std::size_t& at);
    void EndStretch();
    void PutCodePoint(std::uint32_t codePoint);
    void PutAscii(char c);
    // One character's UTF-8 bytes onto the line, unless the line is full.
    void PutCharacter(const char* bytes, std::size_t size);
    // A line double-encoded on its way (UTF-8 read as Windows-1252 or
    // Latin-1 and encoded again) made whole, where that decodes cleanly.
    void RepairDoubleEncoding();
    void EndLine();
    // Ends a line that has text as one without its line end: it may be cut anywhere.
    void EndCutLine();

    LineSink sink_;
    Encoding encoding_ = Encoding::Unknown;  // of the stretch; Unknown between stretches
    Encoding current_ = Encoding::Unknown;   // the last stretch's, kept past its end
    Encoding first_ = Encoding::Unknown;
    std::string error_;
    std::string pending_;  // bytes not yet decoded: a sample, or a unit cut by a chunk's end
    std::uint32_t highSurrogate_ = 0;
    std::string line_;
    std::uint64_t leftOut_ = 0;  // characters of the line past its cut
    bool beyondAscii_ = false;   // the line holds a character outside ASCII
    // Bytes of the line that no output carries as they came (C1 controls
    // written as U+FFFD, no-break spaces as spaces): where, and what they were.
    std::vector<std::pair<std::size_t, std::uint32_t>> replaced_;
    bool afterCr_ = false;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t lineNumber_ = 0;
    std::uint64_t cutLines_ = 0;
    std::uint64_t sniffedBytes_ = 0;
    bool failed_ = false;
    bool unended_ = false;
};

}  // namespace triage
