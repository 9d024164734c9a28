#include "app/diagnostic_run.h"

#include <conio.h>

#include "app/local_system.h"
#include "log/run_log.h"
#include "network/hosts_file.h"
#include "network/name_resolution.h"
#include "network/proxy_settings.h"
#include "system/root_auto_update.h"
#include "system/sha2_support.h"
#include "system/system_info.h"
#include "system/system_time.h"

namespace {

constexpr wchar_t kPrompt[] = L"\r\n\r\nPress any key to quit...";

void PromptAndClose(bool isLocalSystem)
{
    LogPrint(kPrompt);
    // LocalSystem has no interactive user to press a key.
    if (!isLocalSystem)
        _getch();
    CloseRunLog();
    DestroyRunLog();
}

}  // namespace

void RunTestSequence()
{
    PrintSystemInfo();
    PrintProductInfo();
    CheckSystemTime();
    CheckSha2Support();
    CheckRootAutoUpdate();
    CheckProxySettings();
    CheckHostsFile();
    CheckNameResolution();
}

int RunDiagnostics(int argc, const wchar_t* const* argv)
{
    if (!OpenRunLog(argc > 0 ? argv[0] : nullptr))
        return 1;

    const bool isLocalSystem = IsLocalSystemAccount();
    if (isLocalSystem)
        LogPrint(L"User: NT AUTHORITY\\SYSTEM\r\n");

    RunTestSequence();
    PromptAndClose(isLocalSystem);
    return 0;
}
