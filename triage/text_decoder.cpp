#include "triage/text_decoder.h"

#include <utf8.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "triage/code_pages.h"

namespace triage {

namespace {

constexpr std::size_t kSampleBytes = 4096;
// UTF-16 text holds no run of three zero bytes (that needs a U+0000).
constexpr std::size_t kZeroRun = 3;
// Pairs of "x\0" after a zero that say UTF-16LE starts there.
constexpr std::size_t kUtf16Pairs = 4;

bool IsTextControl(std::uint32_t c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsUtf16(Encoding encoding)
{
    return encoding == Encoding::Utf16Le || encoding == Encoding::Utf16LeBom || encoding == Encoding::Utf16Be ||
           encoding == Encoding::Utf16BeBom;
}

bool At(const unsigned char* data, std::size_t size, std::size_t at, const char* bytes, std::size_t length)
{
    return at + length <= size && std::memcmp(data + at, bytes, length) == 0;
}

// A byte order mark of any encoding starting at `at`.
bool MarkAt(const unsigned char* data, std::size_t size, std::size_t at)
{
    return At(data, size, at, "\xFF\xFE", 2) || At(data, size, at, "\xFE\xFF", 2) ||
           At(data, size, at, "\xEF\xBB\xBF", 3);
}

// UTF-16LE text of the diagnostic ("\r\0\n\0#\0..."), at least as far as the
// input goes.
bool Utf16LeFollows(const unsigned char* data, std::size_t size)
{
    std::size_t pairs = 0;
    for (std::size_t i = 0; i + 1 < size && pairs < kUtf16Pairs; i += 2, ++pairs) {
        if (data[i] == 0 || data[i + 1] != 0)
            return false;
    }
    return pairs > 0;
}

// Share of characters that no text has: binary junk shows them at once, a
// report never does.
bool LooksBinary(const unsigned char* data, std::size_t size, bool utf16, bool bigEndian)
{
    std::size_t characters = 0;
    std::size_t controls = 0;
    const std::size_t step = utf16 ? 2 : 1;
    for (std::size_t i = 0; i + step <= size; i += step) {
        std::uint32_t unit = data[i];
        if (utf16)
            unit = bigEndian ? (data[i] << 8) | data[i + 1] : data[i] | (data[i + 1] << 8);
        ++characters;
        if (unit < 0x20 && !IsTextControl(unit))
            ++controls;
    }
    return controls * 10 > characters;
}

// The length of `size` bytes without a UTF-8 sequence cut off at their end.
std::size_t WholeUtf8Prefix(const unsigned char* data, std::size_t size)
{
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const unsigned char c = data[size - back];
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? size - back : size;
    }
    return size;
}

Encoding EncodingOf(CodePage page)
{
    switch (page) {
    case CodePage::Oem437: return Encoding::Cp437;
    case CodePage::Oem850: return Encoding::Cp850;
    case CodePage::Oem866: return Encoding::Cp866;
    case CodePage::Windows1252: break;
    }
    return Encoding::Windows1252;
}

CodePage CodePageOf(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Cp437: return CodePage::Oem437;
    case Encoding::Cp850: return CodePage::Oem850;
    case Encoding::Cp866: return CodePage::Oem866;
    default: break;
    }
    return CodePage::Windows1252;
}

}  // namespace

const char* EncodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf16LeBom: return "UTF-16LE";
    case Encoding::Utf16Le: return "UTF-16LE without BOM";
    case Encoding::Utf16BeBom: return "UTF-16BE";
    case Encoding::Utf16Be: return "UTF-16BE without BOM";
    case Encoding::Utf8Bom: return "UTF-8";
    case Encoding::Utf8: return "UTF-8 without BOM";
    case Encoding::Windows1252: return "Windows-1252";
    case Encoding::Cp437: return "CP437";
    case Encoding::Cp850: return "CP850";
    case Encoding::Cp866: return "CP866";
    case Encoding::Unknown: break;
    }
    return "unknown";
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
    if (stretches_.empty()) {
        error_ = "only zero bytes: nothing of a log was written";
        return false;
    }
    bool whole = true;
    if (!pending_.empty()) {  // only a UTF-16 byte without its pair is left
        error_ = "odd byte count in UTF-16 text: the last byte is cut off";
        whole = false;
    }
    pending_.clear();
    if (highSurrogate_ != 0)
        PutCodePoint(0xFFFD);
    highSurrogate_ = 0;
    if (!line_.empty() || lineCut_)
        EndLine();
    return whole;
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
            if (stretches_.empty() && zeros % 2 == 1 && !(onlyZeros && atEnd))
                --zeros;
            at += zeros;
            if (at == size)
                break;
            if (!atEnd && size - at < kSampleBytes)
                break;
            std::size_t used = 0;
            if (!StartStretch(data + at, size - at, atEnd, used)) {
                failed_ = true;
                break;
            }
            at += used;
            continue;
        }
        const std::size_t used = Decode(data + at, size - at, atEnd);
        at += used;
        if (used == 0 && encoding_ != Encoding::Unknown)
            break;  // waiting for the rest of a unit or for a decision
    }
    pending_.erase(0, at);
}

bool LineDecoder::StartStretch(const unsigned char* data, std::size_t size, bool atEnd, std::size_t& used)
{
    const bool first = stretches_.empty();
    Encoding encoding = Encoding::Unknown;
    used = 0;
    if (At(data, size, 0, "\xFF\xFE", 2)) {
        encoding = Encoding::Utf16LeBom;
        used = 2;
    } else if (At(data, size, 0, "\xFE\xFF", 2)) {
        encoding = Encoding::Utf16BeBom;
        used = 2;
    } else if (At(data, size, 0, "\xEF\xBB\xBF", 3)) {
        encoding = Encoding::Utf8Bom;
        used = 3;
    }
    const unsigned char* text = data + used;
    const std::size_t rest = size - used;
    // The stretch as far as this sample tells: UTF-16 up to a zero run,
    // 8-bit text up to its first zero or the next mark.
    std::size_t utf16End = 0;
    for (std::size_t zeros = 0; utf16End < rest && zeros < kZeroRun; ++utf16End)
        zeros = text[utf16End] == 0 ? zeros + 1 : 0;
    std::size_t firstZero = 0;
    while (firstZero < rest && text[firstZero] != 0 && (firstZero == 0 || !MarkAt(text, rest, firstZero)))
        ++firstZero;
    if (encoding == Encoding::Unknown && firstZero < rest && text[firstZero] == 0 && firstZero <= 1) {
        // ASCII text in UTF-16 has a zero in every other byte.
        std::size_t zerosEven = 0;
        std::size_t zerosOdd = 0;
        for (std::size_t i = 0; i < utf16End; ++i) {
            if (text[i] == 0)
                ++(i % 2 == 0 ? zerosEven : zerosOdd);
        }
        const std::size_t pairs = utf16End / 2;
        if (zerosOdd * 4 >= pairs && zerosOdd > zerosEven * 4)
            encoding = Encoding::Utf16Le;
        else if (zerosEven * 4 >= pairs && zerosEven > zerosOdd * 4)
            encoding = Encoding::Utf16Be;
        else if (first) {
            error_ = "binary data, not a report (zero bytes in 8-bit text)";
            return false;
        } else {
            encoding = Encoding::Windows1252;  // a damaged stretch: read what can be read
        }
    }
    if (encoding == Encoding::Unknown || encoding == Encoding::Utf8Bom) {
        // 8-bit text: UTF-8 when it is valid, else the most plausible code page.
        std::size_t end = firstZero;
        if (!atEnd && end == rest)
            end = WholeUtf8Prefix(text, end);  // a sequence cut by the sample's end is no fault
        const char* begin = reinterpret_cast<const char*>(text);
        const bool utf8 = utf8::find_invalid(begin, begin + end) == begin + end;
        if (encoding == Encoding::Unknown)
            encoding = utf8 ? Encoding::Utf8 : EncodingOf(MostPlausibleCodePage(std::string_view(begin, end)));
        if (first && firstZero < rest && text[firstZero] == 0 && firstZero + 1 < rest &&
            text[firstZero + 1] != 0 && !Utf16LeFollows(text + firstZero + 1, rest - firstZero - 1)) {
            error_ = "binary data, not a report (zero bytes in 8-bit text)";
            return false;
        }
    }
    if (first) {
        const bool utf16 = IsUtf16(encoding);
        const bool bigEndian = encoding == Encoding::Utf16Be || encoding == Encoding::Utf16BeBom;
        if (LooksBinary(text, utf16 ? utf16End : firstZero, utf16, bigEndian)) {
            error_ = std::string("binary data, not a report (read as ") + EncodingName(encoding) + ")";
            return false;
        }
    }
    encoding_ = encoding;
    current_ = encoding;
    stretches_.push_back(encoding);
    return true;
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
    case Encoding::Windows1252:
    case Encoding::Cp437:
    case Encoding::Cp850:
    case Encoding::Cp866: return DecodeCodePage(data, size, atEnd);
    case Encoding::Unknown: break;
    }
    return 0;
}

void LineDecoder::EndStretch()
{
    if (highSurrogate_ != 0)
        PutCodePoint(0xFFFD);
    highSurrogate_ = 0;
    encoding_ = Encoding::Unknown;
}

std::size_t LineDecoder::DecodeUtf16(const unsigned char* data, std::size_t size, bool atEnd, bool bigEndian)
{
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) {
        const std::uint32_t unit = bigEndian ? (data[i] << 8) | data[i + 1] : data[i] | (data[i + 1] << 8);
        // Printable ASCII, nearly all of a report, goes straight to the line.
        if (unit >= 0x20 && unit < 0x7F && highSurrogate_ == 0 && !afterCr_) {
            if (line_.size() < kMaxLineBytes)
                line_.push_back(static_cast<char>(unit));
            else
                lineCut_ = true;
            continue;
        }
        if (unit == 0xFEFF)
            continue;  // the mark of a second file joined by `copy /b`
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

std::size_t LineDecoder::ZeroInEightBit(const unsigned char* data, std::size_t size, bool atEnd)
{
    std::size_t zeros = 0;
    while (zeros < size && data[zeros] == 0)
        ++zeros;
    if (zeros == size) {
        if (!atEnd)
            return 0;
        EndStretch();  // a zero tail
        return zeros;
    }
    if (zeros >= 2) {
        EndStretch();  // a gap: what follows is another stretch
        return zeros;
    }
    // One zero: the high byte of the character just read, when UTF-16LE
    // starts there (a run appended to a re-saved log); else a stray byte.
    if (!atEnd && size - 1 < kUtf16Pairs * 2)
        return 0;
    if (Utf16LeFollows(data + 1, size - 1)) {
        EndStretch();
        return 1;
    }
    return 1;
}

std::size_t LineDecoder::DecodeUtf8(const unsigned char* data, std::size_t size, bool atEnd)
{
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = data[i];
        if (c != 0 && c < 0x80) {
            PutAscii(static_cast<char>(c));
            ++i;
            continue;
        }
        if (c == 0) {
            const std::size_t used = ZeroInEightBit(data + i, size - i, atEnd);
            if (used == 0)
                return i;
            i += used;
            if (encoding_ == Encoding::Unknown)
                return i;
            continue;
        }
        if (c == 0xFF || c == 0xFE) {
            if (i + 1 >= size && !atEnd)
                return i;
            if (MarkAt(data, size, i)) {
                EndStretch();
                return i;
            }
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (i + length > size && !atEnd)
            return i;  // the rest of the sequence is in the next chunk
        const char* begin = reinterpret_cast<const char*>(data + i);
        const std::size_t available = std::min(length, size - i);
        if (length == 1 || available < length || utf8::find_invalid(begin, begin + length) != begin + length) {
            PutCodePoint(0xFFFD);
            ++i;
            continue;
        }
        const std::uint32_t codePoint = utf8::unchecked::next(begin);
        if (codePoint != 0xFEFF)  // a second mark, from `copy /b`
            PutCodePoint(codePoint);
        i += length;
    }
    return i;
}

std::size_t LineDecoder::DecodeCodePage(const unsigned char* data, std::size_t size, bool atEnd)
{
    const CodePage page = CodePageOf(encoding_);
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = data[i];
        if (c == 0) {
            const std::size_t used = ZeroInEightBit(data + i, size - i, atEnd);
            if (used == 0)
                return i;
            i += used;
            if (encoding_ == Encoding::Unknown)
                return i;
            continue;
        }
        if (c == 0xFF || c == 0xFE || c == 0xEF) {
            if (i + 2 >= size && !atEnd)
                return i;
            if (MarkAt(data, size, i)) {
                EndStretch();
                return i;
            }
        }
        if (c < 0x80)
            PutAscii(static_cast<char>(c));
        else
            PutCodePoint(CodePoint(page, c));
        ++i;
    }
    return i;
}

void LineDecoder::PutCodePoint(std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        PutAscii(static_cast<char>(codePoint));
        return;
    }
    if (codePoint == 0xA0 || codePoint == 0x202F)
        codePoint = ' ';  // no-break spaces of web forms
    else if (codePoint < 0xA0)
        codePoint = 0xFFFD;  // C1 controls reach no output
    char encoded[4];
    char* end = utf8::append(codePoint, encoded);
    for (char* p = encoded; p != end; ++p)
        PutAscii(*p);
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
    if (line_.size() < kMaxLineBytes)
        line_.push_back(c);
    else
        lineCut_ = true;
}

void LineDecoder::EndLine()
{
    if (lineCut_)
        ++cutLines_;
    sink_(line_, ++lineNumber_);
    line_.clear();
    lineCut_ = false;
}

}  // namespace triage
