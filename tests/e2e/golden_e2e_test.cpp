// Whole reports of the real program, compared byte for byte with the
// transcripts in tests/golden: one PC seeded as a whole for each scenario, the
// values Wine reports about itself pinned, only the time digits masked. Every
// run also shows on the console exactly its part of the log without the two
// banners, and writes nothing to standard output.

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "certs/cert_blobs.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/pc_scenarios.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

#ifndef ZEMLO_SOURCE_DIR_UNIX_PATH
#error "ZEMLO_SOURCE_DIR_UNIX_PATH names the source tree that holds tests/golden"
#endif

namespace {

const wchar_t kSetupComponentsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents";

// A PC older than Vista whose "Update Root Certificates" component is off and
// which has no root update policy at all.
void SeedOldWindowsPc()
{
    SeedCleanPc();
    if (::testing::Test::HasFatalFailure())
        return;
    ASSERT_TRUE(SetWineWindowsVersion(L"winxp"));
    ASSERT_TRUE(SeedWindowsBuildStrings(L"2600.xpsp_sp3_gdr.130307-0422",
                                        L"2600.6368.x86fre.xpsp_sp3_gdr.130307-0422",
                                        L"Microsoft Windows XP"));
    ASSERT_TRUE(SeedRegDword(HKEY_LOCAL_MACHINE, kSetupComponentsKey, L"rootautoupdate", 0));
}

void SeedCleanPcWithoutRootStore()
{
    SeedCleanPc();
    if (::testing::Test::HasFatalFailure())
        return;
    ASSERT_TRUE(MakeLocalMachineRootStoreUnopenable());
}

using Arguments = std::vector<std::wstring>;

struct Scenario {
    const char* name;
    void (*seed)();
    std::vector<Arguments> runs;  // one after the other, into the same log
    DWORD exitCode;               // of every run
    const char* transcript;       // in tests/golden
};

void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

// Scenarios whose report must be the same share one transcript.
const Scenario kScenarios[] = {
    {"CleanPc", SeedCleanPc, {{}}, 0, "clean-pc.txt"},
    {"CleanPcFixWithSecondArgument", SeedCleanPc, {{L"/fix", L"extra"}}, 0, "clean-pc.txt"},
    {"CleanPcFixWithoutSlash", SeedCleanPc, {{L"fix"}}, 0, "clean-pc.txt"},
    {"TroubledPc", SeedTroubledPc, {{}}, 0, "troubled-pc.txt"},
    {"OldWindowsPc", SeedOldWindowsPc, {{}}, 0, "old-windows-pc.txt"},
    {"FixOnCleanPc", SeedCleanPc, {{L"/fix"}}, 0, "fix-on-clean-pc.txt"},
    {"UpperCaseFixOnCleanPc", SeedCleanPc, {{L"/FIX"}}, 0, "fix-on-clean-pc.txt"},
    {"FixWithoutRootStore", SeedCleanPcWithoutRootStore, {{L"/fix"}}, 1, "fix-without-root-store.txt"},
    {"TwoRunsAppendToOneLog", SeedCleanPc, {{}, {L"/fix"}}, 0, "two-runs-one-log.txt"},
};

std::wstring Transcript(const char* fileName)
{
    const std::wstring path =
        UnixToWindowsPath(std::string(ZEMLO_SOURCE_DIR_UNIX_PATH) + "/tests/golden/" + fileName);
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, &bytes)) << "cannot read " << fileName;
    return Utf8ToWide(bytes);
}

// Where two texts part, with some context on either side.
std::string FirstDifference(const std::wstring& actual, const std::wstring& expected)
{
    const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    const size_t at = static_cast<size_t>(mismatch.first - actual.begin());
    const size_t from = at > 120 ? at - 120 : 0;
    return "first difference at character " + std::to_string(at) + "\n--- log:\n" +
           Printable(actual.substr(from, 240)) + "\n--- transcript:\n" + Printable(expected.substr(from, 240));
}

class FullReport : public ::testing::TestWithParam<Scenario> {};

TEST_P(FullReport, IsTheTranscriptOnLogAndConsole)
{
    const Scenario& scenario = GetParam();
    // The transcripts show the clock inside the embedded chain's validity, as
    // on the PCs the program is made for.
    ASSERT_TRUE(CertBlobTimeValidNow(kServiceChainBlob))
        << "the clock is outside the embedded service chain's validity: the transcripts need a current chain";
    const std::wstring expected = Transcript(scenario.transcript);
    ASSERT_FALSE(expected.empty());
    scenario.seed();
    ASSERT_FALSE(HasFatalFailure()) << "seeding failed";

    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    std::string logBefore;
    ProductRun run;
    for (const Arguments& arguments : scenario.runs) {
        run = product.Run(arguments);
        ASSERT_TRUE(run.finished) << "the run hung";
        EXPECT_EQ(run.exitCode, scenario.exitCode);
        EXPECT_EQ(run.standardOutput, "");
        ASSERT_TRUE(run.logExists);
        ASSERT_EQ(run.logBytes.size() % 2, 0u) << "the log is not whole UTF-16 characters";
        // A run only appends: what was there stays as it was.
        ASSERT_GE(run.logBytes.size(), logBefore.size());
        EXPECT_EQ(run.logBytes.compare(0, logBefore.size(), logBefore), 0) << "an earlier run's text changed";
        const std::wstring thisRun = Utf16LeToWide(run.logBytes.substr(logBefore.size()));
        const std::wstring console = BytesToWide(run.standardError);
        const std::wstring echoed = WithoutBanners(thisRun);
        EXPECT_EQ(console, echoed) << "console and log disagree, " << FirstDifference(console, echoed);
        logBefore = run.logBytes;
    }

    const std::wstring log = MaskTimes(run.logText);
    EXPECT_EQ(log, expected) << scenario.transcript << ": " << FirstDifference(log, expected);

    // zemlotriage's tests read these logs as the program wrote them.
    if (const char* folder = std::getenv("ZEMLO_KEEP_REPORTS")) {
        EXPECT_TRUE(WriteWholeFile(UnixToWindowsPath(std::string(folder) + "/" + scenario.name + ".txt"), run.logBytes));
    }
}

INSTANTIATE_TEST_SUITE_P(Golden, FullReport, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
