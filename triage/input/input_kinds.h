#pragma once

// What a file is, told by its first bytes (and its name where the bytes are
// shared: a Word document is a zip archive): text to read, a zip archive to
// open, a mail, or a kind this program does not read, refused with what it
// is and what the sender can do instead.

#include <optional>
#include <string>
#include <string_view>

namespace triage {

// The names a folder or an archive is searched for, in any letter case:
// *.txt, *.log, *.eml, *.zip.
bool IsReadName(std::string_view name);
// *.zip, in any letter case.
bool IsZipName(std::string_view name);

// A zip archive's first bytes (an empty archive's too).
bool StartsLikeZip(std::string_view head);
// How many first bytes RefusedKind wants to see.
inline constexpr std::size_t kKindHeadBytes = 8;

// One line: "a Word document: send the log file itself, or save the text as
// .txt"; nothing for a kind that is read. `head` is the file's first bytes
// (up to kKindHeadBytes; fewer only when the file is shorter). A zip archive
// is not refused here: the caller opens it or knows why it cannot.
std::optional<std::string> RefusedKind(std::string_view head, std::string_view name);
// The same for a name alone (an archive's entry, a mail's attachment, before
// their bytes are read).
std::optional<std::string> RefusedName(std::string_view name);

}  // namespace triage
