#include "triage/text_decoder.h"

#include <utf8.h>

#include <algorithm>
#include <iterator>

namespace triage {

namespace {

constexpr std::size_t kSampleBytes = 4096;

// Windows-1252's printable characters in 0x80..0x9F; the five holes stay as
// the C1 controls that Windows maps them to.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsTextControl(std::uint32_t c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool StartsWith(const std::string& bytes, const char* prefix, std::size_t length)
{
    return bytes.size() >= length && bytes.compare(0, length, prefix, length) == 0;
}

// Share of characters in the sample that no text has: binary junk shows
// them at once, a report never does.
bool LooksBinary(const std::string& sample, Encoding encoding)
{
    std::size_t characters = 0;
    std::size_t controls = 0;
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16LeBom || encoding == Encoding::Utf16Be ||
        encoding == Encoding::Utf16BeBom) {
        const bool bigEndian = encoding == Encoding::Utf16Be || encoding == Encoding::Utf16BeBom;
        for (std::size_t i = 0; i + 1 < sample.size(); i += 2) {
            const auto low = static_cast<unsigned char>(sample[i + (bigEndian ? 1 : 0)]);
            const auto high = static_cast<unsigned char>(sample[i + (bigEndian ? 0 : 1)]);
            const std::uint32_t unit = low | (high << 8);
            ++characters;
            if (unit < 0x20 && !IsTextControl(unit))
                ++controls;
        }
    } else {
        for (char byte : sample) {
            const auto c = static_cast<unsigned char>(byte);
            ++characters;
            if (c < 0x20 && !IsTextControl(c))
                ++controls;
        }
    }
    return controls * 10 > characters;
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
    case Encoding::Unknown: break;
    }
    return "unknown";
}

bool LineDecoder::Detect(bool atEnd)
{
    if (!atEnd && sample_.size() < kSampleBytes)
        return true;
    std::size_t skip = 0;
    if (StartsWith(sample_, "\xFF\xFE", 2)) {
        encoding_ = Encoding::Utf16LeBom;
        skip = 2;
    } else if (StartsWith(sample_, "\xFE\xFF", 2)) {
        encoding_ = Encoding::Utf16BeBom;
        skip = 2;
    } else if (StartsWith(sample_, "\xEF\xBB\xBF", 3)) {
        encoding_ = Encoding::Utf8Bom;
        skip = 3;
    } else {
        // ASCII text in UTF-16 has a zero in every other byte.
        std::size_t zerosEven = 0;
        std::size_t zerosOdd = 0;
        for (std::size_t i = 0; i < sample_.size(); ++i) {
            if (sample_[i] == '\0')
                ++(i % 2 == 0 ? zerosEven : zerosOdd);
        }
        const std::size_t pairs = sample_.size() / 2;
        if (zerosOdd * 4 >= pairs && zerosOdd > zerosEven * 4)
            encoding_ = Encoding::Utf16Le;
        else if (zerosEven * 4 >= pairs && zerosEven > zerosOdd * 4)
            encoding_ = Encoding::Utf16Be;
        else if (zerosEven + zerosOdd > 0) {
            error_ = "binary data, not a report (zero bytes in 8-bit text)";
            return false;
        } else {
            // An incomplete sequence at the end of the sample is not a fault.
            auto end = sample_.end();
            if (!atEnd)
                end -= std::min<std::size_t>(3, sample_.size());
            encoding_ = utf8::find_invalid(sample_.begin(), end) == end ? Encoding::Utf8 : Encoding::Windows1252;
        }
    }
    const std::string text = sample_.substr(skip);
    if (LooksBinary(text, encoding_)) {
        error_ = std::string("binary data, not a report (read as ") + EncodingName(encoding_) + ")";
        return false;
    }
    sample_.clear();
    Decode(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return true;
}

bool LineDecoder::Feed(const char* data, std::size_t size)
{
    if (failed_)
        return false;
    totalBytes_ += size;
    if (encoding_ == Encoding::Unknown) {
        sample_.append(data, size);
        if (!Detect(false)) {
            failed_ = true;
            return false;
        }
        return true;
    }
    Decode(reinterpret_cast<const unsigned char*>(data), size);
    return true;
}

bool LineDecoder::Finish()
{
    if (failed_)
        return false;
    if (totalBytes_ == 0) {
        error_ = "empty file";
        return false;
    }
    if (encoding_ == Encoding::Unknown && !Detect(true)) {
        failed_ = true;
        return false;
    }
    const bool utf16 = encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16LeBom ||
                       encoding_ == Encoding::Utf16Be || encoding_ == Encoding::Utf16BeBom;
    // A UTF-16 text with an odd byte count was cut off inside its last
    // character: it reads as if cut at the byte before.
    if (highSurrogate_ != 0)
        PutCodePoint(0xFFFD);
    if (!utf16 && !carry_.empty()) {
        // An incomplete UTF-8 sequence at the very end.
        PutCodePoint(0xFFFD);
    }
    carry_.clear();
    if (!line_.empty() || lineCut_) {
        unended_ = true;
        EndLine();
        unended_ = false;
    }
    return true;
}

void LineDecoder::Decode(const unsigned char* data, std::size_t size)
{
    switch (encoding_) {
    case Encoding::Utf16LeBom:
    case Encoding::Utf16Le: DecodeUtf16(data, size, false); break;
    case Encoding::Utf16BeBom:
    case Encoding::Utf16Be: DecodeUtf16(data, size, true); break;
    case Encoding::Utf8Bom:
    case Encoding::Utf8: DecodeUtf8(data, size); break;
    case Encoding::Windows1252: Decode1252(data, size); break;
    case Encoding::Unknown: break;
    }
}

void LineDecoder::DecodeUtf16(const unsigned char* data, std::size_t size, bool bigEndian)
{
    std::size_t i = 0;
    unsigned char pair[2];
    auto unitAt = [&](const unsigned char* bytes) {
        return static_cast<std::uint32_t>(bigEndian ? (bytes[0] << 8) | bytes[1] : bytes[0] | (bytes[1] << 8));
    };
    auto take = [&](std::uint32_t unit) {
        if (highSurrogate_ != 0) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                PutCodePoint(0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
                highSurrogate_ = 0;
                return;
            }
            PutCodePoint(0xFFFD);
            highSurrogate_ = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            highSurrogate_ = unit;
        else if (unit >= 0xDC00 && unit <= 0xDFFF)
            PutCodePoint(0xFFFD);
        else if (unit < 0x80)
            PutAscii(static_cast<char>(unit));
        else
            PutCodePoint(unit);
    };
    if (!carry_.empty() && size > 0) {
        pair[0] = static_cast<unsigned char>(carry_[0]);
        pair[1] = data[0];
        carry_.clear();
        take(unitAt(pair));
        i = 1;
    }
    for (; i + 1 < size; i += 2) {
        const std::uint32_t unit = unitAt(data + i);
        // Printable ASCII, nearly all of a report, goes straight to the line.
        if (unit >= 0x20 && unit < 0x7F && highSurrogate_ == 0 && !afterCr_) {
            if (line_.size() < kMaxLineBytes)
                line_.push_back(static_cast<char>(unit));
            else
                lineCut_ = true;
            continue;
        }
        take(unit);
    }
    if (i < size)
        carry_.assign(1, static_cast<char>(data[i]));
}

void LineDecoder::DecodeUtf8(const unsigned char* data, std::size_t size)
{
    std::string bytes = carry_;
    carry_.clear();
    bytes.append(reinterpret_cast<const char*>(data), size);
    // Keep a sequence cut by the chunk's end for the next chunk.
    std::size_t end = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (needed > back)
            end = bytes.size() - back;
        break;
    }
    carry_ = bytes.substr(end);
    bytes.resize(end);
    std::size_t start = 0;
    while (start < bytes.size()) {
        auto invalid = utf8::find_invalid(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
        const auto validEnd = static_cast<std::size_t>(invalid - bytes.begin());
        for (std::size_t k = start; k < validEnd; ++k)
            PutAscii(bytes[k]);  // valid UTF-8 passes through byte by byte
        if (invalid == bytes.end())
            break;
        PutCodePoint(0xFFFD);
        start = validEnd + 1;
    }
}

void LineDecoder::Decode1252(const unsigned char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = data[i];
        if (c < 0x80)
            PutAscii(static_cast<char>(c));
        else if (c < 0xA0)
            PutCodePoint(kWindows1252High[c - 0x80]);
        else
            PutCodePoint(c);
    }
}

void LineDecoder::PutCodePoint(std::uint32_t codePoint)
{
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
        return;  // zero-filled tails of logs cut short by a crash
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
