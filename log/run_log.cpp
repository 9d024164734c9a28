#include "log/run_log.h"

#include <winioctl.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string_view>

#include "base/heap_block.h"
#include "base/system_function.h"
#include "log/report_texts.h"

RunLog* g_runLog = nullptr;

namespace {

// The prefixes are copied by count, without their terminators.
constexpr int kErrorPrefixChars = static_cast<int>(std::wstring_view(kErrorPrefix).size());
constexpr int kWarningPrefixChars = static_cast<int>(std::wstring_view(kWarningPrefix).size());
static_assert(std::size(kErrorPrefix) == kErrorPrefixChars + 1u && std::size(kWarningPrefix) == kWarningPrefixChars + 1u,
              "a prefix text holds no '\\0' before its end");

// Growth to exactly 2 x needed; a failed allocation leaves the old buffer.
bool EnsureCapacity(RunLog& log, int neededChars)
{
    const long long wanted = 2LL * neededChars;
    if (log.capacity >= wanted)
        return true;
    if (wanted > INT_MAX || static_cast<unsigned long long>(wanted) > SIZE_MAX / sizeof(wchar_t))
        return false;
    void* grown = std::realloc(log.buffer, static_cast<size_t>(wanted) * sizeof(wchar_t));
    if (grown == nullptr)
        return false;
    log.buffer = static_cast<wchar_t*>(grown);
    log.capacity = static_cast<int>(wanted);
    return true;
}

// A console is given the text as it is: it shows every character the log
// holds (Cyrillic product names, accented hosts entries), in any code page.
bool EchoToConsoleWindow(const wchar_t* text, int length)
{
    const HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (standardError == nullptr || standardError == INVALID_HANDLE_VALUE || !GetConsoleMode(standardError, &mode))
        return false;
    // A hosts file shown whole can be megabytes: the text goes in pieces.
    for (int done = 0; done < length;) {
        const int piece = ConsolePieceChars(text + done, length - done);
        DWORD written = 0;
        if (!WriteConsoleW(standardError, text + done, static_cast<DWORD>(piece), &written, nullptr) || written == 0)
            return done > 0;  // what the console shows already is not shown twice
        done += static_cast<int>(written);
    }
    return true;
}

// A redirected standard error gets bytes through the C runtime. Its text
// mode turns every '\n' into "\r\n", so the "\r\n" pairs of the messages
// are handed over as '\n'; characters the "C" locale cannot convert would
// end the whole echo, so they show as '?'.
void EchoToConsole(wchar_t* text, int length)
{
    if (EchoToConsoleWindow(text, length))
        return;
    int out = 0;
    for (int in = 0; in < length; ++in) {
        wchar_t ch = text[in];
        if (ch == L'\r' && in + 1 < length && text[in + 1] == L'\n')
            continue;
        if (ch > 0xFF)
            ch = L'?';
        text[out++] = ch;
    }
    text[out] = L'\0';
    std::fputws(text, stderr);
}

bool Emit(RunLog& log, LogKind kind, bool reportWriteFailures, const wchar_t* format, va_list args);

bool EmitReport(RunLog& log, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    // A report about a failed write must not report its own failure again.
    const bool formatted = Emit(log, LogKind::Error, false, format, args);
    va_end(args);
    return formatted;
}

bool Emit(RunLog& log, LogKind kind, bool reportWriteFailures, const wchar_t* format, va_list args)
{
    va_list countArgs;
    va_copy(countArgs, args);
    const int formattedChars = _vscwprintf(format, countArgs);
    va_end(countArgs);
    if (formattedChars < 0)
        return false;

    const bool grown = EnsureCapacity(log, RequiredLogChars(kind, formattedChars));
    if (log.buffer != nullptr)
        std::memset(log.buffer, 0, static_cast<size_t>(log.capacity) * sizeof(wchar_t));
    if (!grown)
        return false;

    int prefixChars = 0;
    if (kind == LogKind::Error) {
        std::memcpy(log.buffer, kErrorPrefix, kErrorPrefixChars * sizeof(wchar_t));
        prefixChars = kErrorPrefixChars;
    } else if (kind == LogKind::Warning) {
        std::memcpy(log.buffer, kWarningPrefix, kWarningPrefixChars * sizeof(wchar_t));
        prefixChars = kWarningPrefixChars;
    }
    _vsnwprintf(log.buffer + prefixChars, static_cast<size_t>(formattedChars) + 1, format, args);
    const int textChars = prefixChars + formattedChars;

    const DWORD requestedBytes = static_cast<DWORD>(textChars) * sizeof(wchar_t);
    DWORD writtenBytes = 0;
    const BOOL wrote = WriteFile(log.file, log.buffer, requestedBytes, &writtenBytes, nullptr);
    const DWORD writeError = wrote ? ERROR_SUCCESS : GetLastError();

    // Echo before any report: the report reuses the buffer.
    if (kind != LogKind::Write)
        EchoToConsole(log.buffer, textChars);

    if (reportWriteFailures) {
        if (!wrote)
            EmitReport(log, kCannotWrite, writeError);
        else if (writtenBytes < requestedBytes)
            EmitReport(log, kShortWrite, static_cast<int>(requestedBytes), static_cast<int>(writtenBytes));
    }
    return true;
}

bool EmitToRunLog(LogKind kind, const wchar_t* format, va_list args)
{
    if (g_runLog == nullptr)
        return false;
    return Emit(*g_runLog, kind, true, format, args);
}

bool WriteBanner(RunLog& log, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool formatted = Emit(log, LogKind::Write, true, format, args);
    va_end(args);
    return formatted;
}

void WriteTimeBanner(RunLog& log, const wchar_t* format)
{
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    WriteBanner(log, format, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

// Not in the XP / Server 2003 headers; GetFileInformationByHandleEx is
// looked up at run time.
struct FileAttributeTagInformation {
    DWORD FileAttributes;
    DWORD ReparseTag;
};
constexpr int kFileAttributeTagInfoClass = 9;  // FileAttributeTagInfo

// The reparse tag of an open file that carries FILE_ATTRIBUTE_REPARSE_POINT;
// false when it cannot be read.
bool ReadReparseTag(HANDLE file, DWORD* reparseTag)
{
    using GetFileInformationByHandleExFunction = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    const auto getFileInformationByHandleEx = FindSystemFunction<GetFileInformationByHandleExFunction>(
        L"kernel32.dll", "GetFileInformationByHandleEx");
    if (getFileInformationByHandleEx != nullptr) {
        FileAttributeTagInformation information = {};
        if (!getFileInformationByHandleEx(file, kFileAttributeTagInfoClass, &information, sizeof(information)))
            return false;
        *reparseTag = information.ReparseTag;
        return true;
    }
    // XP and Server 2003: the reparse data itself starts with its tag.
    const ScopedHeapBlock<BYTE> data = ZeroedBlock<BYTE>(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    if (!data)
        return false;
    DWORD returned = 0;
    if (!DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.get(), MAXIMUM_REPARSE_DATA_BUFFER_SIZE,
                         &returned, nullptr) ||
        returned < sizeof(DWORD))
        return false;
    std::memcpy(reparseTag, data.get(), sizeof(DWORD));
    return true;
}

bool IsPlainDiskFile(HANDLE file)
{
    LogFileFacts facts = {};
    facts.fileType = GetFileType(file);
    BY_HANDLE_FILE_INFORMATION information = {};
    if (facts.fileType != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information))
        return false;
    facts.attributes = information.dwFileAttributes;
    facts.numberOfLinks = information.nNumberOfLinks;
    if ((facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !ReadReparseTag(file, &facts.reparseTag))
        return false;
    return IsAcceptableLogFile(facts);
}

}  // namespace

RunLog::~RunLog()
{
    std::free(buffer);
}

bool IsAcceptableLogFile(const LogFileFacts& facts)
{
    if (facts.fileType != FILE_TYPE_DISK || (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    // Some file systems report no link count at all.
    if (facts.numberOfLinks > 1)
        return false;
    // Deduplicated files and cloud placeholders are reparse points too, but
    // they keep their data where they are; links and junctions send it away.
    return (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || !IsReparseTagNameSurrogate(facts.reparseTag);
}

int ConsolePieceChars(const wchar_t* text, int remainingChars)
{
    int piece = remainingChars < kConsolePieceChars ? remainingChars : kConsolePieceChars;
    if (piece > 1 && IS_HIGH_SURROGATE(text[piece - 1]))
        --piece;
    return piece;
}

int RequiredLogChars(LogKind kind, int formattedChars)
{
    switch (kind) {
    case LogKind::Error:
        return formattedChars + kErrorPrefixChars + 2;
    case LogKind::Warning:
        return formattedChars + kWarningPrefixChars + 2;
    case LogKind::Print:
    case LogKind::Write:
        break;
    }
    return formattedChars + 1;
}

bool BuildLogFileName(const wchar_t* programPath, wchar_t** logFileName)
{
    *logFileName = nullptr;
    const size_t pathChars = std::wcslen(programPath);
    if (pathChars > SIZE_MAX / sizeof(wchar_t) - 6)
        return false;
    wchar_t* name = static_cast<wchar_t*>(std::calloc(pathChars + 6, sizeof(wchar_t)));
    if (name == nullptr)
        return false;
    std::memcpy(name, programPath, pathChars * sizeof(wchar_t));
    // Only a '.' of the file name counts: "C:\my.tools\diag" logs to
    // "C:\my.tools\diag.txt", not to "C:\my.txt".
    wchar_t* fileName = name;
    for (wchar_t* at = name; *at != L'\0'; ++at) {
        if (*at == L'\\' || *at == L'/' || *at == L':')
            fileName = at + 1;
    }
    wchar_t* extension = std::wcsrchr(fileName, L'.');
    if (extension == nullptr)
        extension = name + pathChars;
    std::memcpy(extension, L".txt", 5 * sizeof(wchar_t));
    *logFileName = name;
    return true;
}

bool OpenRunLogBesideProgram()
{
    // argv[0] is the command as typed ("zemlodiag" at a prompt, or
    // "..\zd\zemlodiag"), not a path: the module knows where it is. Its path
    // can exceed MAX_PATH, and XP truncates without a terminator or an error.
    for (DWORD capacity = MAX_PATH; capacity <= 0x10000; capacity *= 2) {
        const ScopedHeapBlock<wchar_t> path = ZeroedBlock<wchar_t>(capacity + 1);
        if (!path) {
            std::fputws(L"Fatal error: Out of memory", stdout);
            return false;
        }
        const DWORD pathChars = GetModuleFileNameW(nullptr, path.get(), capacity);
        if (pathChars > 0 && pathChars < capacity)
            return OpenRunLog(path.get());
        if (pathChars == 0)
            break;
    }
    std::fputws(L"Fatal error: While creating log file.", stdout);
    return false;
}

bool OpenRunLog(const wchar_t* programPath, const LogFileCalls& calls)
{
    if (programPath == nullptr)
        return false;

    wchar_t* logFileName = nullptr;
    if (!BuildLogFileName(programPath, &logFileName)) {
        std::fputws(L"Fatal error: Out of memory", stdout);
        return false;
    }

    RunLog* log = new (std::nothrow) RunLog;
    if (log == nullptr) {
        std::free(logFileName);
        std::fputws(L"Fatal error: Out of memory", stdout);
        return false;
    }
    // The program runs elevated in a folder that an unprivileged user may
    // write to: a link planted under the log's name must not be followed.
    log->file = calls.createFile(logFileName, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    std::free(logFileName);
    if (log->file != INVALID_HANDLE_VALUE && !IsPlainDiskFile(log->file)) {
        CloseHandle(log->file);
        log->file = INVALID_HANDLE_VALUE;
    }
    if (log->file == INVALID_HANDLE_VALUE) {
        delete log;
        std::fputws(L"Fatal error: While creating log file.", stdout);
        return false;
    }

    if (SetFilePointer(log->file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER)
        EmitReport(*log, kCannotSetFilePointer, GetLastError());

    if (GetFileSize(log->file, nullptr) == 0) {
        static const BYTE byteOrderMark[] = {0xFF, 0xFE};
        DWORD written = 0;
        if (!WriteFile(log->file, byteOrderMark, sizeof(byteOrderMark), &written, nullptr))
            EmitReport(*log, kCannotWrite, GetLastError());
        else if (written < sizeof(byteOrderMark))
            EmitReport(*log, kShortWrite, static_cast<int>(sizeof(byteOrderMark)), static_cast<int>(written));
    }

    WriteTimeBanner(*log, kStartBanner);
    g_runLog = log;
    return true;
}

void CloseRunLog()
{
    RunLog* log = g_runLog;
    if (log == nullptr)
        return;
    WriteTimeBanner(*log, kEndBanner);
    if (log->file != INVALID_HANDLE_VALUE) {
        if (!CloseHandle(log->file))
            LogError(kCannotCloseFile);
        else
            log->file = INVALID_HANDLE_VALUE;
    }
}

void DestroyRunLog()
{
    delete g_runLog;
    g_runLog = nullptr;
}

#define ZEMLO_DEFINE_LOG_OPERATION(name, kind)         \
    bool name(const wchar_t* format, ...)              \
    {                                                  \
        va_list args;                                  \
        va_start(args, format);                        \
        const bool formatted = EmitToRunLog(kind, format, args); \
        va_end(args);                                  \
        return formatted;                              \
    }

ZEMLO_DEFINE_LOG_OPERATION(LogPrint, LogKind::Print)
ZEMLO_DEFINE_LOG_OPERATION(LogError, LogKind::Error)
ZEMLO_DEFINE_LOG_OPERATION(LogWarning, LogKind::Warning)
ZEMLO_DEFINE_LOG_OPERATION(LogWrite, LogKind::Write)
