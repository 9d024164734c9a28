#pragma once

// Words for the Windows error values support meets most in findings, so a
// reader need not look them up. A Win32 error code is matched in its
// HRESULT form (5 reads as 0x80070005). The native build defines the
// platform's constants here; a Windows build checks them against its headers.

#include <cstdint>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#define TRIAGE_PLATFORM_CODE(name, value) \
    static_assert(static_cast<std::uint32_t>(name) == (value), #name " differs from the platform's value");
#else
#define TRIAGE_PLATFORM_CODE(name, value) inline constexpr std::uint32_t name = (value);
#endif

namespace triage {

TRIAGE_PLATFORM_CODE(E_ACCESSDENIED, 0x80070005)
TRIAGE_PLATFORM_CODE(E_OUTOFMEMORY, 0x8007000E)
TRIAGE_PLATFORM_CODE(E_INVALIDARG, 0x80070057)
TRIAGE_PLATFORM_CODE(NTE_PROV_TYPE_NOT_DEF, 0x80090017)
TRIAGE_PLATFORM_CODE(CRYPT_E_NOT_FOUND, 0x80092004)

#undef TRIAGE_PLATFORM_CODE

struct ErrorWord {
    std::uint32_t code;
    const char* word;
};

inline constexpr ErrorWord kErrorWords[] = {
    {static_cast<std::uint32_t>(E_ACCESSDENIED), "access denied"},
    {static_cast<std::uint32_t>(E_OUTOFMEMORY), "out of memory"},
    {static_cast<std::uint32_t>(E_INVALIDARG), "invalid argument"},
    {static_cast<std::uint32_t>(NTE_PROV_TYPE_NOT_DEF), "provider type not defined"},
    {static_cast<std::uint32_t>(CRYPT_E_NOT_FOUND), "object not found"},
};

// The word for `code`, or null.
inline const char* ErrorWordOf(std::uint32_t code)
{
    const std::uint32_t asHresult = code != 0 && code <= 0xFFFF ? 0x80070000u | code : code;
    for (const ErrorWord& row : kErrorWords) {
        if (row.code == asHresult)
            return row.word;
    }
    return nullptr;
}

// A 32-bit value as the report prints it: "0x0001000a".
inline std::string Hex8(std::int64_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
    return text;
}

// "0x80070005 (access denied)", or the bare hex value when it has no word.
inline std::string HexWithWord(std::uint32_t code)
{
    const char* word = ErrorWordOf(code);
    return word ? Hex8(code) + " (" + word + ")" : Hex8(code);
}

// `text` with the word put after each hex value of eight digits that has one
// ("gle: 0x80090017" becomes "gle: 0x80090017 (provider type not defined)").
inline std::string WithErrorWords(const std::string& text)
{
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 2)) {
        const std::size_t end = at + 10;
        const std::size_t digitsEnd = text.find_first_not_of("0123456789abcdefABCDEF", at + 2);
        if (end > text.size() || digitsEnd != (end == text.size() ? std::string::npos : end))
            continue;
        const char* word = ErrorWordOf(static_cast<std::uint32_t>(std::stoul(text.substr(at + 2, 8), nullptr, 16)));
        if (word == nullptr)
            continue;
        out += text.substr(copied, end - copied) + " (" + word + ")";
        copied = end;
    }
    return out + text.substr(copied);
}

}  // namespace triage
