// The program runs elevated from folders any user can write to: DLLs planted
// beside it under the names of the system DLLs it loads must stay unused.

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

#ifndef ZEMLO_PLANTED_DLL_UNIX_PATH
#error "ZEMLO_PLANTED_DLL_UNIX_PATH names the planted test DLL"
#endif

namespace {

bool Exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

TEST(DllPlanting, Ws2_32BesideTheProgramIsNotLoaded)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const std::wstring planted = UnixToWindowsPath(ZEMLO_PLANTED_DLL_UNIX_PATH);
    // Only ws2_32: under Wine its own crypto provider imports crypt32 by name
    // from wherever the default search finds it, ignoring the process's
    // default DLL directories, so a planted crypt32 cannot be judged here.
    ASSERT_TRUE(CopyFileW(planted.c_str(), (product.Folder() + L"\\ws2_32.dll").c_str(), FALSE)) << GetLastError();

    // The planted DLL does announce itself when something loads it (under a
    // name of its own: this test process has the real ws2_32 loaded already).
    const std::wstring controlPath = product.Folder() + L"\\planted-control.dll";
    ASSERT_TRUE(CopyFileW(planted.c_str(), controlPath.c_str(), FALSE));
    const HMODULE control = LoadLibraryW(controlPath.c_str());
    ASSERT_NE(control, nullptr) << GetLastError();
    FreeLibrary(control);
    EXPECT_TRUE(Exists(L"C:\\planted-loaded-planted-control.dll.txt"));

    // Wine itself takes a DLL from the program's folder, as Windows does,
    // only when told to prefer native DLLs over its own.
    ASSERT_TRUE(SeedRegString(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\zemlodiag.exe\\DllOverrides",
                              L"ws2_32", L"native,builtin"));
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_FALSE(Exists(L"C:\\planted-loaded-ws2_32.dll.txt"));
    // The real DLLs did their work.
    EXPECT_NE(run.logText.find(L"\r\n\r\nGetAddrInfoW response test:error: \r\nerror: GetAddrInfoW failed"),
              std::wstring::npos)
        << Printable(run.logText);
    EXPECT_NE(run.logText.find(L"\r\n\r\nVerify chain test: [LocalMachine]error: \r\nProblem detected!"),
              std::wstring::npos);
}

}  // namespace
