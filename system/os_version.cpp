#include "system/os_version.h"

#include "base/system_function.h"

RtlGetVersionFn FindRtlGetVersion()
{
    return FindSystemFunction<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
}

bool QueryOsVersion(RtlGetVersionFn rtlGetVersion, RTL_OSVERSIONINFOEXW* version)
{
    ZeroMemory(version, sizeof(*version));
    version->dwOSVersionInfoSize = sizeof(*version);
    return rtlGetVersion(version) == 0;
}
