#include "system/root_auto_update.h"

#include "log/run_log.h"
#include "registry/registry_readers.h"

namespace {

constexpr wchar_t kSetupComponentsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents";
constexpr wchar_t kAuthRootPolicyKey[] = L"SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot";

void CheckSetupComponent()
{
    ScopedRegKey key;
    // Registry calls answer with their status; the thread's last error is not theirs.
    const LSTATUS openStatus = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSetupComponentsKey, 0, kRegistryReadAccess,
                                             key.put());
    if (openStatus != ERROR_SUCCESS) {
        LogError(L"\r\nError: Cannot open key "
                 L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents [gle:0x%08x]",
                 static_cast<unsigned>(openStatus));
        return;
    }
    DWORD rootAutoUpdate = 0xFFFFFFFF;
    if (!ReadRegDword(key.get(), L"rootautoupdate", &rootAutoUpdate)) {
        LogWarning(L"\r\nSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
                   L"\\rootautoupdate does not not exists - Warning");
    } else if (rootAutoUpdate == 1) {
        LogPrint(L"\r\nSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
                 L"\\rootautoupdate is enabled - OK");
    } else {
        LogError(L"\r\nError: SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
                 L"\\rootautoupdate [0x%08x] disables certificate auto update",
                 static_cast<unsigned>(rootAutoUpdate));
        LogError(L"\r\n Try to enable 'Update Root Certificates' component in\r\n"
                 L"\t Control Panel > Add Or Remove Programs > Add/Remove Windows Components'");
    }
}

void CheckAuthRootPolicy(VistaProbe& probe)
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAuthRootPolicyKey, 0, kRegistryReadAccess, key.put()) != ERROR_SUCCESS) {
        // No policy is the normal case; older systems are not told so.
        if (probe.IsVistaOrLater())
            LogPrint(L"\r\nInfo: Key SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot does not exists. - OK");
        return;
    }
    DWORD disableRootAutoUpdate = 0xFFFFFFFF;
    if (!ReadRegDword(key.get(), L"DisableRootAutoUpdate", &disableRootAutoUpdate)) {
        LogPrint(L"\r\nSOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate "
                 L"does not not exists - OK");
    } else if (disableRootAutoUpdate == 0) {
        LogPrint(L"\r\nSOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate "
                 L"does not disables certificate auto update - OK");
    } else {
        LogError(L"\r\nError: SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate "
                 L"[0x%08x] disables certificate auto update",
                 static_cast<unsigned>(disableRootAutoUpdate));
    }
}

VistaProbe& RunVistaProbe()
{
    static VistaProbe probe(FindRtlGetVersion);
    return probe;
}

}  // namespace

bool VistaProbe::IsVistaOrLater()
{
    if (!lookedUp_) {
        lookedUp_ = true;
        rtlGetVersion_ = lookup_();
    }
    if (rtlGetVersion_ == nullptr)
        return false;
    RTL_OSVERSIONINFOEXW version;
    if (!QueryOsVersion(rtlGetVersion_, &version))
        return false;
    return version.dwMajorVersion >= 6;
}

bool IsVistaOrLater()
{
    return RunVistaProbe().IsVistaOrLater();
}

void CheckRootAutoUpdate()
{
    CheckRootAutoUpdate(RunVistaProbe());
}

void CheckRootAutoUpdate(VistaProbe& probe)
{
    LogPrint(L"\r\n\r\nTrusted store auto update configuration:");
    if (!probe.IsVistaOrLater())
        CheckSetupComponent();
    CheckAuthRootPolicy(probe);
}
