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

// Builds the log file name from argv[0], opens or creates the file and writes
// the start banner. On failure a fatal text is on standard output.
bool OpenRunLog(const wchar_t* programPath);
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
// whole path replaced by ".txt". False (and no name) when the path has no '.'.
// Exposed so that tests can pin the rule without running the program.
bool BuildLogFileName(const wchar_t* programPath, wchar_t** logFileName);

// Characters a message of formatted length `formattedChars` needs in the
// buffer, prefix, terminator and spare included.
enum class LogKind { Print, Error, Warning, Write };
int RequiredLogChars(LogKind kind, int formattedChars);
