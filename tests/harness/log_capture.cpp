#include "tests/harness/log_capture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "log/run_log.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

CapturedLog::CapturedLog()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    programPath_ = std::wstring(temp) + L"captured-log.exe";
    logPath_ = std::wstring(temp) + L"captured-log.txt";
    DeleteFileW(logPath_.c_str());
    if (g_runLog != nullptr) {
        ADD_FAILURE() << "another run log is still open";
        return;
    }
    open_ = OpenRunLog(programPath_.c_str());
    if (!open_)
        ADD_FAILURE() << "OpenRunLog failed";
}

CapturedLog::~CapturedLog()
{
    if (open_) {
        CloseRunLog();
        DestroyRunLog();
    }
    DeleteFileW(logPath_.c_str());
}

std::wstring CapturedLog::Take()
{
    if (!open_)
        return std::wstring();
    CloseRunLog();
    DestroyRunLog();
    open_ = false;
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(logPath_, &bytes));
    const std::wstring text = Utf16LeToWide(bytes);
    // Masking keeps every position, so the banners are found in the masked
    // text and the body is cut from the real one.
    const std::wstring masked = MaskTimes(text);
    const std::wstring start = kMaskedStartBanner;
    const size_t begin = masked.find(start);
    const size_t end = masked.rfind(kMaskedEndBanner);
    if (begin == std::wstring::npos || end == std::wstring::npos || end < begin + start.size()) {
        ADD_FAILURE() << "no banners in " << Printable(text);
        return std::wstring();
    }
    return text.substr(begin + start.size(), end - begin - start.size());
}
