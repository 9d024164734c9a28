#pragma once

#include <windows.h>

// ntdll's RtlGetVersion: the version the kernel reports, which compatibility
// shims of GetVersionEx do not alter.
using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOEXW* version);

// Looks the function up in the loaded ntdll; null when it is not there.
RtlGetVersionFn FindRtlGetVersion();

// Zero-fills `version`, sets its size and calls `rtlGetVersion`; true on
// STATUS_SUCCESS.
bool QueryOsVersion(RtlGetVersionFn rtlGetVersion, RTL_OSVERSIONINFOEXW* version);
