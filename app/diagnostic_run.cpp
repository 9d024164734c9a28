#include "app/diagnostic_run.h"

#include <conio.h>

#include "app/command_line.h"
#include "app/local_system.h"
#include "certs/chain_report.h"
#include "certs/root_import.h"
#include "log/report_texts.h"
#include "log/run_log.h"
#include "network/hosts_file.h"
#include "network/name_resolution.h"
#include "network/proxy_settings.h"
#include "system/root_auto_update.h"
#include "system/sha2_support.h"
#include "system/system_info.h"
#include "system/system_time.h"

namespace {


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
    RunVerifyChainTest(false);
    RunVerifyChainTest(true);
}

int RunDiagnostics(int argc, const wchar_t* const* argv)
{
    if (!OpenRunLogBesideProgram())
        return 1;

    const bool isLocalSystem = IsLocalSystemAccount();
    if (isLocalSystem)
        LogPrint(kLocalSystemUser);

    if (IsFixCommandLine(argc, argv)) {
        // The import's own messages already explain a failure.
        if (!ImportRootCertificate()) {
            PromptAndClose(isLocalSystem);
            return 1;
        }
        LogPrint(kTestAfterImportBanner);
    }

    RunTestSequence();
    PromptAndClose(isLocalSystem);
    return 0;
}
