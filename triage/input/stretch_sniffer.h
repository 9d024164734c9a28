#pragma once

// Where a log's bytes change encoding, and what the next stretch is in: a
// byte order mark, UTF-16 by its zeros, else 8-bit text (UTF-8 when valid,
// else the most plausible code page). The first stretch of a file also
// decides whether the file is text at all.

#include <cstddef>
#include <string>

#include "triage/input/code_pages.h"
#include "triage/input/text_decoder.h"

namespace triage {

// A stretch is judged by its first bytes alone: the file's first stretch,
// which decides whether the file is text at all, by at most kLookAheadBytes,
// a later one by exactly kSampleBytes (the decoder waits for them unless the
// input ends first), so a later stretch is judged the same however the input
// was cut into reads, and a stretch costs the sniffer no more than its own
// length plus a sample.
inline constexpr std::size_t kLookAheadBytes = 256 * 1024;
inline constexpr std::size_t kSampleBytes = 4096;
// Pairs of "x\0" after a zero that show UTF-16LE starting there.
inline constexpr std::size_t kUtf16Pairs = 4;

struct StretchStart {
    Encoding encoding = Encoding::Unknown;
    std::size_t markBytes = 0;  // the byte order mark to skip
    std::string error;          // set when the file is no text
    std::size_t examined = 0;   // bytes the sniffer read to decide
};

// `data` starts the stretch (zeros before it already skipped, but for one
// that may be UTF-16BE's); `atEnd` when nothing follows `size` bytes;
// `first` for the file's first stretch. Reads no further than
// kLookAheadBytes, whatever `size` is.
StretchStart SniffStretch(const unsigned char* data, std::size_t size, bool atEnd, bool first);

// A byte order mark of any encoding at `at`.
bool ByteOrderMarkAt(const unsigned char* data, std::size_t size, std::size_t at);
// UTF-16LE text of ASCII characters ("\r\0\n\0#\0..."), as far as `size` goes.
bool Utf16LeFollows(const unsigned char* data, std::size_t size);

}  // namespace triage
