// The reporting cores of the identity section, fed with crafted kernel records.

#include "system/system_info.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "tests/harness/log_capture.h"
#include "tests/harness/report_text.h"

namespace {

RTL_OSVERSIONINFOEXW Version(DWORD major, DWORD minor, DWORD build, DWORD platformId, const wchar_t* csd,
                             WORD servicePackMajor, WORD servicePackMinor, BYTE productType, WORD suiteMask)
{
    RTL_OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.dwBuildNumber = build;
    version.dwPlatformId = platformId;
    std::wcsncpy(version.szCSDVersion, csd, sizeof(version.szCSDVersion) / sizeof(wchar_t));
    version.wServicePackMajor = servicePackMajor;
    version.wServicePackMinor = servicePackMinor;
    version.wProductType = productType;
    version.wSuiteMask = suiteMask;
    return version;
}

TEST(OsVersionLine, FieldsInTheirFormatsAndThePlatformCheck)
{
    struct Case {
        RTL_OSVERSIONINFOEXW version;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {Version(10, 0, 19045, 2, L"", 0, 0, 1, 0x0100),
         L"OS version: 10.0.19045 (0.0) \"\", PlatformId: 2, ProductType: 0x00000001, SuiteMask: 0x00000100"},
        {Version(6, 1, 7601, 2, L"Service Pack 1", 1, 0, 3, 0x0112),
         L"OS version: 6.1.7601 (1.0) \"Service Pack 1\", PlatformId: 2, ProductType: 0x00000003, "
         L"SuiteMask: 0x00000112"},
        // Top bits set: widened without sign.
        {Version(5, 2, 3790, 2, L"Service Pack 2", 2, 0, 0xFF, 0xC000),
         L"OS version: 5.2.3790 (2.0) \"Service Pack 2\", PlatformId: 2, ProductType: 0x000000FF, "
         L"SuiteMask: 0x0000C000"},
        {Version(4, 10, 1998, 1, L" A ", 0, 0, 0, 0),
         L"OS version: 4.10.1998 (0.0) \" A \", PlatformId: 1, ProductType: 0x00000000, SuiteMask: 0x00000000"
         L"error: \r\nError: Probably application compatibility is set or inherited from parent process "
         L"(platformID = 1)\r\n"},
        {Version(6, 2, 9200, 0, L"", 0, 0, 1, 0),
         L"OS version: 6.2.9200 (0.0) \"\", PlatformId: 0, ProductType: 0x00000001, SuiteMask: 0x00000000"
         L"error: \r\nError: Probably application compatibility is set or inherited from parent process "
         L"(platformID = 0)\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version.dwMajorVersion << "."
                                        << c.version.dwMinorVersion << "." << c.version.dwBuildNumber);
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        ReportOsVersion(c.version);
        EXPECT_EQ(log.Text(), c.expected);
    }
}

TEST(OsVersionLine, ServicePackTextFillingItsWholeFieldEndsThere)
{
    RTL_OSVERSIONINFOEXW version = Version(6, 1, 7601, 2, L"", 1, 0, 1, 0);
    std::wmemset(version.szCSDVersion, L'S', sizeof(version.szCSDVersion) / sizeof(wchar_t));
    // Without a terminator the service pack numbers after the field would show.
    CapturedRunLog log;
    ASSERT_TRUE(log.IsOpen());
    ReportOsVersion(version);
    EXPECT_EQ(log.Text(), L"OS version: 6.1.7601 (1.0) \"" + std::wstring(128, L'S') +
                              L"\", PlatformId: 2, ProductType: 0x00000001, SuiteMask: 0x00000000");
}

TEST(ProcessorArchitectureLine, NamesAndNumber)
{
    struct Case {
        WORD architecture;
        const wchar_t* expected;
    };
    static const Case cases[] = {
        {PROCESSOR_ARCHITECTURE_AMD64, L"\r\nOS processor architecture: x64 (0009), "},
        {PROCESSOR_ARCHITECTURE_INTEL, L"\r\nOS processor architecture: x86 (0000), "},
        {12 /* ARM64 */, L"\r\nOS processor architecture: Unknown (000c), "},
        {PROCESSOR_ARCHITECTURE_IA64, L"\r\nOS processor architecture: Unknown (0006), "},
        {PROCESSOR_ARCHITECTURE_UNKNOWN, L"\r\nOS processor architecture: Unknown (ffff), "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "architecture " << c.architecture);
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        ReportProcessorArchitecture(c.architecture);
        EXPECT_EQ(log.Text(), c.expected);
    }
}

}  // namespace
