#pragma once

// Owners of kernel objects: handles closed with CloseHandle, and files,
// whose empty value is INVALID_HANDLE_VALUE.

#include <windows.h>

#include "base/unique_resource.h"

struct KernelHandleClose : NullIsEmpty<HANDLE> {
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};

// A file handle holds nothing as INVALID_HANDLE_VALUE. A failed close is
// reported through ReportFailure and the handle kept, so that the owner tries
// once more when it is destroyed; Close() with nothing held answers true
// ("nothing is open any more").
template <void (*ReportFailure)()>
struct ReportedFileClose {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static constexpr bool kResultWhenEmpty = true;
    static constexpr bool kKeepsOnFailure = true;
    static bool Close(HANDLE file)
    {
        if (CloseHandle(file))
            return true;
        ReportFailure();
        return false;
    }
};

using ScopedTokenHandle = UniqueResource<KernelHandleClose>;
