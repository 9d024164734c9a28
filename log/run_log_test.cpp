// The run log against the real file system of the prefix: buffer growth,
// prefixes, byte-order mark and the C runtime's wide formatting rules.

#include "log/run_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

namespace {

class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        programPath_ = std::wstring(temp) + L"run-log-unit.exe";
        logPath_ = std::wstring(temp) + L"run-log-unit.txt";
        DeleteFileW(logPath_.c_str());
        ASSERT_TRUE(OpenRunLog(programPath_.c_str()));
        ASSERT_NE(g_runLog, nullptr);
    }
    void TearDown() override
    {
        if (g_runLog != nullptr) {
            CloseRunLog();
            DestroyRunLog();
        }
        DeleteFileW(logPath_.c_str());
    }
    // Closes the log (the file is not shared while open) and gives the text
    // between the two banners.
    std::wstring Body()
    {
        CloseRunLog();
        DestroyRunLog();
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(logPath_, &bytes));
        const std::wstring text = MaskTimes(Utf16LeToWide(bytes));
        const std::wstring start = std::wstring(L"\xFEFF") + kMaskedStartBanner;
        const std::wstring end = kMaskedEndBanner;
        EXPECT_EQ(text.compare(0, start.size(), start), 0) << Printable(text);
        EXPECT_GE(text.size(), start.size() + end.size()) << Printable(text);
        if (text.size() < start.size() + end.size())
            return std::wstring();
        EXPECT_EQ(text.substr(text.size() - end.size()), end) << Printable(text);
        return text.substr(start.size(), text.size() - start.size() - end.size());
    }

    std::wstring programPath_;
    std::wstring logPath_;
};

TEST_F(RunLogTest, BufferGrowsToTwiceTheNeedAndNeverShrinks)
{
    // The start banner was the first message: 2 x (its length + 1).
    const int bannerChars = static_cast<int>(std::wstring(kMaskedStartBanner).size());
    EXPECT_EQ(g_runLog->capacity, 2 * (bannerChars + 1));

    const std::wstring longText(300, L'x');
    ASSERT_TRUE(LogPrint(L"%s", longText.c_str()));
    EXPECT_EQ(g_runLog->capacity, 2 * (300 + 1));

    ASSERT_TRUE(LogPrint(L"short"));
    EXPECT_EQ(g_runLog->capacity, 602);

    // Within the capacity nothing changes, even where a prefix adds to it.
    const std::wstring errorText(290, L'e');
    ASSERT_TRUE(LogError(L"%s", errorText.c_str()));
    EXPECT_EQ(g_runLog->capacity, 602);

    // Error needs c + 9, warning c + 11.
    const std::wstring warningText(400, L'w');
    ASSERT_TRUE(LogWarning(L"%s", warningText.c_str()));
    EXPECT_EQ(g_runLog->capacity, 2 * (400 + 11));
    const std::wstring errorLong(500, L'E');
    ASSERT_TRUE(LogError(L"%s", errorLong.c_str()));
    EXPECT_EQ(g_runLog->capacity, 2 * (500 + 9));
}

TEST(RunLogSizes, RequiredCharactersPerKind)
{
    EXPECT_EQ(RequiredLogChars(LogKind::Print, 10), 11);
    EXPECT_EQ(RequiredLogChars(LogKind::Write, 10), 11);
    EXPECT_EQ(RequiredLogChars(LogKind::Error, 10), 19);
    EXPECT_EQ(RequiredLogChars(LogKind::Warning, 10), 21);
}

TEST_F(RunLogTest, PrefixesStandBeforeTheUnchangedMessage)
{
    LogPrint(L"\r\nplain");
    LogError(L"\r\nCannot close file");
    LogWarning(L"\r\nwarning: inner %d", 7);
    LogWrite(L"|file only|");
    EXPECT_EQ(Body(), L"\r\nplainerror: \r\nCannot close filewarning: \r\nwarning: inner 7|file only|");
}

TEST_F(RunLogTest, NoTextOfOneMessageSurvivesIntoTheNext)
{
    LogPrint(L"0123456789abcdef");
    LogError(L"x");
    LogPrint(L"y");
    EXPECT_EQ(Body(), L"0123456789abcdeferror: xy");
}

// The report's formats rely on the MS runtime: %s and %ws wide, %S 8-bit.
TEST_F(RunLogTest, FormatsFollowTheWideRulesOfTheMsRuntime)
{
    LogPrint(L"[%s|%S|%ws|%d|%u|%x|%08X|%04x|%%|% 3d|%ld]", L"wide", "narrow", L"ws", -5, 4000000000u, 0xabcu,
             0xbeefu, 9u, 7, -3L);
    EXPECT_EQ(Body(), L"[wide|narrow|ws|-5|4000000000|abc|0000BEEF|0009|%|  7|-3]");
}

TEST_F(RunLogTest, EightBitTextKeepsEveryByteValue)
{
    LogPrint(L"%S", "caf\xe9 \x80\xff");
    EXPECT_EQ(Body(), L"caf\u00e9 \u0080\u00ff");
}

TEST(RunLogName, LastDotOfTheFileNameCounts)
{
    struct Case {
        const wchar_t* programPath;
        const wchar_t* logName;
    };
    static const Case cases[] = {
        {L"C:\\tools\\diag.exe", L"C:\\tools\\diag.txt"},
        {L"C:\\my.tools\\diag", L"C:\\my.tools\\diag.txt"},
        {L"C:\\my.tools\\diag.exe", L"C:\\my.tools\\diag.txt"},
        {L"C:\\tools\\diag.tar.exe", L"C:\\tools\\diag.tar.txt"},
        {L"\\\\server\\share.d/diag", L"\\\\server\\share.d/diag.txt"},
        {L"C:diag", L"C:diag.txt"},
        {L"diag.", L"diag.txt"},
        {L".exe", L".txt"},
        {L"C:\\tools\\diag", L"C:\\tools\\diag.txt"},
        {L"", L".txt"},
    };
    for (const Case& c : cases) {
        wchar_t* name = nullptr;
        ASSERT_TRUE(BuildLogFileName(c.programPath, &name)) << Printable(c.programPath);
        EXPECT_STREQ(name, c.logName) << Printable(c.programPath);
        std::free(name);
    }
}

// Only what redirects the writes is refused: deduplicated files and cloud
// placeholders are reparse points too, and some file systems count no links.
TEST(RunLogFileCheck, RefusesOnlyWhatRedirectsTheWrite)
{
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD kRecallOnDataAccess = 0x00400000;  // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
    struct Case {
        const char* name;
        LogFileFacts facts;
        bool acceptable;
    };
    static const Case cases[] = {
        {"plain file", {FILE_TYPE_DISK, FILE_ATTRIBUTE_ARCHIVE, 1, 0xDEADBEEF}, true},
        {"no link count", {FILE_TYPE_DISK, FILE_ATTRIBUTE_NORMAL, 0, 0}, true},
        {"deduplicated", {FILE_TYPE_DISK, kReparse, 1, IO_REPARSE_TAG_DEDUP}, true},
        {"cloud placeholder", {FILE_TYPE_DISK, kReparse | kRecallOnDataAccess, 1, IO_REPARSE_TAG_CLOUD}, true},
        {"symbolic link", {FILE_TYPE_DISK, kReparse, 1, IO_REPARSE_TAG_SYMLINK}, false},
        {"junction", {FILE_TYPE_DISK, kReparse, 1, IO_REPARSE_TAG_MOUNT_POINT}, false},
        {"second hard link", {FILE_TYPE_DISK, FILE_ATTRIBUTE_NORMAL, 2, 0}, false},
        {"directory", {FILE_TYPE_DISK, FILE_ATTRIBUTE_DIRECTORY, 1, 0}, false},
        {"pipe", {FILE_TYPE_PIPE, FILE_ATTRIBUTE_NORMAL, 1, 0}, false},
        {"character device", {FILE_TYPE_CHAR, FILE_ATTRIBUTE_NORMAL, 1, 0}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAcceptableLogFile(c.facts), c.acceptable) << c.name;
}

// A symbolic link planted at the log's name, played by the open call: Wine
// follows a real one even when asked for the link itself. As on Windows, an
// open lands on the link's target unless it asks for the link.
std::wstring g_plantedLinkName;
std::wstring g_plantedLinkTarget;

HANDLE WINAPI OpenThroughPlantedLink(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                     DWORD disposition, DWORD flags, HANDLE templateFile)
{
    const bool follows = g_plantedLinkName == name && (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0;
    return CreateFileW(follows ? g_plantedLinkTarget.c_str() : name, access, share, security, disposition, flags,
                       templateFile);
}

TEST(RunLogFileCheck, OpenDoesNotFollowALinkAtTheLogsName)
{
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring programPath = std::wstring(temp) + L"run-log-link.exe";
    g_plantedLinkName = std::wstring(temp) + L"run-log-link.txt";
    g_plantedLinkTarget = std::wstring(temp) + L"protected.bin";
    DeleteFileW(g_plantedLinkName.c_str());
    ASSERT_TRUE(WriteWholeFile(g_plantedLinkTarget, "protected"));

    const bool opened = OpenRunLog(programPath.c_str(), LogFileCalls{&OpenThroughPlantedLink});
    EXPECT_TRUE(opened) << "a log at its own name";
    if (opened) {
        LogPrint(L"finding");
        CloseRunLog();
        DestroyRunLog();
    }
    std::string target;
    EXPECT_TRUE(ReadWholeFile(g_plantedLinkTarget, &target));
    EXPECT_EQ(target, "protected") << "the log was written through the link";
    DeleteFileW(g_plantedLinkName.c_str());
    DeleteFileW(g_plantedLinkTarget.c_str());
}

// A piece of console output never ends between the halves of a surrogate
// pair, wherever the pair falls against the piece size; the pieces together
// are the whole text.
TEST(RunLogConsolePieces, NeverSplitASurrogatePair)
{
    constexpr int kPiece = kConsolePieceChars;
    struct Case {
        const char* name;
        int length;
        int pairAt;  // the high surrogate's index
        int firstPiece;
    };
    static const Case cases[] = {
        {"pair across the piece boundary", 2 * kPiece + 5, kPiece - 1, kPiece - 1},
        {"pair ending the piece", 2 * kPiece + 5, kPiece - 2, kPiece},
        {"pair starting the next piece", 2 * kPiece + 5, kPiece, kPiece},
        {"short text ending in a pair", 6, 4, 6},
    };
    for (const Case& c : cases) {
        std::wstring text(static_cast<size_t>(c.length), L'x');
        text[static_cast<size_t>(c.pairAt)] = L'\xD83D';  // U+1F512, a lock
        text[static_cast<size_t>(c.pairAt) + 1] = L'\xDD12';
        EXPECT_EQ(ConsolePieceChars(text.c_str(), c.length), c.firstPiece) << c.name;
        std::wstring joined;
        for (int done = 0; done < c.length;) {
            const int piece = ConsolePieceChars(text.c_str() + done, c.length - done);
            ASSERT_GT(piece, 0) << c.name;
            ASSERT_LE(piece, kPiece) << c.name;
            ASSERT_FALSE(IS_HIGH_SURROGATE(text[static_cast<size_t>(done + piece - 1)]))
                << c.name << ": a piece ends at " << done + piece;
            joined.append(text, static_cast<size_t>(done), static_cast<size_t>(piece));
            done += piece;
        }
        EXPECT_EQ(joined, text) << c.name;
    }
}

TEST(RunLogWithoutObject, MessagesAreDroppedWhenNoLogIsOpen)
{
    ASSERT_EQ(g_runLog, nullptr);
    EXPECT_FALSE(LogPrint(L"nothing"));
    EXPECT_FALSE(LogError(L"nothing"));
    EXPECT_FALSE(OpenRunLog(nullptr));
}

// A handle that no longer writes: the failure is reported once, never about itself.
TEST_F(RunLogTest, WriteFailureIsReportedOnceAndNeverLoops)
{
    const HANDLE realFile = g_runLog->file;
    const std::wstring otherPath = logPath_ + L".other";
    ASSERT_TRUE(WriteWholeFile(otherPath, "x"));
    const HANDLE readOnly = CreateFileW(otherPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    g_runLog->file = readOnly;
    EXPECT_TRUE(LogPrint(L"lost"));
    g_runLog->file = realFile;
    CloseHandle(readOnly);
    DeleteFileW(otherPath.c_str());
    LogPrint(L"|after");
    // Neither the lost message nor its report reached the file; the run goes on.
    EXPECT_EQ(Body(), L"|after");
}
}  // namespace
