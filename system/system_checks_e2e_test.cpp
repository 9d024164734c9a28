// The clock and SHA-2 sections from the real program. The harness runs Wine in
// a zone far from UTC, so a report of local time would show.

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "certs/cert_blobs.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

std::wstring Stamp(const SYSTEMTIME& time)
{
    wchar_t text[32] = {};
    _snwprintf(text, 31, L"%04d.%02d.%02d %02d:%02d.%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
               time.wMinute, time.wSecond);
    return text;
}

TEST(SystemChecks, TimeIsUtcAndSha2IsSupported)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    SYSTEMTIME before = {};
    GetSystemTime(&before);
    const ProductRun run = product.Run();
    SYSTEMTIME after = {};
    GetSystemTime(&after);
    ASSERT_TRUE(run.logExists);
    EXPECT_EQ(run.exitCode, 0u);

    const std::wstring timeTitle = kSystemTimeTitle;
    const std::wstring body = ReportBody(run.logText);
    const std::wstring verdict =
        CertTimeValidNow(CertBlobRecords(kServiceChainBlob).at(0)) ? L"\r\nOK" : L"error: \r\nError: Windows has invalid system time";
    EXPECT_EQ(ReportSection(body, timeTitle), timeTitle + L"####.##.## ##:##.##" + verdict)
        << Printable(body);
    EXPECT_EQ(ReportSection(body, kSha2Title), kSha2Title + std::wstring(L"\r\nOK")) << Printable(body);

    // The digits themselves, from the unmasked log: UTC, taken during the run.
    const size_t at = run.logText.find(timeTitle);
    ASSERT_NE(at, std::wstring::npos);
    const std::wstring printed = run.logText.substr(at + timeTitle.size(), 19);
    EXPECT_LE(Stamp(before), printed);
    EXPECT_GE(Stamp(after), printed);
}

}  // namespace
