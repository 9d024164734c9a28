#pragma once

#include <windows.h>

#include <cstddef>

// One row of a table that turns a code of the platform into the text the
// report prints for it. Tables are ordered: the first matching row wins.
struct CodeText {
    DWORD code;
    const wchar_t* text;
};

// The text of the first row whose code equals `code`; null when none does.
template <std::size_t Rows>
constexpr const wchar_t* FindCodeText(const CodeText (&table)[Rows], DWORD code)
{
    for (const CodeText& row : table) {
        if (row.code == code)
            return row.text;
    }
    return nullptr;
}
