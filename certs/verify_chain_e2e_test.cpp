// The two "Verify chain test" sections of a full run of the real program.

#include <gtest/gtest.h>

#include <string>

#include "certs/cert_blobs.h"
#include "certs/dev_root_cert_blob.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {


// The shipped chain's issuing root is on no PC, and the root the program
// offers did not issue it, so the chain stops at the intermediate: a partial
// chain, which has no text of its own.
std::wstring ExpectedSectionWithoutIssuingRoot(const wchar_t* title)
{
    const std::wstring trust =
        CertBlobTimeValidNow(kServiceChainBlob)
            ? L"\r\n\tchainTrust: 0x00010000"
            : L"\r\n\tchainTrust: 0x00010001"
              L"\r\n\t\t0x00000001: This certificate or one of the certificates in the certificate chain is not time "
              L"valid.";
    return std::wstring(title) +
           L"error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n\tLastApiError: 0x00000000"
           L"\r\n\tFaulting function: 0" +
           trust + L"\r\n\tchainPolicyStatus: 0xffffffff";
}

TEST(VerifyChainTest, ShippedChainIsReportedForBothScopesInOrder)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    const std::wstring body = ReportBody(run.logText);

    const size_t currentUser = body.find(kCurrentUserChainTitle);
    const size_t localMachine = body.find(kLocalMachineChainTitle);
    ASSERT_NE(currentUser, std::wstring::npos) << Printable(body);
    ASSERT_NE(localMachine, std::wstring::npos) << Printable(body);
    EXPECT_LT(currentUser, localMachine);
    EXPECT_EQ(ReportSection(body, kCurrentUserChainTitle, 1), L"") << "one section per scope";
    EXPECT_EQ(ReportSection(body, kLocalMachineChainTitle, 1), L"") << "one section per scope";

    EXPECT_EQ(ReportSection(body, kCurrentUserChainTitle), ExpectedSectionWithoutIssuingRoot(kCurrentUserChainTitle))
        << Printable(body);
    EXPECT_EQ(ReportSection(body, kLocalMachineChainTitle), ExpectedSectionWithoutIssuingRoot(kLocalMachineChainTitle))
        << Printable(body);
    // The local machine's section is the last one before the prompt.
    const std::wstring tail = ExpectedSectionWithoutIssuingRoot(kLocalMachineChainTitle) + kPrompt;
    ASSERT_GE(body.size(), tail.size());
    EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
}

// Where the shipped chain's own root is trusted the chain and the service
// host name pass in both scopes.
TEST(VerifyChainTest, ShippedChainPassesWhereItsIssuingRootIsTrusted)
{
    if (!CertBlobTimeValidNow(kServiceChainBlob))
        GTEST_SKIP() << "the shipped service chain is outside its validity period: ship a current one";
    const ScopedTrustedRoot trusted(
        StoreScope::LocalMachine,
        std::string(reinterpret_cast<const char*>(DevRootCertBlob) + 4, DevRootCertBlobLength - 4));
    ASSERT_TRUE(trusted.added());
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    const std::wstring body = ReportBody(run.logText);
    EXPECT_EQ(ReportSection(body, kCurrentUserChainTitle), std::wstring(kCurrentUserChainTitle) + L"\r\nOK") << Printable(body);
    EXPECT_EQ(ReportSection(body, kLocalMachineChainTitle), std::wstring(kLocalMachineChainTitle) + L"\r\nOK")
        << Printable(body);
}

}  // namespace
