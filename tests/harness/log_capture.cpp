#include "tests/harness/log_capture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "log/run_log.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

CapturedRunLog::CapturedRunLog(const std::wstring& name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring programPath = std::wstring(temp) + name + L".exe";
    logPath_ = std::wstring(temp) + name + L".txt";
    DeleteFileW(logPath_.c_str());
    if (g_runLog != nullptr) {
        ADD_FAILURE() << "a run log is already open";
        return;
    }
    opened_ = OpenRunLog(programPath.c_str());
    if (!opened_)
        ADD_FAILURE() << "OpenRunLog failed";
}

CapturedRunLog::~CapturedRunLog()
{
    Close();
    DeleteFileW(logPath_.c_str());
}

void CapturedRunLog::Close()
{
    if (opened_) {
        CloseRunLog();
        DestroyRunLog();
        opened_ = false;
    }
}

std::wstring CapturedRunLog::TakeBody()
{
    if (!opened_) {
        ADD_FAILURE() << "the run log is not open";
        return std::wstring();
    }
    Close();
    std::string bytes;
    if (!ReadWholeFile(logPath_, &bytes)) {
        ADD_FAILURE() << "cannot read the run log";
        return std::wstring();
    }
    return ReportBody(Utf16LeToWide(bytes));
}
