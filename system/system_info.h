#pragma once

#include <windows.h>

// The report's opening lines: the OS version as the kernel reports it, the
// native processor architecture and the Windows build strings.
void PrintSystemInfo();
// The installed security product's type, version and language.
void PrintProductInfo();

// The OS version line, and the platform error when the platform is not NT.
void ReportOsVersion(const RTL_OSVERSIONINFOEXW& version);
// The architecture text that opens the build strings' line.
void ReportProcessorArchitecture(WORD processorArchitecture);
