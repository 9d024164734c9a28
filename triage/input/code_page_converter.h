#pragma once

// The platform's own decoder of Windows code pages, one implementation per
// build: iconv on Linux (code_pages_iconv.cpp), MultiByteToWideChar on
// Windows (code_pages_win32.cpp), the browser's TextDecoder in the page
// (code_pages_web.cpp).

#include <cstdint>
#include <string_view>
#include <vector>

namespace triage {

using CodePoints = std::vector<std::uint32_t>;

// `bytes` in Windows code page `number` as code points, U+FFFD for each sequence
// the page does not map (a character cut off at the end is one). False, and
// `out` untouched, when the platform cannot read the page.
bool PlatformDecode(unsigned number, std::string_view bytes, CodePoints& out);

}  // namespace triage
