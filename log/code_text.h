#pragma once

#include <cstddef>
#include <cstdint>

// One row of a table that turns a code of the platform into the text the
// report prints for it. Tables are ordered: the first matching row wins.
// Portable, so that zemlotriage reads reports with the same tables.
struct CodeText {
    std::uint32_t code;
    const wchar_t* text;
};

// The text of the first row whose code equals `code`; null when none does.
template <std::size_t Rows>
constexpr const wchar_t* FindCodeText(const CodeText (&table)[Rows], std::uint32_t code)
{
    for (const CodeText& row : table) {
        if (row.code == code)
            return row.text;
    }
    return nullptr;
}
