#include "triage/input/stretch_sniffer.h"

#include <utf8.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace triage {

namespace {

// UTF-16 text holds no run of three zero bytes (that needs a U+0000).
constexpr std::size_t kZeroRun = 3;
// Nor, in a report, this many bytes of ASCII text in a row: 8-bit text does,
// and the UTF-16 stretch ends where it starts (logs joined into one file).
constexpr std::size_t kEightBitRun = 16;

bool IsTextControl(std::uint32_t c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsAsciiText(unsigned char c)
{
    return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t';
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

}  // namespace

bool ByteOrderMarkAt(const unsigned char* data, std::size_t size, std::size_t at)
{
    // Asked of every byte of 8-bit text: most are no mark's first byte.
    if (at >= size || (data[at] != 0xFF && data[at] != 0xFE && data[at] != 0xEF))
        return false;
    return At(data, size, at, "\xFF\xFE", 2) || At(data, size, at, "\xFE\xFF", 2) ||
           At(data, size, at, "\xEF\xBB\xBF", 3);
}

bool Utf16LeFollows(const unsigned char* data, std::size_t size)
{
    std::size_t pairs = 0;
    for (std::size_t i = 0; i + 1 < size && pairs < kUtf16Pairs; i += 2, ++pairs) {
        if (data[i] == 0 || data[i + 1] != 0)
            return false;
    }
    return pairs > 0;
}

StretchStart SniffStretch(const unsigned char* data, std::size_t size, bool atEnd, bool first)
{
    Encoding encoding = Encoding::Unknown;
    std::size_t used = 0;
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
    // The window judged: what lies past it is judged by nothing here.
    if (size > kLookAheadBytes) {
        size = kLookAheadBytes;
        atEnd = false;
    }
    const unsigned char* text = data + used;
    const std::size_t rest = size - used;
    // 8-bit text as far as it goes: up to its first zero or the next mark.
    std::size_t firstZero = 0;
    while (firstZero < rest && text[firstZero] != 0 && (firstZero == 0 || !ByteOrderMarkAt(text, rest, firstZero)))
        ++firstZero;
    // UTF-16 text as far as a sample of its zeros goes: up to a zero run, a
    // byte order mark or 8-bit text, where the stretch ends. Zeros past that
    // belong to the next stretch, which may start at the other parity.
    std::size_t utf16End = 0;
    const auto sampleUtf16 = [&] {
        const std::size_t sample = std::min(rest, kSampleBytes);
        std::size_t textBytes = 0;
        for (std::size_t zeros = 0; utf16End < sample && zeros < kZeroRun; ++utf16End) {
            if (utf16End > 0 && ByteOrderMarkAt(text, sample, utf16End))
                break;
            // After UTF-16 units, not in place of them: a stretch that starts
            // with one zero and goes on as 8-bit text is judged whole.
            if (textBytes >= kEightBitRun && utf16End - textBytes >= kUtf16Pairs * 2) {
                utf16End -= textBytes;
                break;
            }
            zeros = text[utf16End] == 0 ? zeros + 1 : 0;
            textBytes = IsAsciiText(text[utf16End]) ? textBytes + 1 : 0;
        }
    };
    const auto judged = [&](StretchStart start) {
        start.examined = used + std::max(std::min(firstZero + 1, rest), utf16End);
        return start;
    };
    if (encoding == Encoding::Unknown && firstZero < rest && text[firstZero] == 0 && firstZero <= 1) {
        // ASCII text in UTF-16 has a zero in every other byte.
        sampleUtf16();
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
        else if (first)
            return judged({Encoding::Unknown, 0, "binary data, not a report (zero bytes in 8-bit text)"});
        else
            encoding = Encoding::Windows1252;  // a damaged stretch: read what can be read
    }
    if (encoding == Encoding::Unknown || encoding == Encoding::Utf8Bom) {
        // 8-bit text: UTF-8 when it is valid, else the most plausible code page.
        if (encoding == Encoding::Unknown) {
            std::size_t end = firstZero;
            if (!atEnd && end == rest)
                end = WholeUtf8Prefix(text, end);  // a sequence cut by the sample's end is no fault
            const char* begin = reinterpret_cast<const char*>(text);
            if (utf8::find_invalid(begin, begin + end) == begin + end)
                encoding = Encoding::Utf8;
            else if (first && LooksBinary(text, firstZero, false, false))
                encoding = Encoding::Windows1252;  // junk, refused below: no page makes it text
            else
                encoding = EncodingOf(MostPlausibleCodePage(std::string_view(begin, end)));
        }
        // A lone zero that starts no UTF-16LE: binary, unless a later stretch.
        if (first && firstZero < rest && text[firstZero] == 0 && firstZero + 1 < rest &&
            text[firstZero + 1] != 0 && !Utf16LeFollows(text + firstZero + 1, rest - firstZero - 1))
            return judged({Encoding::Unknown, 0, "binary data, not a report (zero bytes in 8-bit text)"});
    }
    if (first) {
        const bool utf16 = IsUtf16(encoding);
        const bool bigEndian = encoding == Encoding::Utf16Be || encoding == Encoding::Utf16BeBom;
        if (utf16 && utf16End == 0)
            sampleUtf16();
        if (LooksBinary(text, utf16 ? utf16End : firstZero, utf16, bigEndian))
            return judged({Encoding::Unknown, 0,
                           std::string("binary data, not a report (read as ") + EncodingName(encoding) + ")"});
    }
    return judged({encoding, used, {}});
}

}  // namespace triage
