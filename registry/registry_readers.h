#pragma once

#include <windows.h>

// Every key the program opens is read-only and in the 64-bit view, also from
// the 32-bit build on 64-bit Windows.
constexpr REGSAM kRegistryReadAccess = KEY_READ | KEY_WOW64_64KEY;

// Reads a REG_DWORD value; `out` is written only on success. The cause of a
// failure is left in the thread's last-error value.
bool ReadRegDword(HKEY key, const wchar_t* valueName, DWORD* out);

// Reads a REG_SZ or REG_EXPAND_SZ value (unexpanded) into `buffer` exactly as
// stored, without appending a terminator. `outLengthChars` (optional) receives
// the value's size in characters as soon as the type is accepted, so a call
// with no buffer and capacity 0 asks for the size.
bool ReadRegString(HKEY key, const wchar_t* valueName, wchar_t* buffer, DWORD capacityChars,
                   DWORD* outLengthChars);

// Prints "name: value" for one string value under HKEY_LOCAL_MACHINE; prints
// nothing at all when the key or value cannot be read.
void PrintRegString(const wchar_t* subKey, const wchar_t* valueName);
