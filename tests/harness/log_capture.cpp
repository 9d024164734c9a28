#include "tests/harness/log_capture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "log/run_log.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

CapturedRunLog::CapturedRunLog()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    programPath_ = std::wstring(temp) + L"captured-run-log.exe";
    logPath_ = std::wstring(temp) + L"captured-run-log.txt";
    DeleteFileW(logPath_.c_str());
    if (g_runLog != nullptr) {
        ADD_FAILURE() << "another run log is still open";
        return;
    }
    if (!OpenRunLog(programPath_.c_str()))
        ADD_FAILURE() << "OpenRunLog failed";
}

CapturedRunLog::~CapturedRunLog()
{
    if (g_runLog != nullptr) {
        CloseRunLog();
        DestroyRunLog();
    }
    DeleteFileW(logPath_.c_str());
}

bool CapturedRunLog::IsOpen() const
{
    return g_runLog != nullptr;
}

std::wstring CapturedRunLog::Text()
{
    if (g_runLog == nullptr) {
        ADD_FAILURE() << "the run log is not open";
        return std::wstring();
    }
    CloseRunLog();
    DestroyRunLog();
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(logPath_, &bytes));
    // Only the banners go; every other time line stays as printed.
    return WithoutBanners(Utf16LeToWide(bytes));
}
