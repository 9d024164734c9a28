// The program's own nothrow operator new: a heap that refuses must give null,
// so that the caller prints "Fatal error: Out of memory", not end the process.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <new>

namespace {

TEST(ProgramAllocation, NothrowNewGivesNullWhenTheHeapRefuses)
{
    const std::size_t beyondAnyHeap = PTRDIFF_MAX;
    EXPECT_EQ(::operator new(beyondAnyHeap, std::nothrow), nullptr);
    EXPECT_EQ(::operator new[](beyondAnyHeap, std::nothrow), nullptr);

    void* block = ::operator new(64, std::nothrow);
    ASSERT_NE(block, nullptr);
    ::operator delete(block);
    // Zero bytes is a request like any other: a unique block, not null.
    void* empty = ::operator new(0, std::nothrow);
    EXPECT_NE(empty, nullptr);
    ::operator delete(empty);
}

}  // namespace
