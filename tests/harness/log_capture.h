#pragma once

// The real run log of the test process, opened on a throwaway file, for unit
// tests of code that reports through LogPrint and friends.

#include <string>

class CapturedRunLog {
public:
    // Opens the log as if the program were "<temp>\<name>.exe"; a log left
    // from earlier is removed first. Check opened() before use.
    explicit CapturedRunLog(const std::wstring& name = L"captured-run-log");
    CapturedRunLog(const CapturedRunLog&) = delete;
    CapturedRunLog& operator=(const CapturedRunLog&) = delete;
    ~CapturedRunLog();

    bool opened() const { return opened_; }
    // Closes the log and gives what was written between the two banners.
    // The log can be read once.
    std::wstring TakeBody();

private:
    void Close();

    std::wstring logPath_;
    bool opened_ = false;
};
