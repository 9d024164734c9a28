// Whatever the PC holds, the run ends normally with a complete report: every
// registry value the program reads, of every type and of awkward sizes; huge
// and binary hosts files; files held open elsewhere.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

struct ReadValue {
    HKEY root;
    const wchar_t* subKey;
    const wchar_t* valueName;
};

// Every registry value the report reads, in the order of the report.
const ReadValue kValuesTheReportReads[] = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"BuildLab"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"BuildLabEx"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZEMLO\\ZEMLO Security\\CurrentVersion\\Info", L"ProductType"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZEMLO\\ZEMLO Security\\CurrentVersion\\Info", L"ProductVersion"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZEMLO\\ZEMLO Security\\CurrentVersion\\Info", L"LanguageCode"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents",
     L"rootautoupdate"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot", L"DisableRootAutoUpdate"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyEnable"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxySettingsPerUser"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyServer"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyOverride"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyEnable"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
     L"ProxySettingsPerUser"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyServer"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
     L"ProxyOverride"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyEnable"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxySettingsPerUser"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyServer"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyOverride"},
    {HKEY_USERS, L"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyEnable"},
    {HKEY_USERS, L"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
     L"ProxySettingsPerUser"},
    {HKEY_USERS, L"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyServer"},
    {HKEY_USERS, L"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"ProxyOverride"},
};

struct ValueShape {
    const char* name;
    DWORD type;
    DWORD sizeBytes;
};

constexpr DWORD kMiB = 1024 * 1024;

const ValueShape kValueShapes[] = {
    {"NoneEmpty", REG_NONE, 0},
    {"StringEmpty", REG_SZ, 0},
    {"StringOneByte", REG_SZ, 1},
    {"StringOddBytes", REG_SZ, 5},
    {"StringOneMiB", REG_SZ, kMiB},
    {"ExpandStringOddBytes", REG_EXPAND_SZ, 7},
    {"ExpandStringOneMiB", REG_EXPAND_SZ, kMiB},
    {"BinaryOneMiB", REG_BINARY, kMiB},
    {"DwordEmpty", REG_DWORD, 0},
    {"DwordOneByte", REG_DWORD, 1},
    {"DwordEightBytes", REG_DWORD, 8},
    {"DwordOneMiB", REG_DWORD, kMiB},
    {"BigEndianDword", REG_DWORD_BIG_ENDIAN, 4},
    {"MultiStringOddBytes", REG_MULTI_SZ, 9},
    {"QwordEightBytes", REG_QWORD, 8},
};

// Letters without a terminator, so a reader that trusts a terminator would
// run past the data.
std::string ValueBytes(DWORD sizeBytes)
{
    std::string bytes(sizeBytes, '\0');
    for (DWORD at = 0; at < sizeBytes; ++at)
        bytes[at] = (at % 2 == 0) ? static_cast<char>('a' + (at / 2) % 26) : '\0';
    return bytes;
}

// compareConsole: a 32-bit test process cannot hold several copies of a
// report of hundreds of megabytes, so the huge cases skip that comparison.
void ExpectCompleteReport(const ProductRun& run, bool compareConsole = true)
{
    ASSERT_TRUE(run.finished) << "the run hung";
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(run.logExists);
    const std::wstring tail = std::wstring(kPrompt) + kMaskedEndBanner;
    ASSERT_GE(run.logText.size(), tail.size());
    EXPECT_EQ(MaskTimes(run.logText.substr(run.logText.size() - tail.size())), tail);
    if (compareConsole) {
        EXPECT_EQ(BytesToWide(run.standardError), WithoutBanners(run.logText)) << "console and log disagree";
    }
    EXPECT_EQ(run.standardOutput, "");
}

class EveryValueTheReportReads : public ::testing::TestWithParam<ValueShape> {};

TEST_P(EveryValueTheReportReads, EndsTheRunNormally)
{
    const ValueShape& shape = GetParam();
    const std::string bytes = ValueBytes(shape.sizeBytes);
    for (const ReadValue& value : kValuesTheReportReads) {
        ASSERT_TRUE(SeedRegValue(value.root, value.subKey, value.valueName, shape.type, bytes.data(),
                                 shape.sizeBytes));
    }
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ExpectCompleteReport(run);
    if (shape.type == REG_SZ && shape.sizeBytes == kMiB) {
        // A whole value, not cut short: half a million characters of it.
        std::wstring text;
        for (size_t at = 0; at < bytes.size(); at += 2)
            text += static_cast<wchar_t>(bytes[at]);
        EXPECT_NE(run.logText.find(L"ProductName: " + text), std::wstring::npos);
        EXPECT_NE(run.logText.find(L"@ProxyServer=\"" + text + L"\""), std::wstring::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, EveryValueTheReportReads, ::testing::ValuesIn(kValueShapes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostsFileRobustness, FiftyMiBFileIsReadWhole)
{
    std::string hosts(50 * kMiB, ' ');
    for (size_t at = 63; at < hosts.size(); at += 64)
        hosts[at] = '\n';
    const std::string tail = "10.0.0.1 Service.Zemlo.Example\r\n";
    hosts.replace(hosts.size() - tail.size(), tail.size(), tail);
    ASSERT_TRUE(WriteHostsFile(hosts));
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run({}, 600000);
    ExpectCompleteReport(run, false);
    // The name at the very end was found, and the frame shows the whole file.
    EXPECT_NE(run.logText.find(L"error: \r\nerror: service.zemlo.example in hosts detected!\r\n"), std::wstring::npos);
    EXPECT_NE(run.logText.find(L"Service.Zemlo.Example\r\n\r\n=================="), std::wstring::npos);
}

TEST(HostsFileRobustness, HighBytesAreShownAsTheyAreUpToTheFirstZero)
{
    std::string hosts;
    for (int value = 0x80; value <= 0xFF; ++value)
        hosts += static_cast<char>(value);
    hosts += " zemlo-eu.example\r\n";
    hosts += std::string(1, '\0') + "service.zemlo.example\r\n";
    ASSERT_TRUE(WriteHostsFile(hosts));
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    std::wstring shown;
    for (int value = 0x80; value <= 0xFF; ++value)
        shown += static_cast<wchar_t>(value);
    shown += L" zemlo-eu.example\r\n";
    EXPECT_NE(run.logText.find(L"\r\n==================\r\n" + shown + L"\r\n=================="), std::wstring::npos)
        << Printable(run.logText);
    // Nothing after the zero byte is searched.
    EXPECT_EQ(run.logText.find(L"service.zemlo.example in hosts detected"), std::wstring::npos);
}

TEST(PathRobustness, LongProgramPathStillNamesItsLog)
{
    std::wstring folder = L"C:\\long";
    while (folder.size() < 200)
        folder += L"\\deeper.folder.name";
    const ProductInstall product(folder, L"zemlodiag.exe");
    ASSERT_TRUE(product.Install());
    ASSERT_LT(product.ExePath().size(), static_cast<size_t>(MAX_PATH));
    const ProductRun run = product.Run();
    ExpectCompleteReport(run);
}

}  // namespace
