#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness/report_text.h"

TEST(FixCommandLine, OnlyTheSingleArgumentFixInAnyCaseImports)
{
    struct Case {
        std::vector<const wchar_t*> argv;
        bool imports;
    };
    const Case cases[] = {
        {{L"zemlodiag.exe"}, false},
        {{L"zemlodiag.exe", L"/fix"}, true},
        {{L"zemlodiag.exe", L"/FIX"}, true},
        {{L"zemlodiag.exe", L"/Fix"}, true},
        {{L"zemlodiag.exe", L"fix"}, false},
        {{L"zemlodiag.exe", L"-fix"}, false},
        {{L"zemlodiag.exe", L"/fix "}, false},
        {{L"zemlodiag.exe", L"/fixx"}, false},
        {{L"zemlodiag.exe", L""}, false},
        {{L"zemlodiag.exe", L"/fix", L"extra"}, false},
        {{L"zemlodiag.exe", L"extra", L"/fix"}, false},
    };
    for (const Case& c : cases) {
        std::wstring row;
        for (const wchar_t* argument : c.argv)
            row += L"[" + std::wstring(argument) + L"] ";
        EXPECT_EQ(IsFixCommandLine(static_cast<int>(c.argv.size()), c.argv.data()), c.imports) << Printable(row);
    }
}
