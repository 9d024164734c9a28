// The hosts test through the real program, with the prefix's own hosts file.

#include <gtest/gtest.h>

#include <string>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kRule = L"\r\n==================\r\n";
const std::wstring kClosingRule = L"\r\n==================";
const std::wstring kServiceHostError = L"error: \r\nerror: service.zemlo.example in hosts detected!\r\n";
const std::wstring kPrimaryWarning = L"warning: \r\nwarning: zemlo.example in hosts detected!\r\n";
const std::wstring kRegionalWarning = L"warning: \r\nwarning: zemlo-eu.example in hosts detected!\r\n";

enum class Arrange { Write, Delete, WriteAndHoldOpen };

struct HostsCase {
    const char* name;
    Arrange arrange;
    std::string bytes;
    std::wstring findings;  // the section after its title; <path> is the expanded path
};

class HostsFileReport : public ::testing::TestWithParam<HostsCase> {};

TEST_P(HostsFileReport, SectionAsExpected)
{
    const HostsCase& c = GetParam();
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.arrange == Arrange::Delete) {
        ASSERT_TRUE(DeleteHostsFile());
    } else {
        ASSERT_TRUE(WriteHostsFile(c.bytes));
    }
    if (c.arrange == Arrange::WriteAndHoldOpen) {
        held = CreateFileW(HostsFilePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }
    const ProductRun run = product.Run();
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);

    std::wstring expected = kHostsTitle + c.findings;
    const size_t path = expected.find(L"<path>");
    if (path != std::wstring::npos)
        expected.replace(path, 6, HostsFilePath());
    const std::wstring section = ReportSection(ReportBody(run.logText), kHostsTitle);
    EXPECT_EQ(section, expected) << Printable(section);
}

// How an editor saves the file as "Unicode": little-endian with a byte-order mark.
std::string Utf16Bytes(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t ch : text) {
        bytes += static_cast<char>(ch & 0xFF);
        bytes += static_cast<char>(ch >> 8);
    }
    return bytes;
}

const std::string kServiceHostFile = "127.0.0.1 localhost\r\n10.20.30.40 service.zemlo.example\r\n";
const std::string kMixedCaseFile = "127.0.0.1 localhost\r\n10.20.30.40 SERVICE.Zemlo.Example # Test\r\n";
const std::string kCommentAndLongerName = "# see zemlo-eu.example\r\n10.1.1.1 cdn.zemlo.example.net\r\n";

INSTANTIATE_TEST_SUITE_P(
    HostsFile, HostsFileReport,
    ::testing::Values(
        HostsCase{"NoneOfTheNames", Arrange::Write, "127.0.0.1 localhost\r\n::1 localhost\r\n", L"\r\nOK"},
        HostsCase{"ServiceHost", Arrange::Write, kServiceHostFile,
                  kServiceHostError + kPrimaryWarning + kRule +
                      L"127.0.0.1 localhost\r\n10.20.30.40 service.zemlo.example\r\n" + kClosingRule},
        HostsCase{"RegionalDomainOnly", Arrange::Write, "10.1.1.1 zemlo-eu.example\n",
                  kRegionalWarning + kRule + L"10.1.1.1 zemlo-eu.example\n" + kClosingRule},
        HostsCase{"MixedCase", Arrange::Write, kMixedCaseFile,
                  kServiceHostError + kPrimaryWarning + kRule +
                      L"127.0.0.1 localhost\r\n10.20.30.40 SERVICE.Zemlo.Example # Test\r\n" + kClosingRule},
        HostsCase{"InACommentAndInsideALongerName", Arrange::Write, kCommentAndLongerName,
                  kPrimaryWarning + kRegionalWarning + kRule +
                      L"# see zemlo-eu.example\r\n10.1.1.1 cdn.zemlo.example.net\r\n" + kClosingRule},
        HostsCase{"EmptyFile", Arrange::Write, "", L"warning: \r\nwarning: Empty file '<path>'\r\n"},
        HostsCase{"Utf16File", Arrange::Write,
                  Utf16Bytes(L"\xFEFF" L"10.1.1.1 service.zemlo.example\r\n"),
                  L"\r\nOK"},
        HostsCase{"MissingFile", Arrange::Delete, "", L"error: \r\nerror: Cannot open file '<path>'\r\n"},
        HostsCase{"HeldOpenWithoutSharing", Arrange::WriteAndHoldOpen, kServiceHostFile,
                  L"error: \r\nerror: Cannot open file '<path>'\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
