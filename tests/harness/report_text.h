#pragma once

// Turning what the product wrote into text that tests can compare.

#include <string>

// UTF-16LE bytes as wide text; a byte-order mark stays as U+FEFF.
std::wstring Utf16LeToWide(const std::string& bytes);
// UTF-8 bytes as wide text (UTF-16, surrogate pairs beyond the BMP); a
// byte-order mark stays as U+FEFF, a malformed sequence becomes U+FFFD.
std::wstring Utf8ToWide(const std::string& bytes);
// Console bytes as wide text, each byte the character of the same value (the
// program's "C" locale).
std::wstring BytesToWide(const std::string& bytes);
// The time digits of every "Log start time:"/"Log end time:" banner and of the
// "System time is:" line replaced by '#', so reports of different runs
// compare equal.
std::wstring MaskTimes(const std::wstring& report);
// The report without its start and end banners and without a byte-order mark,
// everything else as stored: what the console echo shows.
std::wstring WithoutBanners(const std::wstring& report);
// The report between the start and end banner of one run (banners excluded).
std::wstring ReportBody(const std::wstring& report);
// The texts that open the report's sections after the first, in report order,
// as the program writes them; the prompt ends the report.
inline constexpr wchar_t kProductTitle[] = L"\r\nZEMLO Product: ";
inline constexpr wchar_t kSystemTimeTitle[] = L"\r\nSystem time is: ";
inline constexpr wchar_t kSha2Title[] = L"\r\n\r\nSHA2 support:";
inline constexpr wchar_t kAutoUpdateTitle[] = L"\r\n\r\nTrusted store auto update configuration:";
inline constexpr wchar_t kProxyTitle[] = L"\r\n\r\nProxy detection:";
inline constexpr wchar_t kHostsTitle[] = L"\r\n\r\n%SystemRoot%\\System32\\drivers\\etc\\hosts test:";
inline constexpr wchar_t kNameResolutionTitle[] = L"\r\n\r\nGetAddrInfoW response test:";
inline constexpr wchar_t kCurrentUserChainTitle[] = L"\r\n\r\nVerify chain test: [CurrentUser]";
inline constexpr wchar_t kLocalMachineChainTitle[] = L"\r\n\r\nVerify chain test: [LocalMachine]";
inline constexpr wchar_t kTestAfterImportTitle[] = L"\r\n\r\n==================\r\nTest after import";
inline constexpr wchar_t kPrompt[] = L"\r\n\r\nPress any key to quit...";

// One section of a report: from its title up to the next of the titles above
// or the prompt, whichever comes first. Empty when the title is not in the
// report; occurrence picks a later one when a title appears more than once.
std::wstring ReportSection(const std::wstring& report, const std::wstring& title, size_t occurrence = 0);
// Printable form for failure messages: \r, \n, \t spelled out.
std::string Printable(const std::wstring& text);

// The banner texts as the log writes them, with masked digits.
extern const wchar_t kMaskedStartBanner[];
extern const wchar_t kMaskedEndBanner[];
