#include "network/proxy_settings.h"

#include <cstdint>

#include "base/heap_block.h"
#include "base/security_handles.h"
#include "log/report_texts.h"
#include "log/run_log.h"
#include "registry/registry_readers.h"

namespace {

constexpr wchar_t kInternetSettings[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kPolicyInternetSettings[] =
    L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct ProxyPlace {
    HKEY root;
    const wchar_t* subKey;
    bool reportOpenFailure;
};

// The order of the report.
const ProxyPlace kProxyPlaces[] = {
    {HKEY_LOCAL_MACHINE, kInternetSettings, true},
    {HKEY_LOCAL_MACHINE, kPolicyInternetSettings, false},
    {HKEY_CURRENT_USER, kInternetSettings, true},
    {HKEY_USERS, kLocalSystemSettingsKey, true},
};

const wchar_t* RootPrefix(HKEY root)
{
    if (root == HKEY_USERS)
        return kUsersRootPrefix;
    if (root == HKEY_CURRENT_USER)
        return kCurrentUserRootPrefix;
    return kMachineRootPrefix;
}

struct StringValue {
    ScopedHeapBlock<wchar_t> text;  // zero-terminated when read
    bool read = false;
};

// The value by the two-call size protocol. No buffer for a missing value, a
// value of another type, one stored without data, or when memory runs out.
StringValue ReadProxyString(HKEY key, const wchar_t* valueName)
{
    StringValue value;
    DWORD lengthChars = 0;
    ReadRegString(key, valueName, nullptr, 0, &lengthChars);
    if (lengthChars == 0)
        return value;
    // One more character, zero, terminates data stored without a terminator.
    value.text = ZeroedBlock<wchar_t>(static_cast<size_t>(lengthChars) + 1);
    if (!value.text)
        return value;
    value.read = ReadRegString(key, valueName, value.text.get(), lengthChars, nullptr);
    return value;
}

}  // namespace

bool ReportProxyKey(HKEY root, const wchar_t* subKey, bool reportOpenFailure)
{
    const wchar_t* prefix = RootPrefix(root);
    ScopedRegKey key;
    const LSTATUS openStatus = RegOpenKeyExW(root, subKey, 0, kRegistryReadAccess, key.put());
    if (openStatus != ERROR_SUCCESS) {
        // The registry returns its error instead of setting the thread's last error.
        if (reportOpenFailure)
            LogError(kProxyOpenError, subKey, static_cast<unsigned>(openStatus));
        return false;
    }

    bool reported = false;
    DWORD number = 0xFFFFFFFF;
    if (ReadRegDword(key.get(), L"ProxyEnable", &number) && number != 0) {
        LogWarning(kProxyEnabled, prefix, subKey, static_cast<int>(number));
        reported = true;
    }

    number = 0xFFFFFFFF;
    if (ReadRegDword(key.get(), L"ProxySettingsPerUser", &number)) {
        LogPrint(kProxyPerUser, prefix, subKey,
                 static_cast<int>(number), number == 0 ? kProxyAdministered : L"");
    }

    const StringValue server = ReadProxyString(key.get(), L"ProxyServer");
    if (server.read) {
        if (reported)
            LogPrint(kProxyServerContinued, server.text.get());
        else
            LogPrint(kProxyServerFirst, kProxyInfoLabel, prefix, subKey, server.text.get());
        reported = true;
    }

    const StringValue bypass = ReadProxyString(key.get(), L"ProxyOverride");
    if (bypass.read) {
        if (reported)
            LogPrint(kProxyOverrideContinued, bypass.text.get());
        else
            LogPrint(kProxyOverrideFirst, kProxyInfoLabel, prefix, subKey,
                     bypass.text.get());
    }
    // Unlike the server, a bypass list counts once it was there to be read.
    if (bypass.text)
        reported = true;
    return reported;
}

void CheckProxySettings()
{
    LogPrint(kProxyTitle);
    bool anyFinding = false;
    for (const ProxyPlace& place : kProxyPlaces) {
        if (ReportProxyKey(place.root, place.subKey, place.reportOpenFailure))
            anyFinding = true;
    }
    if (!anyFinding)
        LogPrint(kOk);
}
