// The report's identity sections from the real program, with the Windows
// version pinned through Wine's per-prefix setting and the build strings and
// product values seeded in the 64-bit view (the 32-bit view holds decoys that
// must never show, also in the x86 build).

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kWindowsKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const std::wstring kProductKey = L"SOFTWARE\\ZEMLO\\ZEMLO Security\\CurrentVersion\\Info";

enum class ProductSeed { AllThree, Missing, LanguageCodeAsDword };

struct IdentityCase {
    const char* name;
    const wchar_t* wineVersion;
    bool withBuildLab;
    ProductSeed product;
    const wchar_t* systemSection;
    const wchar_t* productSection;
};

// Under Wine both builds see the x64 machine (the x86 one through WoW64).
const IdentityCase kIdentityCases[] = {
    {"WindowsXpWithProduct", L"winxp", true, ProductSeed::AllThree,
     L"OS version: 5.1.2600 (3.0) \"Service Pack 3\", PlatformId: 2, ProductType: 0x00000001, "
     L"SuiteMask: 0x00000100"
     L"\r\nOS processor architecture: x64 (0009), BuildLab: 2600.xpsp_sp3_gdr.130307-0422, "
     L"BuildLabEx: 2600.6368.x86fre.xpsp_sp3_gdr.130307-0422, ProductName: ZEMLO Test Windows",
     L"\r\nZEMLO Product: ProductType: Internet Security, ProductVersion: 21.3.10.391, LanguageCode: en-US\r\n"},
    {"Windows10WithoutBuildLabOrProduct", L"win10", false, ProductSeed::Missing,
     L"OS version: 10.0.18362 (0.0) \"\", PlatformId: 2, ProductType: 0x00000001, SuiteMask: 0x00000100"
     L"\r\nOS processor architecture: x64 (0009), , "
     L"BuildLabEx: 2600.6368.x86fre.xpsp_sp3_gdr.130307-0422, ProductName: ZEMLO Test Windows",
     L"\r\nZEMLO Product: , , \r\n"},
    // Wine's Windows 98 setting gives platform id 1, as compatibility settings do.
    {"Windows98PlatformAndLanguageCodeAsNumber", L"win98", true, ProductSeed::LanguageCodeAsDword,
     L"OS version: 4.10.67766446 (0.0) \" A \", PlatformId: 1, ProductType: 0x00000000, SuiteMask: 0x00000000"
     L"error: \r\nError: Probably application compatibility is set or inherited from parent process "
     L"(platformID = 1)\r\n"
     L"\r\nOS processor architecture: x64 (0009), BuildLab: 2600.xpsp_sp3_gdr.130307-0422, "
     L"BuildLabEx: 2600.6368.x86fre.xpsp_sp3_gdr.130307-0422, ProductName: ZEMLO Test Windows",
     L"\r\nZEMLO Product: ProductType: Internet Security, ProductVersion: 21.3.10.391, \r\n"},
};

void PrintTo(const IdentityCase& c, std::ostream* out)
{
    *out << c.name;
}

class IdentitySections : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(IdentitySections, AreTheKernelAndRegistryValuesOfThe64BitView)
{
    const IdentityCase& c = GetParam();
    ASSERT_TRUE(SetWineWindowsVersion(c.wineVersion));
    for (const wchar_t* name : {L"BuildLab", L"BuildLabEx", L"ProductName"})
        ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kWindowsKey, name, L"32-bit view", REG_SZ, RegView::Wow32));
    ASSERT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, kWindowsKey, L"BuildLab")) << "the prefix has its own";
    if (c.withBuildLab) {
        ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kWindowsKey, L"BuildLab", L"2600.xpsp_sp3_gdr.130307-0422"));
    }
    ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kWindowsKey, L"BuildLabEx",
                              L"2600.6368.x86fre.xpsp_sp3_gdr.130307-0422"));
    ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProductName", L"ZEMLO Test Windows"));

    for (const wchar_t* name : {L"ProductType", L"ProductVersion", L"LanguageCode"})
        ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kProductKey, name, L"32-bit view", REG_SZ, RegView::Wow32));
    if (c.product != ProductSeed::Missing) {
        ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kProductKey, L"ProductType", L"Internet Security"));
        ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kProductKey, L"ProductVersion", L"21.3.10.391"));
        if (c.product == ProductSeed::AllThree) {
            ASSERT_TRUE(SeedRegString(HKEY_LOCAL_MACHINE, kProductKey, L"LanguageCode", L"en-US"));
        } else {
            ASSERT_TRUE(SeedRegDword(HKEY_LOCAL_MACHINE, kProductKey, L"LanguageCode", 1033));
        }
    }

    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.logExists);
    EXPECT_EQ(run.exitCode, 0u);
    const std::wstring body = ReportBody(run.logText);

    // The first line of the report follows the start banner directly.
    const size_t productAt = body.find(kProductTitle);
    ASSERT_NE(productAt, std::wstring::npos) << Printable(body);
    const std::wstring systemSection = body.substr(0, productAt);
    EXPECT_EQ(systemSection, c.systemSection) << Printable(systemSection);
    const std::wstring productSection = ReportSection(body, kProductTitle);
    EXPECT_EQ(productSection, c.productSection) << Printable(productSection);
}

INSTANTIATE_TEST_SUITE_P(Cases, IdentitySections, ::testing::ValuesIn(kIdentityCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
