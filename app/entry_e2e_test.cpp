// The entry point's command-line rule and exit codes through the real program.

#include <gtest/gtest.h>

#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

// Command lines that are not exactly "/fix" run the plain report.
TEST(EntryCommandLine, OtherArgumentsRunThePlainReport)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun plain = product.Run();
    ASSERT_TRUE(plain.logExists);
    EXPECT_EQ(plain.exitCode, 0u);
    const std::wstring plainBody = ReportBody(plain.logText);
    EXPECT_EQ(plainBody.find(L"User: NT AUTHORITY\\SYSTEM"), std::wstring::npos) << "the test runs as a user";

    const std::vector<std::vector<std::wstring>> commandLines = {
        {L"fix"}, {L"/fix", L"extra"}, {L"extra", L"/fix"}, {L"-fix"}, {L"/fixit"}};
    for (const auto& arguments : commandLines) {
        ASSERT_TRUE(DeleteFileW(product.LogPath().c_str()));
        const ProductRun run = product.Run(arguments);
        ASSERT_TRUE(run.logExists);
        EXPECT_EQ(run.exitCode, 0u) << Printable(arguments[0]);
        EXPECT_EQ(ReportBody(run.logText), plainBody) << Printable(arguments[0]);
        EXPECT_EQ(run.standardOutput, "");
    }
}

}  // namespace
