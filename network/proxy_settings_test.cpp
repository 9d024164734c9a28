// One Internet Settings key reported from values seeded in the real
// registry, one key per case: the value shapes the end-to-end cases leave out.

#include "network/proxy_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness/log_capture.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kCaseKeys = L"Software\\ZemloProxyTest";

struct Value {
    const wchar_t* name;
    DWORD type;
    std::string data;
};

Value Dword(const wchar_t* name, DWORD number)
{
    return {name, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof(number))};
}

// `bytes` of the text's UTF-16 form, which by default includes its terminator.
Value String(const wchar_t* name, const std::wstring& text, size_t bytes = std::wstring::npos)
{
    const std::string all(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
    return {name, REG_SZ, all.substr(0, bytes)};
}

TEST(ProxyKey, ReportsEachValueInItsLayoutAndTellsWhetherItFoundAProxy)
{
    struct Case {
        const wchar_t* key;
        std::vector<Value> values;
        bool finding;
        std::wstring report;  // with the key's name spelled as <key>
    };
    const Case cases[] = {
        {L"EnableOnly",
         {Dword(L"ProxyEnable", 1)},
         true,
         L"warning: \r\nWarning: HKCU\\<key>\r\n           @ProxyEnable=1"},
        {L"EnableSigned",
         {Dword(L"ProxyEnable", 0xFFFFFFFF)},
         true,
         L"warning: \r\nWarning: HKCU\\<key>\r\n           @ProxyEnable=-1"},
        {L"ServerWithoutTerminator",
         {String(L"ProxyServer", L"px:1", 8)},
         true,
         L"\r\nInfo   : HKCU\\<key>\r\n           @ProxyServer=\"px:1\""},
        {L"ServerExpandable",
         {{L"ProxyServer", REG_EXPAND_SZ, String(L"", L"%PROXY%").data}},
         true,
         L"\r\nInfo   : HKCU\\<key>\r\n           @ProxyServer=\"%PROXY%\""},
        {L"ServerNoData", {String(L"ProxyServer", L"", 0)}, false, L""},
        {L"ServerOneByte", {String(L"ProxyServer", L"x", 1)}, false, L""},
        // An odd byte count needs one more character than the length the
        // protocol asks with, so the read fails and nothing is printed.
        {L"ServerOddBytes", {String(L"ProxyServer", L"ab", 3)}, false, L""},
        {L"OverrideOddBytes", {String(L"ProxyOverride", L"ab", 3)}, true, L""},
        {L"OverrideOddBytesAfterServer",
         {String(L"ProxyServer", L"p:1"), String(L"ProxyOverride", L"ab", 3)},
         true,
         L"\r\nInfo   : HKCU\\<key>\r\n           @ProxyServer=\"p:1\""},
        {L"WrongTypes",
         {{L"ProxyEnable", REG_SZ, String(L"", L"1").data}, {L"ProxySettingsPerUser", REG_QWORD, std::string(8, '\0')},
          Dword(L"ProxyServer", 1), {L"ProxyOverride", REG_MULTI_SZ, String(L"", L"a").data + std::string(2, '\0')}},
         false,
         L""},
    };
    ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, kCaseKeys));
    for (const Case& c : cases) {
        SCOPED_TRACE(Printable(c.key));
        const std::wstring subKey = kCaseKeys + L"\\" + c.key;
        ASSERT_TRUE(SeedRegKey(HKEY_CURRENT_USER, subKey));
        for (const Value& value : c.values) {
            ASSERT_TRUE(SeedRegValue(HKEY_CURRENT_USER, subKey, value.name, value.type, value.data.data(),
                                     static_cast<DWORD>(value.data.size())));
        }
        std::wstring expected = c.report;
        for (size_t at = expected.find(L"<key>"); at != std::wstring::npos; at = expected.find(L"<key>"))
            expected.replace(at, 5, subKey);

        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        EXPECT_EQ(ReportProxyKey(HKEY_CURRENT_USER, subKey.c_str(), true), c.finding);
        const std::wstring report = log.Text();
        EXPECT_EQ(report, expected) << Printable(report);
    }
    DeleteRegTree(HKEY_CURRENT_USER, kCaseKeys);
}

TEST(ProxyKey, OpenFailureIsReportedOnlyWhenAskedAndIsNoFinding)
{
    const std::wstring missing = kCaseKeys + L"\\Missing";
    ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, missing));
    for (bool reportOpenFailure : {true, false}) {
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(ReportProxyKey(HKEY_CURRENT_USER, missing.c_str(), reportOpenFailure));
        EXPECT_EQ(log.Text(), reportOpenFailure
                                  ? L"error: \r\nError: Cannot open key " + missing + L" [gle:0x00000002]"
                                  : std::wstring());
    }
}

}  // namespace
