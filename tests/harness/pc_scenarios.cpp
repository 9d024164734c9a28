#include "tests/harness/pc_scenarios.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/harness/prefix_seed.h"

namespace {

const wchar_t kAuthRootPolicyKey[] = L"SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot";
const wchar_t kProductKey[] = L"SOFTWARE\\ZEMLO\\ZEMLO Security\\CurrentVersion\\Info";
const wchar_t kSettings[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t kPolicySettings[] = L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t kLocalSystemSettings[] = L"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

}  // namespace

// A documentation address (RFC 5737): nothing answers there.
const char kHealthyServiceAddress[] = "192.0.2.10";

void SeedCleanPc()
{
    ASSERT_TRUE(SetWineWindowsVersion(L"win10"));
    ASSERT_TRUE(SeedWindowsBuildStrings(L"19041.vb_release.191206-1406",
                                        L"19041.1.amd64fre.vb_release.191206-1406", L"Windows 10 Pro"));
    ASSERT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, kProductKey));
    ASSERT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, kAuthRootPolicyKey));
    ASSERT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, kPolicySettings));
    ASSERT_TRUE(SeedUsualInternetSettingsKeys());
    ASSERT_TRUE(WriteHostsFile("127.0.0.1 localhost\r\n::1 localhost\r\n"));
}

void SeedTroubledPc()
{
    // Wine 8.0 gives its "win7" setting the server product type and
    // "win2008r2" the workstation one; the PC is a Windows 7 workstation.
    ASSERT_TRUE(SetWineWindowsVersion(L"win2008r2"));
    ASSERT_TRUE(SeedWindowsBuildStrings(L"7601.win7sp1_ldr.170913-0600",
                                        L"7601.23915.amd64fre.win7sp1_ldr.170913-0600", L"Windows 7 Professional"));
    ASSERT_TRUE(SeedProductIdentity(L"Internet Security", L"21.3.10.391", L"en-US"));
    ASSERT_TRUE(SeedRegDword(HKEY_LOCAL_MACHINE, kAuthRootPolicyKey, L"DisableRootAutoUpdate", 1));

    ASSERT_TRUE(SeedUsualInternetSettingsKeys());
    ASSERT_TRUE(SeedRegDword(HKEY_LOCAL_MACHINE, kSettings, L"ProxyEnable", 1));
    ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kSettings, L"ProxyServer", L"proxy.corp.example:8080"));
    ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kSettings, L"ProxyOverride", L"*.corp.example;<local>"));
    ASSERT_TRUE(SeedRegDword(HKEY_LOCAL_MACHINE, kPolicySettings, L"ProxySettingsPerUser", 0));
    ASSERT_TRUE(SeedRegDword(HKEY_CURRENT_USER, kSettings, L"ProxyEnable", 1));
    ASSERT_TRUE(SeedRegString(HKEY_CURRENT_USER, kSettings, L"ProxyServer", L"127.0.0.1:8888"));
    ASSERT_TRUE(SeedRegDword(HKEY_USERS, kLocalSystemSettings, L"ProxyEnable", 1));
    ASSERT_TRUE(SeedRegString(HKEY_USERS, kLocalSystemSettings, L"ProxyServer", L"10.0.0.1:3128"));

    ASSERT_TRUE(WriteHostsFile("127.0.0.1 localhost\r\n::1 localhost\r\n"
                               "203.0.113.9 Service.Zemlo.Example\r\n"
                               "# 203.0.113.9 updates.zemlo-eu.example\r\n"));
    ASSERT_TRUE(SetResolverHosts("203.0.113.9 service.zemlo.example\n"));
}

void SeedHealthyPc()
{
    SeedCleanPc();
    if (::testing::Test::HasFatalFailure())
        return;
    ASSERT_TRUE(SetResolverHosts(std::string(kHealthyServiceAddress) + " service.zemlo.example\n"));
}
