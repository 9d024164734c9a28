#pragma once

// GCC 12's win32-threads runtime, which the project builds with so that the
// programs need no threading DLL or Vista-only import, has no std::mutex or
// std::condition_variable. GoogleTest's Notification is built on them; this
// one is a Win32 manual-reset event. Force-included ahead of GoogleTest.
#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification()
    {
        if (event_ != nullptr)
            CloseHandle(event_);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
