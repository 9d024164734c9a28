// The owner against real kernel handles: what its release leaves behind.

#include "base/kernel_handles.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// Code reads GetLastError after a failing call and may release owners in
// between (a reset, the end of a scope): the release must leave that call's
// cause in place, even when the release itself fails with an error of its own.
TEST(UniqueResource, ReleaseKeepsTheLastError)
{
    constexpr DWORD kCause = 0x20005A5A;  // an application's own code
    using Owner = UniqueResource<KernelHandleClose>;
    struct Case {
        const char* name;
        void (*release)(Owner& owner);
    };
    static const Case cases[] = {
        {"Close()", [](Owner& owner) { owner.Close(); }},
        {"reset()", [](Owner& owner) { owner.reset(); }},
        {"move assignment", [](Owner& owner) { owner = Owner(); }},
        {"end of scope", [](Owner& owner) { Owner ending(std::move(owner)); }},
    };
    for (const Case& c : cases) {
        // A stale handle: closing it fails and sets an error of its own.
        const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr) << GetLastError();
        ASSERT_TRUE(CloseHandle(event));
        SetLastError(kCause);
        ASSERT_FALSE(CloseHandle(event));
        ASSERT_NE(GetLastError(), kCause);

        Owner owner(event);
        SetLastError(kCause);
        c.release(owner);
        EXPECT_EQ(GetLastError(), kCause) << c.name;
        EXPECT_FALSE(static_cast<bool>(owner)) << c.name;
    }
}

}  // namespace
