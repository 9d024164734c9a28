#pragma once

// Header text that mail programs encode because it is not ASCII: encoded
// words (`=?UTF-8?B?...?=`, `=?iso-8859-1?Q?...?=`, RFC 2047) and extended
// parameter values (`filename*=UTF-8''zemlodiag%20kopie.txt`, continued as
// `filename*0*=`, `filename*1*=`, RFC 2231). UTF-8 and US-ASCII are taken
// as they are, ISO-8859-1 and Windows-1252 read as Windows-1252 (as browsers
// read both); text in any other charset stays as it came.

#include <string>
#include <string_view>

namespace triage {

// `text` with its encoded words decoded; the blanks between two adjacent
// encoded words (a folded header's) are dropped, as they only separate them.
std::string DecodeEncodedWords(std::string_view text);

// The value of parameter `name` (lower case) of a header's value
// ("attachment; filename=..."), unquoted, an extended value decoded (its
// sections joined); empty when absent. Encoded words, which many mail
// programs put into a quoted file name, are the caller's to decode.
std::string HeaderParameter(std::string_view value, std::string_view name);

}  // namespace triage
