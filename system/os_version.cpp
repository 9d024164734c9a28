#include "system/os_version.h"

RtlGetVersionFn FindRtlGetVersion()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return nullptr;
    // Through void*: FARPROC has no parameters, the real function has one.
    return reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
}

bool QueryOsVersion(RtlGetVersionFn rtlGetVersion, RTL_OSVERSIONINFOEXW* version)
{
    ZeroMemory(version, sizeof(*version));
    version->dwOSVersionInfoSize = sizeof(*version);
    return rtlGetVersion(version) == 0;
}
