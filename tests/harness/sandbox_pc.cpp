// ./dev.sh run's seeding: makes the prefix one of the PCs the tests know, then
// runs the program on this console and waits for it. Staying alive while it
// runs keeps the prefix's wineserver up, so keys Wine holds only in memory
// (LocalSystem's) are still there when the program reads them.
//
// Usage: zemlo_sandbox_pc healthy|troubled PROGRAM [ARGS...]

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "certs/dev_root_cert_blob.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/pc_scenarios.h"
#include "tests/harness/product_run.h"

namespace {

DWORD RunOnThisConsole(const std::wstring& program, int argc, wchar_t** argv)
{
    std::wstring commandLine = QuoteArgument(program);
    for (int index = 0; index < argc; ++index)
        commandLine += L" " + QuoteArgument(argv[index]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD error = GetLastError();
        fwprintf(stderr, L"zemlo_sandbox_pc: cannot start %ls (error %lu)\n", program.c_str(), error);
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        fwprintf(stderr, L"usage: zemlo_sandbox_pc healthy|troubled PROGRAM [ARGS...]\n");
        return 2;
    }
    const std::wstring scenario = argv[1];
    std::unique_ptr<ScopedTrustedRoot> devRoot;
    if (scenario == L"healthy") {
        SeedHealthyPc();
        devRoot = std::make_unique<ScopedTrustedRoot>(
            StoreScope::LocalMachine,
            std::string(reinterpret_cast<const char*>(DevRootCertBlob) + 4, DevRootCertBlobLength - 4));
    } else if (scenario == L"troubled") {
        SeedTroubledPc();
    } else {
        fwprintf(stderr, L"zemlo_sandbox_pc: unknown PC %ls\n", scenario.c_str());
        return 2;
    }
    // The seeding helpers report through GoogleTest, which has printed why.
    if (::testing::Test::HasFailure() || (devRoot && !devRoot->added())) {
        fwprintf(stderr, L"zemlo_sandbox_pc: seeding the %ls PC failed\n", scenario.c_str());
        return 1;
    }
    return static_cast<int>(RunOnThisConsole(argv[2], argc - 3, argv + 3));
}
