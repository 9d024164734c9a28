#pragma once

// The 8-bit code pages a log can reach support in without a mark: Windows-1252
// (text copied from the console) and the OEM pages that cmd's `type` writes
// (437, 850, 866). Which one a stretch of bytes is in is guessed from how
// plausible its characters come out.

#include <cstdint>
#include <string_view>

namespace triage {

enum class CodePage { Windows1252, Oem437, Oem850, Oem866 };

// In the order a tie is settled in.
inline constexpr CodePage kCodePages[] = {CodePage::Windows1252, CodePage::Oem437, CodePage::Oem850,
                                          CodePage::Oem866};

// The code point of one byte; bytes a page leaves undefined give U+FFFD,
// never a C1 control.
std::uint32_t CodePoint(CodePage page, unsigned char byte);

// The page under which `bytes` read most like text: fewest undefined
// characters, symbols among letters and letters of two scripts in one word.
CodePage MostPlausibleCodePage(std::string_view bytes);

}  // namespace triage
