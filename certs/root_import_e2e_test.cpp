// /fix through the real program: the import into the local machine's Root
// store, the tests after it, and the run that ends when the import fails.

#include <gtest/gtest.h>

#include <string>

#include "certs/cert_blobs.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kImported = std::wstring(kImportDescribingLines) +
                               L"\r\n\r\nCertificate successfully imported"
                               L"\r\n\r\n==================\r\nTest after import\r\n==================\r\n";

std::string EmbeddedRoot()
{
    return CertBlobRecords(kRootCertBlob).at(0);
}

// The import's lines and the banner open the report; the tests follow, and
// the chain sections are those of a plain run on the same PC.
void ExpectImportThenTests(const ProductRun& fix, const ProductRun& plain)
{
    EXPECT_EQ(fix.exitCode, 0u);
    const std::wstring body = ReportBody(fix.logText);
    ASSERT_EQ(body.compare(0, kImported.size(), kImported), 0) << Printable(body);
    const std::wstring tests = body.substr(kImported.size());
    const std::wstring plainBody = ReportBody(plain.logText);
    for (const wchar_t* title : {kCurrentUserChainTitle, kLocalMachineChainTitle}) {
        EXPECT_NE(ReportSection(tests, title), L"") << Printable(tests);
        EXPECT_EQ(ReportSection(tests, title), ReportSection(plainBody, title)) << Printable(tests);
    }
    ASSERT_GE(tests.size(), std::wstring(kPrompt).size());
    EXPECT_EQ(tests.substr(tests.size() - std::wstring(kPrompt).size()), kPrompt);
}

TEST(FixImport, AddsTheRootToTheLocalMachineStoreThenRunsTheTests)
{
    ASSERT_EQ(CountInRootStore(StoreScope::LocalMachine, EmbeddedRoot()), 0) << "already trusted before the import";
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun fix = product.Run({L"/fix"});
    ASSERT_TRUE(fix.finished);
    EXPECT_EQ(fix.standardOutput, "");
    EXPECT_EQ(CountInRootStore(StoreScope::LocalMachine, EmbeddedRoot()), 1);

    // The same PC, now with the root: the report after the banner is that of a
    // plain run (the shipped chain does not lead to this root).
    ASSERT_TRUE(DeleteFileW(product.LogPath().c_str()));
    const ProductRun plain = product.Run();
    ExpectImportThenTests(fix, plain);
}

TEST(FixImport, RunsAgainWhenTheRootIsAlreadyThere)
{
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun first = product.Run({L"/FIX"});
    ASSERT_TRUE(first.finished);
    ASSERT_EQ(CountInRootStore(StoreScope::LocalMachine, EmbeddedRoot()), 1);

    ASSERT_TRUE(DeleteFileW(product.LogPath().c_str()));
    const ProductRun again = product.Run({L"/Fix"});
    ASSERT_TRUE(DeleteFileW(product.LogPath().c_str()));
    const ProductRun plain = product.Run();
    ExpectImportThenTests(again, plain);
    EXPECT_EQ(CountInRootStore(StoreScope::LocalMachine, EmbeddedRoot()), 1)
        << "the store keeps one entry per certificate";
}

TEST(FixImport, StoreThatCannotBeOpenedEndsTheRunWithExitCodeOne)
{
    ASSERT_TRUE(MakeLocalMachineRootStoreUnopenable());
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    const ProductRun run = product.Run({L"/fix"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(ReportBody(run.logText),
              std::wstring(kImportDescribingLines) + L"error: \r\nError: Cannot open system trusted root store" + kPrompt)
        << Printable(run.logText);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(BytesToWide(run.standardError), WithoutBanners(run.logText));
}

}  // namespace
