#include "system/system_info.h"

#include <cwchar>

#include "log/code_text.h"
#include "log/report_texts.h"
#include "log/run_log.h"
#include "registry/registry_readers.h"
#include "system/os_version.h"

namespace {

constexpr CodeText kArchitectureNames[] = {
    {PROCESSOR_ARCHITECTURE_AMD64, L"x64"},
    {PROCESSOR_ARCHITECTURE_INTEL, L"x86"},
};

constexpr wchar_t kWindowsVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

constexpr wchar_t kProductInfoKey[] = L"SOFTWARE\\ZEMLO\\ZEMLO Security\\CurrentVersion\\Info";

const wchar_t* ProcessorArchitectureName(WORD processorArchitecture)
{
    const wchar_t* name = FindCodeText(kArchitectureNames, processorArchitecture);
    return name != nullptr ? name : kUnknownArchitecture;
}

// The separators stay even where a value cannot be read, so every report has
// the same shape.
template <size_t count>
void PrintRegStringsSeparated(const wchar_t* subKey, const wchar_t* const (&valueNames)[count])
{
    for (size_t index = 0; index < count; ++index) {
        if (index > 0)
            LogPrint(kValueSeparator);
        PrintRegString(subKey, valueNames[index]);
    }
}

}  // namespace

void ReportOsVersion(const RTL_OSVERSIONINFOEXW& version)
{
    // The service pack text is printed as a string: make sure it ends.
    constexpr size_t csdChars = sizeof(version.szCSDVersion) / sizeof(version.szCSDVersion[0]);
    wchar_t csdVersion[csdChars + 1] = {};
    std::wmemcpy(csdVersion, version.szCSDVersion, csdChars);

    LogPrint(kOsVersion,
             static_cast<unsigned>(version.dwMajorVersion), static_cast<unsigned>(version.dwMinorVersion),
             static_cast<unsigned>(version.dwBuildNumber), static_cast<unsigned>(version.wServicePackMajor),
             static_cast<unsigned>(version.wServicePackMinor), csdVersion,
             static_cast<unsigned>(version.dwPlatformId), static_cast<unsigned>(version.wProductType),
             static_cast<unsigned>(version.wSuiteMask));
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        LogError(kPlatformIdError, static_cast<unsigned>(version.dwPlatformId));
    }
}

void ReportProcessorArchitecture(WORD processorArchitecture)
{
    LogPrint(kArchitecture, ProcessorArchitectureName(processorArchitecture),
             static_cast<unsigned>(processorArchitecture));
}

void PrintSystemInfo()
{
    // Looked up afresh: this section does not share the auto-update test's lookup.
    const RtlGetVersionFn rtlGetVersion = FindRtlGetVersion();
    RTL_OSVERSIONINFOEXW version;
    if (rtlGetVersion != nullptr && QueryOsVersion(rtlGetVersion, &version))
        ReportOsVersion(version);

    SYSTEM_INFO systemInfo;
    ZeroMemory(&systemInfo, sizeof(systemInfo));
    GetNativeSystemInfo(&systemInfo);
    ReportProcessorArchitecture(systemInfo.wProcessorArchitecture);

    PrintRegStringsSeparated(kWindowsVersionKey, kWindowsBuildValues);
}

void PrintProductInfo()
{
    LogPrint(kProductLine);
    PrintRegStringsSeparated(kProductInfoKey, kProductValues);
    LogPrint(kProductLineEnd);
}
