// The hosts search and the read and close steps, each called directly with
// the report captured.

#include "network/hosts_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness/log_capture.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kServiceHostError = L"error: \r\nerror: service.zemlo.example in hosts detected!\r\n";
const std::wstring kPrimaryWarning = L"warning: \r\nwarning: zemlo.example in hosts detected!\r\n";
const std::wstring kRegionalWarning = L"warning: \r\nwarning: zemlo-eu.example in hosts detected!\r\n";

std::wstring Framed(const std::wstring& contents)
{
    return L"\r\n==================\r\n" + contents + L"\r\n==================";
}

// The cases the end-to-end tests cannot set up as easily.
TEST(HostsMentions, EachNameWarnedOnceAndTheFileFramedOnce)
{
    struct Case {
        const char* name;
        std::string contents;
        std::wstring report;
    };
    const Case cases[] = {
        {"primary twice", "10.1.1.1 www.zemlo.example zemlo.example",
         kPrimaryWarning + Framed(L"10.1.1.1 www.zemlo.example zemlo.example")},
        {"all three", "1.1.1.1 service.zemlo.example\n2.2.2.2 zemlo-eu.example\n",
         kServiceHostError + kPrimaryWarning + kRegionalWarning +
             Framed(L"1.1.1.1 service.zemlo.example\n2.2.2.2 zemlo-eu.example\n")},
        {"only up to the first zero byte", std::string("127.0.0.1 x\0 zemlo.example", 26), L"\r\nOK"},
        {"frame keeps every byte value", "\xE9t\xE9 zemlo.example\x80",
         kPrimaryWarning + Framed(L"\xE9t\xE9 zemlo.example\x80")},
        {"near misses", "zemlo .example zemlo-eu example service-zemlo.exampl", L"\r\nOK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> contents(c.contents.begin(), c.contents.end());
        contents.push_back('\0');
        std::vector<char> searchCopy(contents.size(), '\0');
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        ReportHostsMentions(contents.data(), searchCopy.data(), static_cast<DWORD>(c.contents.size()));
        const std::wstring report = log.Text();
        EXPECT_EQ(report, c.report) << Printable(report);
        // The search never touches the printed bytes.
        EXPECT_EQ(std::string(contents.data(), c.contents.size()), c.contents);
    }
}

class HostsFileSteps : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"hosts-steps.bin";
        ASSERT_TRUE(WriteWholeFile(path_, "hosts"));
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }
    HANDLE Open(DWORD access) const
    {
        return CreateFileW(path_.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::wstring path_;
};

TEST_F(HostsFileSteps, ReadReportsAFailedCallAndAShortRead)
{
    struct Case {
        const char* name;
        DWORD access;
        DWORD size;
        bool read;
        std::wstring report;
    };
    const Case cases[] = {
        {"whole file", GENERIC_READ, 5, true, L""},
        {"short read", GENERIC_READ, 9, false,
         L"error: \r\nCannot read all data from file, requested 9 bytes, read 5 bytes."},
        {"no read access", GENERIC_WRITE, 5, false, L"error: \r\nCannot read from file (gle: 0x00000005)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFileHandle file(Open(c.access));
        ASSERT_TRUE(static_cast<bool>(file));
        std::vector<char> buffer(c.size + 1, '\0');
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        EXPECT_EQ(ReadHostsBytes(file.get(), buffer.data(), c.size), c.read);
        EXPECT_EQ(log.Text(), c.report);
        if (c.read) {
            EXPECT_STREQ(buffer.data(), "hosts");
        }
    }
}

TEST_F(HostsFileSteps, CloseReleasesOnceAndReportsAFailureEachTime)
{
    CapturedRunLog log;
    ASSERT_TRUE(log.IsOpen());
    {
        ScopedFileHandle empty;
        EXPECT_TRUE(empty.Close());

        ScopedFileHandle file(Open(GENERIC_READ));
        ASSERT_TRUE(static_cast<bool>(file));
        ScopedFileHandle moved(std::move(file));
        EXPECT_FALSE(static_cast<bool>(file));
        EXPECT_TRUE(moved.Close());
        EXPECT_FALSE(static_cast<bool>(moved));
        EXPECT_TRUE(moved.Close());
        // Closed for real: the file opens again without sharing.
        ScopedFileHandle again(Open(GENERIC_READ));
        EXPECT_TRUE(static_cast<bool>(again));
    }
    EXPECT_EQ(log.Text(), L"");
}

TEST_F(HostsFileSteps, FailedCloseKeepsTheHandleAndTheOwnerTriesAgain)
{
    // The log first, so that its own file cannot take the stale handle's value.
    CapturedRunLog log;
    ASSERT_TRUE(log.IsOpen());
    const HANDLE stale = Open(GENERIC_READ);
    ASSERT_NE(stale, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(stale));
    {
        ScopedFileHandle file(stale);
        EXPECT_FALSE(file.Close());
        EXPECT_TRUE(static_cast<bool>(file));
    }
    EXPECT_EQ(log.Text(), L"error: \r\nCannot close fileerror: \r\nCannot close file");
}

}  // namespace
