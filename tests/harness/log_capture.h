#pragma once

// A real run log on a temporary file, for in-process tests of reporting code:
// whatever the code under test prints through the log ends up in Take().

#include <string>

class CapturedLog {
public:
    // Opens the log; a failure is reported to GoogleTest (IsOpen() is false).
    CapturedLog();
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    bool IsOpen() const { return open_; }
    // Closes the log and gives what was written between its two banners,
    // exactly as stored (time digits included).
    std::wstring Take();

private:
    std::wstring programPath_;
    std::wstring logPath_;
    bool open_ = false;
};
