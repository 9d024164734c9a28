#pragma once

// Functions that later Windows versions added to a system DLL are looked up
// at run time: importing them would keep the program from starting on the
// older systems it supports.

#include <windows.h>

// The export `name` of the already loaded system DLL `module` (kernel32.dll,
// ntdll.dll) as a `Function` pointer; null when either is not there. Loads
// nothing.
template <typename Function>
Function FindSystemFunction(const wchar_t* module, const char* name)
{
    const HMODULE loaded = GetModuleHandleW(module);
    if (loaded == nullptr)
        return nullptr;
    // Through void*: FARPROC has no parameters, the real function has its own.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
}
