#pragma once

// Blocks of the C runtime's heap under the one owner template, zero-filled
// when they come from ZeroedBlock.

#include <cstddef>
#include <cstdlib>

#include "base/unique_resource.h"

template <typename T>
struct HeapBlockFree : NullIsEmpty<T*> {
    static bool Close(T* block)
    {
        std::free(block);
        return true;
    }
};

template <typename T>
using ScopedHeapBlock = UniqueResource<HeapBlockFree<T>>;

// `count` zero-filled elements from the C runtime's heap; empty when the
// memory cannot be had (also when count * sizeof(T) overflows).
template <typename T>
ScopedHeapBlock<T> ZeroedBlock(std::size_t count)
{
    return ScopedHeapBlock<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}
