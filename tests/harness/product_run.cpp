#include "tests/harness/product_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

#if !defined(ZEMLO_PRODUCT_EXE_UNIX_PATH) || !defined(ZEMLO_PRODUCT_MAP_UNIX_PATH)
#error "ZEMLO_PRODUCT_EXE_UNIX_PATH and ZEMLO_PRODUCT_MAP_UNIX_PATH name the zemlodiag.exe under test"
#endif

namespace {

HANDLE CreateCaptureFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (wchar_t ch : argument) {
        if (ch == L'"')
            quoted += L'\\';
        quoted += ch;
    }
    return quoted + L"\"";
}

std::wstring ProductExePath()
{
    // The release check puts the signed copy of this build under test.
    const char* other = std::getenv("ZEMLO_PRODUCT_EXE");
    return UnixToWindowsPath(other != nullptr && *other != '\0' ? other : ZEMLO_PRODUCT_EXE_UNIX_PATH);
}

std::wstring ProductLinkerMapPath()
{
    return UnixToWindowsPath(ZEMLO_PRODUCT_MAP_UNIX_PATH);
}

bool CreateFolderPath(const std::wstring& folder)
{
    for (size_t at = folder.find(L'\\', 3); ; at = folder.find(L'\\', at + 1)) {
        const std::wstring part = folder.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "CreateDirectoryW failed with " << GetLastError();
            return false;
        }
        if (at == std::wstring::npos)
            return true;
    }
}

ProductRun RunCapturing(const std::wstring& applicationPath, const std::wstring& commandLine, DWORD timeoutMs)
{
    ProductRun run;
    wchar_t tempFolder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tempFolder);
    const std::wstring outPath = std::wstring(tempFolder) + L"zemlo-capture-stdout.bin";
    const std::wstring errPath = std::wstring(tempFolder) + L"zemlo-capture-stderr.bin";

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr);
    const HANDLE output = CreateCaptureFile(outPath);
    const HANDLE error = CreateCaptureFile(errPath);
    if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE && error != INVALID_HANDLE_VALUE) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = error;
        PROCESS_INFORMATION process = {};
        // Under heavy load Wine now and then fails to start a process with
        // ERROR_INTERNAL_ERROR before any of its code runs; a second start
        // tells that apart from a program that cannot start.
        DWORD startError = ERROR_SUCCESS;
        for (int attempt = 0; attempt < 2 && !run.started; ++attempt) {
            std::wstring mutableCommandLine = commandLine;
            run.started = CreateProcessW(applicationPath.c_str(), &mutableCommandLine[0], nullptr, nullptr, TRUE, 0,
                                         nullptr, nullptr, &startup, &process) != FALSE;
            startError = run.started ? ERROR_SUCCESS : GetLastError();
            if (startError != ERROR_INTERNAL_ERROR)
                break;
            fprintf(stderr, "CreateProcessW failed with ERROR_INTERNAL_ERROR; starting once more\n");
            Sleep(1000);
        }
        if (!run.started) {
            ADD_FAILURE() << "CreateProcessW failed with " << startError;
        } else {
            run.finished = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
            if (!run.finished)
                TerminateProcess(process.hProcess, 0xDEAD);
            GetExitCodeProcess(process.hProcess, &run.exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    for (HANDLE handle : {input, output, error}) {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    ReadWholeFile(outPath, &run.standardOutput);
    ReadWholeFile(errPath, &run.standardError);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return run;
}

ProductInstall::ProductInstall(std::wstring folder, std::wstring exeName)
    : folder_(std::move(folder)), exeName_(std::move(exeName))
{
}

std::wstring ProductInstall::LogPath() const
{
    const size_t dot = exeName_.rfind(L'.');
    return folder_ + L"\\" + exeName_.substr(0, dot) + L".txt";
}

bool ProductInstall::Install() const
{
    if (!CreateFolderPath(folder_))
        return false;
    const std::wstring source = ProductExePath();
    if (!CopyFileW(source.c_str(), ExePath().c_str(), FALSE)) {
        ADD_FAILURE() << "copying the product failed with " << GetLastError();
        return false;
    }
    return true;
}

ProductRun ProductInstall::Run(const std::vector<std::wstring>& arguments, DWORD timeoutMs) const
{
    std::wstring commandLine = QuoteArgument(ExePath());
    for (const std::wstring& argument : arguments)
        commandLine += L" " + QuoteArgument(argument);
    ProductRun run = RunCapturing(ExePath(), commandLine, timeoutMs);
    run.logExists = ReadWholeFile(LogPath(), &run.logBytes);
    run.logText = Utf16LeToWide(run.logBytes);
    return run;
}
