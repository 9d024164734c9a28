#include <windows.h>

#include <string>

#include "triage/input/code_page_converter.h"

namespace triage {

namespace {

// UTF-16 from MultiByteToWideChar, or false when the page does not map all of `bytes`.
bool Convert(unsigned number, const char* bytes, int size, std::wstring& wide)
{
    const int length = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
    if (length <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes, size, wide.data(), length) == length;
}

void AppendCodePoints(const std::wstring& wide, CodePoints& out)
{
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const std::uint32_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((unit - 0xD800) << 10) + (wide[++i] - 0xDC00u));
            continue;
        }
        out.push_back(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
}

}  // namespace

bool PlatformDecode(unsigned number, std::string_view bytes, CodePoints& out)
{
    if (!IsValidCodePage(number))
        return false;
    std::wstring wide;
    if (bytes.empty() || Convert(number, bytes.data(), static_cast<int>(bytes.size()), wide)) {
        AppendCodePoints(wide, out);
        return true;
    }
    // Something in it is not mapped: character by character, U+FFFD for each
    // that fails and on from the byte after its first.
    std::size_t at = 0;
    while (at < bytes.size()) {
        const bool lead = IsDBCSLeadByteEx(number, static_cast<BYTE>(bytes[at])) && at + 1 < bytes.size();
        const int length = lead ? 2 : 1;
        if (Convert(number, bytes.data() + at, length, wide)) {
            AppendCodePoints(wide, out);
            at += static_cast<std::size_t>(length);
        } else {
            out.push_back(0xFFFD);
            ++at;
        }
    }
    return true;
}

}  // namespace triage
