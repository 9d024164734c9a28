#pragma once

#include <windows.h>

// Owner of one Win32 file handle; INVALID_HANDLE_VALUE when it owns nothing.
// A failed close is reported and the handle kept, so the owner tries again
// when it is destroyed.
class ScopedFileHandle {
public:
    ScopedFileHandle() = default;
    explicit ScopedFileHandle(HANDLE handle) : handle_(handle) {}
    ScopedFileHandle(const ScopedFileHandle&) = delete;
    ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;
    ScopedFileHandle(ScopedFileHandle&& other) noexcept : handle_(other.handle_)
    {
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    ScopedFileHandle& operator=(ScopedFileHandle&& other) noexcept;
    ~ScopedFileHandle() { Close(); }

    // True when nothing is held any more.
    bool Close();
    HANDLE get() const { return handle_; }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The "hosts test" section: the hosts file searched for the service host and
// the vendor's domains.
void CheckHostsFile();

// One ReadFile of `size` bytes into `buffer`; a failure or a short read is
// reported with its specific error and gives false.
bool ReadHostsBytes(HANDLE file, char* buffer, DWORD size);

// The searches and their findings over the file's bytes. `contents` and
// `searchCopy` both hold size + 1 bytes and end in a zero byte; the copy is
// overwritten with the lower-cased contents.
void ReportHostsMentions(const char* contents, char* searchCopy, DWORD size);
