// The trusted store auto update section from the real program, on systems from
// Vista on and, through Wine's per-prefix Windows version, on older ones.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kSetupKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents";
const std::wstring kPolicyKey = L"SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot";

// How one value is seeded.
struct ValueSeed {
    enum Kind { NoKey, KeyOnly, Number, Text } kind;
    DWORD number;
};
constexpr ValueSeed kNoKey = {ValueSeed::NoKey, 0};
constexpr ValueSeed kKeyOnly = {ValueSeed::KeyOnly, 0};
constexpr ValueSeed Number(DWORD value) { return {ValueSeed::Number, value}; }
constexpr ValueSeed kText = {ValueSeed::Text, 0};

bool Seed(const std::wstring& key, const wchar_t* valueName, ValueSeed seed)
{
    switch (seed.kind) {
    case ValueSeed::NoKey: return DeleteRegTree(HKEY_LOCAL_MACHINE, key);
    case ValueSeed::KeyOnly: return SeedRegKey(HKEY_LOCAL_MACHINE, key);
    case ValueSeed::Number: return SeedRegDword(HKEY_LOCAL_MACHINE, key, valueName, seed.number);
    case ValueSeed::Text: return SeedRegString(HKEY_LOCAL_MACHINE, key, valueName, L"1");
    }
    return false;
}

struct AutoUpdateCase {
    const char* name;
    const wchar_t* wineVersion;
    const wchar_t* osVersionLine;  // how the report's first line starts under that setting
    ValueSeed rootAutoUpdate;
    ValueSeed disableRootAutoUpdate;
    const wchar_t* section;  // after the title
};

#define SETUP_VALUE L"\r\nSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents\\rootautoupdate"
#define POLICY_VALUE L"SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate"
#define SETUP_HINT                                                       \
    L"error: \r\n Try to enable 'Update Root Certificates' component in" \
    L"\r\n\t Control Panel > Add Or Remove Programs > Add/Remove Windows Components'"

// From Vista on the setup component is never looked at, whatever it holds.
const AutoUpdateCase kAutoUpdateCases[] = {
    {"Windows10WithoutPolicyKey", L"win10", L"OS version: 10.", Number(0), kNoKey,
     L"\r\nInfo: Key SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot does not exists. - OK"},
    {"VistaPolicyKeyWithoutValue", L"vista", L"OS version: 6.0.", Number(0), kKeyOnly,
     L"\r\n" POLICY_VALUE L" does not not exists - OK"},
    {"Windows10PolicyZero", L"win10", L"OS version: 10.", kNoKey, Number(0),
     L"\r\n" POLICY_VALUE L" does not disables certificate auto update - OK"},
    {"Windows10PolicyOne", L"win10", L"OS version: 10.", kNoKey, Number(1),
     L"error: \r\nError: " POLICY_VALUE L" [0x00000001] disables certificate auto update"},
    {"Windows10PolicyAsString", L"win10", L"OS version: 10.", kNoKey, kText,
     L"\r\n" POLICY_VALUE L" does not not exists - OK"},
    {"XpComponentEnabledWithoutPolicyKey", L"winxp", L"OS version: 5.1.", Number(1), kNoKey,
     SETUP_VALUE L" is enabled - OK"},
    {"XpComponentZeroPolicyOne", L"winxp", L"OS version: 5.1.", Number(0), Number(1),
     L"error: \r\nError: SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
     L"\\rootautoupdate [0x00000000] disables certificate auto update" SETUP_HINT
     L"error: \r\nError: " POLICY_VALUE L" [0x00000001] disables certificate auto update"},
    {"Server2003ComponentTwoWithoutPolicyKey", L"win2003", L"OS version: 5.2.", Number(2), kNoKey,
     L"error: \r\nError: SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
     L"\\rootautoupdate [0x00000002] disables certificate auto update" SETUP_HINT},
    {"XpComponentValueMissingPolicyValueMissing", L"winxp", L"OS version: 5.1.", kKeyOnly, kKeyOnly,
     L"warning: " SETUP_VALUE L" does not not exists - Warning"
     L"\r\n" POLICY_VALUE L" does not not exists - OK"},
    {"XpComponentKeyMissingPolicyZero", L"winxp", L"OS version: 5.1.", kNoKey, Number(0),
     L"error: \r\nError: Cannot open key SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager"
     L"\\Subcomponents [gle:0x00000002]"
     L"\r\n" POLICY_VALUE L" does not disables certificate auto update - OK"},
};

void PrintTo(const AutoUpdateCase& c, std::ostream* out)
{
    *out << c.name;
}

class AutoUpdateSection : public ::testing::TestWithParam<AutoUpdateCase> {};

TEST_P(AutoUpdateSection, ReportsSetupComponentAndPolicy)
{
    const AutoUpdateCase& c = GetParam();
    ASSERT_TRUE(SetWineWindowsVersion(c.wineVersion));
    ASSERT_TRUE(Seed(kSetupKey, L"rootautoupdate", c.rootAutoUpdate));
    ASSERT_TRUE(Seed(kPolicyKey, L"DisableRootAutoUpdate", c.disableRootAutoUpdate));

    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.logExists);
    EXPECT_EQ(run.exitCode, 0u);
    const std::wstring body = ReportBody(run.logText);
    // The program really saw the Windows version the case is about.
    EXPECT_EQ(body.rfind(c.osVersionLine, 0), 0u) << Printable(body.substr(0, 120));
    const std::wstring section = ReportSection(body, kAutoUpdateTitle);
    EXPECT_EQ(section, kAutoUpdateTitle + std::wstring(c.section)) << Printable(section);
}

INSTANTIATE_TEST_SUITE_P(Cases, AutoUpdateSection, ::testing::ValuesIn(kAutoUpdateCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
