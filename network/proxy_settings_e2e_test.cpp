// The proxy detection through the real program over keys seeded in all four
// places. HKU\S-1-5-18 lives only in the wineserver's memory: it is seeded
// from this process, which keeps the server running while the product reads.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kSettings = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::wstring kPolicySettings = L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::wstring kLocalSystemSettings = L"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

enum class Place { Machine, MachinePolicy, CurrentUser, LocalSystem, Machine32BitViewOnly };

struct Seed {
    Place place;
    const wchar_t* valueName;
    DWORD number;          // for a REG_DWORD
    const wchar_t* text;   // for a REG_SZ, stored with its terminator; null for a number
};

struct ProxyCase {
    const char* name;
    std::vector<Seed> seeds;
    bool currentUserKeyMissing;
    std::wstring findings;  // the section after its title
};

bool SeedAt(const Seed& seed)
{
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring subKey = kSettings;
    RegView view = RegView::Native64;
    switch (seed.place) {
    case Place::Machine: break;
    case Place::MachinePolicy: subKey = kPolicySettings; break;
    case Place::CurrentUser: root = HKEY_CURRENT_USER; break;
    case Place::LocalSystem: root = HKEY_USERS; subKey = kLocalSystemSettings; break;
    case Place::Machine32BitViewOnly: view = RegView::Wow32; break;
    }
    if (seed.text != nullptr)
        return SeedRegString(root, subKey, seed.valueName, seed.text, REG_SZ, view);
    return SeedRegDword(root, subKey, seed.valueName, seed.number, view);
}

class ProxySettingsReport : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ProxySettingsReport, SectionAsExpected)
{
    const ProxyCase& c = GetParam();
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    // The places a Windows installation always has; the policy key only when a seed makes it.
    ASSERT_TRUE(SeedRegKey(HKEY_LOCAL_MACHINE, kSettings));
    ASSERT_TRUE(SeedRegKey(HKEY_CURRENT_USER, kSettings));
    ASSERT_TRUE(SeedRegKey(HKEY_USERS, kLocalSystemSettings));
    if (c.currentUserKeyMissing) {
        ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, kSettings));
    }
    for (const Seed& seed : c.seeds) {
        ASSERT_TRUE(SeedAt(seed));
    }

    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    const std::wstring section = ReportSection(ReportBody(run.logText), kProxyTitle);
    EXPECT_EQ(section, kProxyTitle + c.findings) << Printable(section);
}

INSTANTIATE_TEST_SUITE_P(
    ProxySettings, ProxySettingsReport,
    ::testing::Values(
        ProxyCase{"NothingSet", {}, false, L"\r\nOK"},
        ProxyCase{"ProxyEnableZeroEverywhere",
                  {{Place::Machine, L"ProxyEnable", 0, nullptr},
                   {Place::MachinePolicy, L"ProxyEnable", 0, nullptr},
                   {Place::CurrentUser, L"ProxyEnable", 0, nullptr},
                   {Place::LocalSystem, L"ProxyEnable", 0, nullptr}},
                  false,
                  L"\r\nOK"},
        ProxyCase{"ProxySettingsPerUserAlone",
                  {{Place::MachinePolicy, L"ProxySettingsPerUser", 0, nullptr},
                   {Place::LocalSystem, L"ProxySettingsPerUser", 1, nullptr}},
                  false,
                  L"\r\nInfo: HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxySettingsPerUser=0 (Proxy settings are managed by system administrator.)"
                  L"\r\nInfo: HKU\\S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxySettingsPerUser=1"
                  L"\r\nOK"},
        ProxyCase{"ProxyOverrideAlone",
                  {{Place::CurrentUser, L"ProxyOverride", 0, L"<local>"}},
                  false,
                  L"\r\nInfo   : HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxyOverride=\"<local>\""},
        ProxyCase{"EverythingEnabledForLocalSystem",
                  {{Place::LocalSystem, L"ProxyEnable", 1, nullptr},
                   {Place::LocalSystem, L"ProxySettingsPerUser", 0, nullptr},
                   {Place::LocalSystem, L"ProxyServer", 0, L"http=proxy.corp:8080;https=proxy.corp:8443"},
                   {Place::LocalSystem, L"ProxyOverride", 0, L"*.corp;<local>"}},
                  false,
                  L"warning: \r\nWarning: HKU\\S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxyEnable=1"
                  L"\r\nInfo: HKU\\S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxySettingsPerUser=0 (Proxy settings are managed by system administrator.)"
                  L"\r\n           @ProxyServer=\"http=proxy.corp:8080;https=proxy.corp:8443\""
                  L"\r\n           @ProxyOverride=\"*.corp;<local>\""},
        ProxyCase{"EmptyProxyServerString",
                  {{Place::Machine, L"ProxyServer", 0, L""}},
                  false,
                  L"\r\nInfo   : HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxyServer=\"\""},
        ProxyCase{"CurrentUserKeyMissing", {}, true,
                  L"error: \r\nError: Cannot open key SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L" [gle:0x00000002]"
                  L"\r\nOK"},
        ProxyCase{"FindingsInSeveralKeys",
                  {{Place::Machine, L"ProxyEnable", 1, nullptr},
                   {Place::Machine, L"ProxyServer", 0, L"10.0.0.1:3128"},
                   {Place::CurrentUser, L"ProxyServer", 0, L"user.proxy:80"},
                   {Place::CurrentUser, L"ProxyOverride", 0, L"<local>"},
                   {Place::LocalSystem, L"ProxyOverride", 0, L"*.example"}},
                  false,
                  L"warning: \r\nWarning: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxyEnable=1"
                  L"\r\n           @ProxyServer=\"10.0.0.1:3128\""
                  L"\r\nInfo   : HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxyServer=\"user.proxy:80\""
                  L"\r\n           @ProxyOverride=\"<local>\""
                  L"\r\nInfo   : HKU\\S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
                  L"\r\n           @ProxyOverride=\"*.example\""},
        // The product reads the 64-bit view only, also as a 32-bit process.
        ProxyCase{"Only32BitViewSet",
                  {{Place::Machine32BitViewOnly, L"ProxyEnable", 1, nullptr},
                   {Place::Machine32BitViewOnly, L"ProxyServer", 0, L"wow.proxy:80"}},
                  false,
                  L"\r\nOK"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
