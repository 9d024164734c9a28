// LineDecoder's 8-bit text: UTF-8 and the Windows code pages, the zeros and
// marks that end a stretch of it, and lines double-encoded on their way.

#include <utf8.h>

#include <algorithm>

#include "triage/input/code_pages.h"
#include "triage/input/stretch_sniffer.h"
#include "triage/input/text_decoder.h"

namespace triage {

bool LineDecoder::SkipZeros(const unsigned char* data, std::size_t size, bool atEnd, std::size_t& at)
{
    const std::size_t used = ZeroInEightBit(data + at, size - at, atEnd);
    at += used;
    return used != 0 && encoding_ != Encoding::Unknown;
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
            if (!SkipZeros(data, size, atEnd, i))
                return i;
            continue;
        }
        if (c == 0xFF || c == 0xFE) {
            if (i + 1 >= size && !atEnd)
                return i;
            if (ByteOrderMarkAt(data, size, i)) {
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

int LineDecoder::MarkInEightBit(const unsigned char* data, std::size_t size, bool atEnd, std::size_t at)
{
    if (at + 2 >= size && !atEnd)
        return 0;
    if (ByteOrderMarkAt(data, size, at)) {
        EndStretch();
        return 2;
    }
    return 1;
}

// A line of a double-byte page never holds a line end, a zero or a mark's
// first byte inside a character (no trail byte is below 0x40), so runs of
// characters outside ASCII go to the platform's decoder whole, and only a
// lead byte at the end of what has come waits for its trail.
std::size_t LineDecoder::DecodeCodePage(const unsigned char* data, std::size_t size, bool atEnd)
{
    const CodePage page = CodePageOf(encoding_);
    const bool doubleByte = RowOf(page).doubleByte;
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = data[i];
        if (c == 0) {
            if (!SkipZeros(data, size, atEnd, i))
                return i;
            continue;
        }
        if ((c == 0xFF || c == 0xFE || c == 0xEF) && MarkInEightBit(data, size, atEnd, i) != 1)
            return i;
        if (c < 0x80 || !doubleByte) {
            if (c < 0x80)
                PutAscii(static_cast<char>(c));
            else
                PutCodePoint(CodePoint(page, c));
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < size && data[end] >= 0x80) {
            const unsigned char b = data[end];
            if (end > i && (b == 0xFF || b == 0xFE || b == 0xEF))
                break;  // a mark is looked for at the run's start
            if (!LeadByte(page, b)) {
                ++end;
                continue;
            }
            if (end + 1 == size && !atEnd)
                break;  // its trail byte comes with the next chunk
            end += end + 1 < size && data[end + 1] >= kLowestTrail ? 2 : 1;
        }
        if (end == i)
            return i;
        const std::string_view characters(reinterpret_cast<const char*>(data + i), end - i);
        for (const std::uint32_t d : DecodeDoubleBytes(page, characters))
            PutCodePoint(d);
        i = end;
    }
    return i;
}

namespace {

// The byte Windows-1252 writes a character outside Latin-1 as; 0 for none.
unsigned char Windows1252Byte(std::uint32_t c)
{
    for (unsigned byte = 0x80; byte < 0xA0 && c != 0xFFFD; ++byte) {
        if (CodePoint(CodePage::Windows1252, static_cast<unsigned char>(byte)) == c)
            return static_cast<unsigned char>(byte);
    }
    return 0;
}

}  // namespace

void LineDecoder::RepairDoubleEncoding()
{
    // Each character back to the byte Windows-1252 or Latin-1 read it from.
    std::string bytes;
    bytes.reserve(line_.size());
    auto replaced = replaced_.begin();
    bool multibyte = false;
    for (auto at = line_.begin(); at != line_.end();) {
        const auto offset = static_cast<std::size_t>(at - line_.begin());
        std::uint32_t c = utf8::unchecked::next(at);
        if (replaced != replaced_.end() && replaced->first == offset)
            c = (replaced++)->second;
        if (c >= 0x100) {
            c = Windows1252Byte(c);
            if (c == 0)
                return;  // no such byte: the line is what it says
        }
        multibyte |= c >= 0x80;
        bytes += static_cast<char>(c);
    }
    if (!multibyte || utf8::find_invalid(bytes.begin(), bytes.end()) != bytes.end())
        return;
    // The line it was, under the rules every line is read by.
    line_.clear();
    replaced_.clear();
    for (auto at = bytes.begin(); at != bytes.end();) {
        const std::uint32_t c = utf8::unchecked::next(at);
        const char ascii = static_cast<char>(c);
        if (c < 0x80)
            PutCharacter(&ascii, 1);
        else
            PutCodePoint(c);
    }
}

}  // namespace triage
