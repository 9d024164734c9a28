#include "triage/input/text_decoder.h"

#include <utf8.h>

#include <algorithm>
#include <string_view>

#include "triage/input/code_pages.h"
#include "triage/input/stretch_sniffer.h"

namespace triage {

const char* EncodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf16LeBom: return "UTF-16LE";
    case Encoding::Utf16Le: return "UTF-16LE without BOM";
    case Encoding::Utf16BeBom: return "UTF-16BE";
    case Encoding::Utf16Be: return "UTF-16BE without BOM";
    case Encoding::Utf8Bom: return "UTF-8";
    case Encoding::Utf8: return "UTF-8 without BOM";
    case Encoding::Unknown: return "unknown";
    default: break;
    }
    return RowOf(CodePageOf(encoding)).name;
}

bool LineDecoder::Feed(const char* data, std::size_t size)
{
    if (failed_)
        return false;
    totalBytes_ += size;
    pending_.append(data, size);
    Process(false);
    return !failed_;
}

bool LineDecoder::Finish()
{
    if (failed_)
        return false;
    if (totalBytes_ == 0) {
        error_ = "empty file";
        return false;
    }
    Process(true);
    if (failed_)
        return false;
    if (first_ == Encoding::Unknown) {
        error_ = "only zero bytes: nothing of a log was written";
        return false;
    }
    // Only a UTF-16 byte without its pair can be left: the text was cut off
    // inside its last character and reads as if cut at the byte before.
    pending_.clear();
    if (highSurrogate_ != 0)
        PutCodePoint(0xFFFD);
    highSurrogate_ = 0;
    EndCutLine();
    return true;
}

void LineDecoder::EndCutLine()
{
    if (line_.empty() && leftOut_ == 0)
        return;
    unended_ = true;
    EndLine();
    unended_ = false;
}

void LineDecoder::Process(bool atEnd)
{
    const auto* data = reinterpret_cast<const unsigned char*>(pending_.data());
    const std::size_t size = pending_.size();
    std::size_t at = 0;
    while (!failed_ && at < size) {
        if (encoding_ == Encoding::Unknown) {
            // Zeros between stretches: the tail a crash or a full disk leaves.
            std::size_t zeros = 0;
            while (at + zeros < size && data[at + zeros] == 0)
                ++zeros;
            // At the very start one zero may be the high byte of UTF-16BE.
            const bool onlyZeros = at + zeros == size;
            if (first_ == Encoding::Unknown && zeros % 2 == 1 && !(onlyZeros && atEnd))
                --zeros;
            at += zeros;
            if (at == size)
                break;
            if (!atEnd && size - at < kSampleBytes)
                break;
            // The sniffer is shown a bounded sample: the file's first stretch,
            // which decides whether the file is text at all, gets more than
            // any report; a later one what a chunk by chunk reading would show
            // it. A window that grew with the input would cost a file of many
            // short stretches the square of its size.
            const bool first = first_ == Encoding::Unknown;
            const std::size_t sample = std::min(size - at, first ? kLookAheadBytes : kSampleBytes);
            const StretchStart start = SniffStretch(data + at, sample, atEnd && sample == size - at, first);
            sniffedBytes_ += start.examined;
            if (!start.error.empty()) {
                error_ = start.error;
                failed_ = true;
                break;
            }
            encoding_ = current_ = start.encoding;
            if (first_ == Encoding::Unknown)
                first_ = start.encoding;
            at += start.markBytes;
            continue;
        }
        const std::size_t used = Decode(data + at, size - at, atEnd);
        at += used;
        if (used == 0 && encoding_ != Encoding::Unknown)
            break;  // waiting for the rest of a unit or for a decision
    }
    pending_.erase(0, at);
}

std::size_t LineDecoder::Decode(const unsigned char* data, std::size_t size, bool atEnd)
{
    switch (encoding_) {
    case Encoding::Utf16LeBom:
    case Encoding::Utf16Le: return DecodeUtf16(data, size, atEnd, false);
    case Encoding::Utf16BeBom:
    case Encoding::Utf16Be: return DecodeUtf16(data, size, atEnd, true);
    case Encoding::Utf8Bom:
    case Encoding::Utf8: return DecodeUtf8(data, size, atEnd);
    case Encoding::Unknown: return 0;
    default: break;
    }
    return DecodeCodePage(data, size, atEnd);
}

void LineDecoder::EndStretch()
{
    if (highSurrogate_ != 0)
        PutCodePoint(0xFFFD);
    highSurrogate_ = 0;
    encoding_ = Encoding::Unknown;
}

namespace {

// Units of two ASCII text bytes in a row that show 8-bit text inside UTF-16LE;
// as many CJK characters of that shape in a row are very rare.
constexpr std::size_t kEightBitUnits = 8;

bool AsciiByte(unsigned char c)
{
    return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t';
}

// Bytes to wait for before judging: the units, or a short line and the
// start of the UTF-16LE after it.
constexpr std::size_t kEightBitLookAhead = kEightBitUnits * 2 + 1 + kUtf16Pairs * 2;

// A short line (`echo retry >> zemlodiag.txt`) is fewer units than that:
// it shows by the program's next run right after it, one byte on, whose
// ASCII text reads as units of a zero and an ASCII byte.
bool EightBitFollows(const unsigned char* data, std::size_t size)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i + 1 < size && units < kEightBitUnits; i += 2, ++units) {
        if (!AsciiByte(data[i]) || !AsciiByte(data[i + 1]))
            return units > 0 && data[i] == 0 && Utf16LeFollows(data + i + 1, size - i - 1);
    }
    return units == kEightBitUnits;
}

}  // namespace

std::size_t LineDecoder::DecodeUtf16(const unsigned char* data, std::size_t size, bool atEnd, bool bigEndian)
{
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) {
        const std::uint32_t unit = bigEndian ? (data[i] << 8) | data[i + 1] : data[i] | (data[i + 1] << 8);
        // Printable ASCII, nearly all of a report, goes straight to the line.
        if (unit >= 0x20 && unit < 0x7F && highSurrogate_ == 0 && !afterCr_) {
            const char c = static_cast<char>(unit);
            PutCharacter(&c, 1);
            continue;
        }
        // The mark of a second file joined by `copy /b`; a line the first
        // file was cut in ends there, unended.
        if (unit == 0xFEFF) {
            EndCutLine();
            continue;
        }
        // The first file cut inside a character: the second's mark starts at
        // the odd byte. The lone byte, half a character, is dropped as at the
        // end of a file.
        if (!bigEndian && data[i + 1] == 0xFF) {
            if (!atEnd && size - i < 3 + kUtf16Pairs * 2)
                return i;
            if (i + 2 < size && data[i + 2] == 0xFE && Utf16LeFollows(data + i + 3, size - i - 3)) {
                EndCutLine();
                EndStretch();
                return i + 1;
            }
        }
        if (unit == 0) {
            EndStretch();  // zeros: what follows them is detected anew
            return i + 2;
        }
        // Another encoding's mark, or 8-bit text ("\r\n" read as one unit).
        const bool utf8Mark = unit == (bigEndian ? 0xEFBBu : 0xBBEFu);
        if (utf8Mark && i + 2 >= size && !atEnd)
            return i;
        if (unit == 0xFFFE || (utf8Mark && i + 2 < size && data[i + 2] == 0xBF) || (!bigEndian && unit == 0x0A0D)) {
            EndStretch();
            return i;
        }
        // 8-bit text appended to the log (`echo ... >> zemlodiag.txt`) reads
        // as units of two ASCII bytes at the start of a line; a run appended
        // after it then starts at an odd offset. Inside a line such units are
        // CJK text (U+4E2D is the bytes 2D 4E).
        if (!bigEndian && line_.empty() && leftOut_ == 0 && AsciiByte(data[i]) && AsciiByte(data[i + 1])) {
            if (!atEnd && size - i < kEightBitLookAhead)
                return i;
            if (EightBitFollows(data + i, size - i)) {
                EndStretch();
                return i;
            }
        }
        if (highSurrogate_ != 0) {
            const std::uint32_t high = highSurrogate_;
            highSurrogate_ = 0;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                PutCodePoint(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                continue;
            }
            PutCodePoint(0xFFFD);
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            highSurrogate_ = unit;
        else if (unit >= 0xDC00 && unit <= 0xDFFF)
            PutCodePoint(0xFFFD);
        else
            PutCodePoint(unit);
    }
    return i;
}

void LineDecoder::PutCodePoint(std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        PutAscii(static_cast<char>(codePoint));
        return;
    }
    beyondAscii_ = true;
    if (codePoint == 0xA0 || codePoint < 0xA0) {
        // Kept aside, for a line double-encoded on its way.
        if (leftOut_ == 0)
            replaced_.emplace_back(line_.size(), codePoint);
        codePoint = codePoint == 0xA0 ? ' ' : 0xFFFD;  // no-break spaces of web forms; C1 controls reach no output
    } else if (codePoint == 0x202F) {
        codePoint = ' ';
    }
    char encoded[4];
    const char* end = utf8::append(codePoint, encoded);
    afterCr_ = false;  // not the LF of a CRLF
    PutCharacter(encoded, static_cast<std::size_t>(end - encoded));
}

void LineDecoder::PutAscii(char c)
{
    if (afterCr_) {
        afterCr_ = false;
        if (c == '\n')
            return;  // the second half of CRLF
    }
    if (c == '\r') {
        EndLine();
        afterCr_ = true;
        return;
    }
    if (c == '\n') {
        EndLine();
        return;
    }
    if (c == '\0')
        return;
    PutCharacter(&c, 1);
}

void LineDecoder::PutCharacter(const char* bytes, std::size_t size)
{
    // A character goes in whole or not at all, and once one is left out so
    // is the rest of the line: a cut line is the line's start, unbroken.
    if (leftOut_ == 0 && line_.size() + size <= kMaxLineBytes)
        line_.append(bytes, size);
    else
        ++leftOut_;
}

void LineDecoder::EndLine()
{
    if (beyondAscii_ && leftOut_ == 0)
        RepairDoubleEncoding();
    beyondAscii_ = false;
    replaced_.clear();
    if (leftOut_ != 0) {
        ++cutLines_;
        line_ += "... [" + std::to_string(leftOut_) + " more characters]";
    }
    sink_(line_, ++lineNumber_);
    line_.clear();
    leftOut_ = 0;
}

}  // namespace triage
