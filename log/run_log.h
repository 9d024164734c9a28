#pragma once

#include <windows.h>

// The single log of a run: every finding is formatted into one reusable wide
// buffer, appended to the UTF-16 log file beside the executable and echoed to
// standard error.
struct RunLog {
    HANDLE file = INVALID_HANDLE_VALUE;
    int capacity = 0;           // characters in buffer; 0 while there is none
    wchar_t* buffer = nullptr;  // owned, grows only

    RunLog() = default;
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;
    ~RunLog();
};

// Null until OpenRunLog has succeeded; the entry point destroys the log last.
extern RunLog* g_runLog;

// The call that opens the log file. Tests put a planted link in its place:
// Wine follows a real one even when asked for the link itself.
struct LogFileCalls {
    decltype(&CreateFileW) createFile = &CreateFileW;
};

// Builds the log file name from a program path, opens or creates the file
// and writes the start banner. On failure a fatal text is on standard output.
bool OpenRunLog(const wchar_t* programPath, const LogFileCalls& calls = LogFileCalls{});
// OpenRunLog for this program's own module path, which is what the entry
// uses: argv[0] is only the command as typed.
bool OpenRunLogBesideProgram();
// Writes the end banner and closes the file.
void CloseRunLog();
// Destroys the object created by OpenRunLog and clears g_runLog.
void DestroyRunLog();

// Message operations; formats follow the MS C runtime's wide rules
// (%s and %ws wide, %S 8-bit). Each returns false only when the buffer could
// not be grown, in which case the message is dropped.
bool LogPrint(const wchar_t* format, ...);
bool LogError(const wchar_t* format, ...);
bool LogWarning(const wchar_t* format, ...);
bool LogWrite(const wchar_t* format, ...);  // file only, no console echo

// The log file name for a program path: everything from the last '.' of the
// file name replaced by ".txt", or ".txt" appended when the file name has no
// '.'. False (and no name) only when memory runs out.
bool BuildLogFileName(const wchar_t* programPath, wchar_t** logFileName);

// Consoles before Windows 8 refuse a large WriteConsoleW (their buffer comes
// from a 64 KiB shared heap), so the echo goes in pieces. A piece is at most
// kConsolePieceChars of the `remainingChars` at `text` and never ends between
// the two halves of a surrogate pair, which the console would show as two
// broken characters.
constexpr int kConsolePieceChars = 8192;
int ConsolePieceChars(const wchar_t* text, int remainingChars);

// Characters a message of formatted length `formattedChars` needs in the
// buffer, prefix, terminator and spare included.
enum class LogKind { Print, Error, Warning, Write };
int RequiredLogChars(LogKind kind, int formattedChars);

// What decides whether an opened log file may be written: a disk file that
// is not a directory, has at most one name, and is no link or junction
// (a name-surrogate reparse point) that would send the writes elsewhere.
struct LogFileFacts {
    DWORD fileType;       // GetFileType
    DWORD attributes;     // FILE_ATTRIBUTE_*
    DWORD numberOfLinks;  // 0 on file systems that do not count them
    DWORD reparseTag;     // read only when FILE_ATTRIBUTE_REPARSE_POINT is set
};
bool IsAcceptableLogFile(const LogFileFacts& facts);
