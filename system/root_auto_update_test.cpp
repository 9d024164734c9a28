// The Vista probe with a kernel function the test scripts, and the policy test
// on a system whose version cannot be found.

#include "system/root_auto_update.h"

#include <gtest/gtest.h>

#include "tests/harness/log_capture.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

namespace {

struct ScriptedKernel {
    DWORD major = 0;
    DWORD minor = 0;
    LONG status = 0;
    int lookups = 0;
};
ScriptedKernel g_kernel;

LONG WINAPI ScriptedRtlGetVersion(RTL_OSVERSIONINFOEXW* version)
{
    if (version->dwOSVersionInfoSize != sizeof(*version) || version->dwMajorVersion != 0)
        return static_cast<LONG>(0xC000000D);  // STATUS_INVALID_PARAMETER: the record was not prepared
    version->dwMajorVersion = g_kernel.major;
    version->dwMinorVersion = g_kernel.minor;
    return g_kernel.status;
}

RtlGetVersionFn LookupScripted()
{
    ++g_kernel.lookups;
    return ScriptedRtlGetVersion;
}

RtlGetVersionFn LookupNothing()
{
    ++g_kernel.lookups;
    return nullptr;
}

TEST(VistaProbe, MajorVersionSixOrMoreAndOneLookupPerRun)
{
    g_kernel = ScriptedKernel();
    VistaProbe probe(LookupScripted);
    const struct {
        DWORD major;
        DWORD minor;
        LONG status;
        bool vistaOrLater;
    } cases[] = {
        {6, 0, 0, true},
        {5, 2, 0, false},
        {10, 0, 0, true},
        {5, 1, 0, false},
        {6, 1, 0, true},
        {6, 0, static_cast<LONG>(0xC0000001), false},  // the call fails
        {4, 10, 0, false},
    };
    for (const auto& c : cases) {
        g_kernel.major = c.major;
        g_kernel.minor = c.minor;
        g_kernel.status = c.status;
        EXPECT_EQ(probe.IsVistaOrLater(), c.vistaOrLater) << c.major << "." << c.minor << " status " << c.status;
    }
    EXPECT_EQ(g_kernel.lookups, 1);
}

TEST(VistaProbe, LookupThatFoundNothingIsNotRepeated)
{
    g_kernel = ScriptedKernel();
    VistaProbe probe(LookupNothing);
    EXPECT_FALSE(probe.IsVistaOrLater());
    EXPECT_FALSE(probe.IsVistaOrLater());
    EXPECT_EQ(g_kernel.lookups, 1);
}

// Without a version the system counts as older than Vista in both places: the
// setup component is checked and a missing policy key passes in silence.
TEST(RootAutoUpdate, UnknownVersionIsTreatedAsOlderThanVista)
{
    const std::wstring setupKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents";
    const std::wstring policyKey = L"SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot";
    ASSERT_TRUE(SeedRegDword(HKEY_LOCAL_MACHINE, setupKey, L"rootautoupdate", 1));
    ASSERT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, policyKey));
    g_kernel = ScriptedKernel();
    VistaProbe probe(LookupNothing);
    std::wstring section;
    {
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        CheckRootAutoUpdate(probe);
        section = log.Text();
    }
    EXPECT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, setupKey));
    EXPECT_EQ(section,
              L"\r\n\r\nTrusted store auto update configuration:"
              L"\r\nSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents\\rootautoupdate "
              L"is enabled - OK")
        << Printable(section);
    EXPECT_EQ(g_kernel.lookups, 1);
}

}  // namespace
