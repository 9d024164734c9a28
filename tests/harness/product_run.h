#pragma once

// Installing and running the real zemlodiag.exe inside the test's prefix.

#include <windows.h>

#include <string>
#include <vector>

struct ProductRun {
    bool started = false;
    bool finished = false;         // ended before the timeout
    DWORD exitCode = 0xFFFFFFFF;
    bool logExists = false;
    std::string logBytes;          // the log file as stored
    std::wstring logText;          // UTF-16LE decoded, byte-order mark included
    std::string standardOutput;    // bytes the program wrote
    std::string standardError;
};

class ProductInstall {
public:
    // The program is copied to folder\exeName; the folder is created.
    explicit ProductInstall(std::wstring folder = L"C:\\zemlodiag", std::wstring exeName = L"zemlodiag.exe");

    bool Install() const;
    ProductRun Run(const std::vector<std::wstring>& arguments = {}, DWORD timeoutMs = 120000) const;

    const std::wstring& Folder() const { return folder_; }
    std::wstring ExePath() const { return folder_ + L"\\" + exeName_; }
    // The log name the product derives: everything from the last '.' of the
    // file name replaced by ".txt", or ".txt" appended.
    std::wstring LogPath() const;

private:
    std::wstring folder_;
    std::wstring exeName_;
};

// The zemlodiag.exe under test, as built (or the one ZEMLO_PRODUCT_EXE names),
// and its linker map (Z: paths).
std::wstring ProductExePath();
std::wstring ProductLinkerMapPath();

// One command-line argument, quoted as the C runtime splits it.
std::wstring QuoteArgument(const std::wstring& argument);

// Runs a command line in the prefix with its output captured through files
// (Wine's helper processes inherit pipes, so pipes would not reach EOF).
ProductRun RunCapturing(const std::wstring& applicationPath, const std::wstring& commandLine, DWORD timeoutMs);

// Creates every missing folder of a path.
bool CreateFolderPath(const std::wstring& folder);
