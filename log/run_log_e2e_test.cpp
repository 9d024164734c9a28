// The run log as the real program writes it, in a fresh prefix per case.

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

size_t CountOf(const std::wstring& text, const std::wstring& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

const std::wstring kPromptTail = std::wstring(kPrompt) + kMaskedEndBanner;

TEST(RunLogFile, IsCreatedBesideTheProgramAsUtf16WithOneBanner)
{
    const ProductInstall product(L"C:\\Diag Tools\\zemlo");
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(run.logExists) << "expected C:\\Diag Tools\\zemlo\\zemlodiag.txt";
    ASSERT_GE(run.logBytes.size(), 2u);
    EXPECT_EQ(run.logBytes.substr(0, 2), std::string("\xFF\xFE"));
    EXPECT_EQ(run.logBytes.size() % 2, 0u);

    const std::wstring masked = MaskTimes(run.logText);
    EXPECT_EQ(masked.rfind(std::wstring(L"\xFEFF") + kMaskedStartBanner, 0), 0u) << Printable(masked);
    ASSERT_GE(masked.size(), kPromptTail.size());
    EXPECT_EQ(masked.substr(masked.size() - kPromptTail.size()), kPromptTail) << Printable(masked);
    EXPECT_EQ(CountOf(masked, L"Log start time: "), 1u);
    EXPECT_EQ(CountOf(masked, L"Log end time: "), 1u);
    EXPECT_EQ(run.standardOutput, "");
}

// Minutes since 1601, for comparing a banner with the clock.
long long MinuteOf(const SYSTEMTIME& time)
{
    SYSTEMTIME minute = time;
    minute.wSecond = 0;
    minute.wMilliseconds = 0;
    FILETIME fileTime = {};
    if (!SystemTimeToFileTime(&minute, &fileTime))
        return -1;
    const ULONGLONG ticks = (static_cast<ULONGLONG>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    return static_cast<long long>(ticks / (60ULL * 10000000ULL));
}

TEST(RunLogFile, BannerTimeIsUtcInItsOwnFormat)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    SYSTEMTIME before = {};
    GetSystemTime(&before);
    const ProductRun run = product.Run();
    SYSTEMTIME after = {};
    GetSystemTime(&after);
    ASSERT_TRUE(run.logExists);

    const size_t at = run.logText.find(L"Log start time: ");
    ASSERT_NE(at, std::wstring::npos) << Printable(run.logText);
    // "yyyy.mm.dd hh:mm.ss" and the line's end, nothing else.
    const std::wstring stamp = run.logText.substr(at + 16, 21);
    const std::wstring shape = L"####.##.## ##:##.##\r\n";
    ASSERT_EQ(stamp.size(), shape.size()) << Printable(run.logText);
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool fits = shape[i] == L'#' ? std::iswdigit(stamp[i]) != 0 : stamp[i] == shape[i];
        ASSERT_TRUE(fits) << "character " << i << " of " << Printable(stamp);
    }
    const auto number = [&stamp](size_t from, size_t digits) {
        return static_cast<WORD>(std::stoi(stamp.substr(from, digits)));
    };
    SYSTEMTIME banner = {};
    banner.wYear = number(0, 4);
    banner.wMonth = number(5, 2);
    banner.wDay = number(8, 2);
    banner.wHour = number(11, 2);
    banner.wMinute = number(14, 2);
    banner.wSecond = number(17, 2);
    // The test zone is 5:45 ahead of UTC: local time would miss this window
    // at any hour of the day.
    const long long bannerMinute = MinuteOf(banner);
    EXPECT_GE(bannerMinute, MinuteOf(before)) << Printable(stamp);
    EXPECT_LE(bannerMinute, MinuteOf(after)) << Printable(stamp);
}

TEST(RunLogFile, SecondRunAppendsWithoutAnotherByteOrderMark)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun first = product.Run();
    ASSERT_TRUE(first.logExists);
    const ProductRun second = product.Run();
    ASSERT_TRUE(second.logExists);
    EXPECT_EQ(second.logBytes.substr(0, first.logBytes.size()), first.logBytes);
    EXPECT_EQ(CountOf(second.logText, L"\xFEFF"), 1u);
    EXPECT_EQ(second.logText[0], L'\xFEFF');
    EXPECT_EQ(CountOf(second.logText, L"Log start time: "), 2u);
    EXPECT_EQ(CountOf(second.logText, L"Log end time: "), 2u);
    // The second run's report is the first one's again.
    const std::wstring firstReport = MaskTimes(first.logText);
    EXPECT_EQ(MaskTimes(second.logText), firstReport + firstReport.substr(1));
}

TEST(RunLogFile, ExistingFileWithoutByteOrderMarkGetsNone)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const std::string earlier("e\0a\0r\0l\0i\0e\0r\0", 14);
    ASSERT_TRUE(WriteWholeFile(product.LogPath(), earlier));
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.logExists);
    EXPECT_EQ(run.logBytes.substr(0, earlier.size()), earlier);
    EXPECT_EQ(CountOf(run.logText, L"\xFEFF"), 0u);
    EXPECT_EQ(MaskTimes(run.logText).substr(7, std::wstring(kMaskedStartBanner).size()), kMaskedStartBanner);
}

TEST(RunLogFile, ConsoleEchoIsTheLogWithoutBanners)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.logExists);
    EXPECT_EQ(BytesToWide(run.standardError), WithoutBanners(run.logText))
        << "console:\n" << Printable(BytesToWide(run.standardError)) << "\nlog:\n" << Printable(run.logText);
    EXPECT_EQ(run.standardOutput, "");
}

struct UnwritableLogCase {
    const char* name;
    void (*arrange)(const ProductInstall& product, HANDLE* held);
};

void HoldLogOpenWithoutSharing(const ProductInstall& product, HANDLE* held)
{
    *held = CreateFileW(product.LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(*held, INVALID_HANDLE_VALUE);
}

void MakeLogNameAFolder(const ProductInstall& product, HANDLE*)
{
    ASSERT_TRUE(CreateDirectoryW(product.LogPath().c_str(), nullptr));
}

// A user plants a hard link to a file the run must not write to.
void MakeLogNameAHardLink(const ProductInstall& product, HANDLE*)
{
    ASSERT_TRUE(WriteWholeFile(L"C:\\protected.bin", "protected"));
    ASSERT_TRUE(CreateHardLinkW(product.LogPath().c_str(), L"C:\\protected.bin", nullptr)) << GetLastError();
}

class UnwritableLog : public ::testing::TestWithParam<UnwritableLogCase> {};

TEST_P(UnwritableLog, EndsTheRunWithTheFatalTextOnStandardOutput)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    HANDLE held = INVALID_HANDLE_VALUE;
    GetParam().arrange(product, &held);
    const ProductRun run = product.Run();
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.standardOutput, "Fatal error: While creating log file.");
    EXPECT_EQ(run.standardError, "");
    std::string protectedBytes;
    if (ReadWholeFile(L"C:\\protected.bin", &protectedBytes)) {
        EXPECT_EQ(protectedBytes, "protected") << "the run wrote through the link";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UnwritableLog,
                         ::testing::Values(UnwritableLogCase{"HeldOpenElsewhere", HoldLogOpenWithoutSharing},
                                           UnwritableLogCase{"NameIsAFolder", MakeLogNameAFolder},
                                           UnwritableLogCase{"NameIsAHardLink", MakeLogNameAHardLink}),
                         [](const auto& info) { return std::string(info.param.name); });

// A complete run: one start banner at the top, the prompt and end banner last.
void ExpectWholeReport(const std::wstring& logPath)
{
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(logPath, &bytes)) << "expected the log " << Printable(logPath);
    const std::wstring masked = MaskTimes(Utf16LeToWide(bytes));
    EXPECT_EQ(masked.rfind(std::wstring(L"\xFEFF") + kMaskedStartBanner, 0), 0u) << Printable(masked);
    ASSERT_GE(masked.size(), kPromptTail.size());
    EXPECT_EQ(masked.substr(masked.size() - kPromptTail.size()), kPromptTail) << Printable(masked);
}

// The log is named from the program file itself: a folder's '.' does not
// count, and a file name without one gets ".txt" appended.
TEST(RunLogFile, ProgramWithoutExtensionInADottedFolderLogsBesideItself)
{
    const ProductInstall product(L"C:\\my.tools", L"diag");
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.standardOutput, "");
    ExpectWholeReport(L"C:\\my.tools\\diag.txt");
    EXPECT_EQ(GetFileAttributesW(L"C:\\my.txt"), INVALID_FILE_ATTRIBUTES) << "a log landed outside the folder";
}

// As support engineers start it at a prompt: argv[0] is then the command as
// typed, which is no path to name the log after.
TEST(RunLogFile, CommandTypedAtAPromptLogsBesideTheProgram)
{
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* strayLog;  // where a log named after argv[0] would land, if anywhere
    };
    static const Case cases[] = {
        {L"cmd.exe /c \"cd /d C:\\zd && zemlodiag\"", nullptr},
        {L"cmd.exe /c \"cd /d C:\\other && ..\\zd\\zemlodiag\"", L"C:\\..txt"},
    };
    const ProductInstall product(L"C:\\zd");
    ASSERT_TRUE(product.Install());
    ASSERT_TRUE(CreateFolderPath(L"C:\\other"));
    wchar_t cmd[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(cmd, MAX_PATH), 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(Printable(c.commandLine));
        DeleteFileW(product.LogPath().c_str());
        const ProductRun run = RunCapturing(std::wstring(cmd) + L"\\cmd.exe", c.commandLine, 120000);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.standardOutput, "");
        ExpectWholeReport(product.LogPath());
        if (c.strayLog != nullptr) {
            EXPECT_EQ(GetFileAttributesW(c.strayLog), INVALID_FILE_ATTRIBUTES);
        }
    }
}

}  // namespace
