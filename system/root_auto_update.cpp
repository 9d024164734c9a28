#include "system/root_auto_update.h"

#include "base/security_handles.h"
#include "log/report_texts.h"
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
        LogError(kSetupKeyOpenError, static_cast<unsigned>(openStatus));
        return;
    }
    DWORD rootAutoUpdate = 0xFFFFFFFF;
    if (!ReadRegDword(key.get(), L"rootautoupdate", &rootAutoUpdate)) {
        LogWarning(kComponentMissing);
    } else if (rootAutoUpdate == 1) {
        LogPrint(kComponentEnabled);
    } else {
        LogError(kComponentDisabled, static_cast<unsigned>(rootAutoUpdate));
        LogError(kComponentHint);
    }
}

void CheckAuthRootPolicy(VistaProbe& probe)
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAuthRootPolicyKey, 0, kRegistryReadAccess, key.put()) != ERROR_SUCCESS) {
        // No policy is the normal case; older systems are not told so.
        if (probe.IsVistaOrLater())
            LogPrint(kPolicyKeyMissing);
        return;
    }
    DWORD disableRootAutoUpdate = 0xFFFFFFFF;
    if (!ReadRegDword(key.get(), L"DisableRootAutoUpdate", &disableRootAutoUpdate)) {
        LogPrint(kPolicyValueMissing);
    } else if (disableRootAutoUpdate == 0) {
        LogPrint(kPolicyAllows);
    } else {
        LogError(kPolicyDisables, static_cast<unsigned>(disableRootAutoUpdate));
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
    LogPrint(kRootUpdateTitle);
    if (!probe.IsVistaOrLater())
        CheckSetupComponent();
    CheckAuthRootPolicy(probe);
}
