#pragma once

// Lines a mail client wrapped: it breaks a line wider than its limit
// (commonly 72 to 78 columns) at the last blank that fits, keeping or
// dropping that blank, or, without one, inside a word or not at all. The
// reader joins a line that does not read on its own to the one before where
// a wrap could have put it there.

#include <cstddef>
#include <string_view>
#include <vector>

namespace triage {

// A line is put together from at most this much text.
inline constexpr std::size_t kMaxJoinedBytes = 16 * 1024;

// Columns of UTF-8 text as a mail client or a console counts them: one per
// character, tabs to the next stop.
std::size_t Columns(std::string_view text);

// Whether the line is no wider than a mail line: only such a line may go on
// in the next.
bool FitsMailLine(std::string_view line);

// Whether a wrapper could have broken `line` before `next`: the line fits a
// mail line, `next` starts with no blank, and its first word would not have
// fitted on the line.
bool WrapBefore(std::string_view line, std::string_view next);

// How `next` joins the line whose last physical part is `part`, most likely
// first: a kept blank ends the part; a word cut for want of a blank leaves a
// full part without one; else the wrapper dropped the blank.
std::vector<const char*> WrapSeparators(std::string_view part);

}  // namespace triage
