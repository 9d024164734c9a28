#pragma once

// A run log of the test's own, so that a reporting routine can be called
// directly and exactly what it wrote read back.

#include <string>

class CapturedRunLog {
public:
    // Opens a fresh log in the prefix's temp folder; failures go to GoogleTest.
    CapturedRunLog();
    CapturedRunLog(const CapturedRunLog&) = delete;
    CapturedRunLog& operator=(const CapturedRunLog&) = delete;
    ~CapturedRunLog();

    bool IsOpen() const;
    // Closes the log and gives what was written between its two banners,
    // exactly as stored.
    std::wstring Text();

private:
    std::wstring programPath_;
    std::wstring logPath_;
};
