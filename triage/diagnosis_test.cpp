// Each cause, from the report that shows it, with the value that proves it
// in its finding; and the two places where a report says less than it seems
// (a chain accepted without being built, trust lines that are start values).

#include "triage/diagnosis.h"

#include <gtest/gtest.h>

#include "certs/chain_codes.h"
#include "triage/format_match.h"
#include "triage/outputs.h"
#include "triage/test_support.h"

namespace triage {
namespace {

using testing::Edited;
using testing::GoldenText;

const std::string kChainFailure =
    "error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n"
    "\tLastApiError: 0x00000000\r\n\tFaulting function: 0\r\n\tchainTrust: 0x00010000\r\n"
    "\tchainPolicyStatus: 0xffffffff";

// The block the diagnostic prints when a call failed before any chain:
// 0xffffffff is the start value, and every trust row matches it.
std::string ApiFailureBlock()
{
    std::string block =
        "error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n"
        "\tLastApiError: 0x80092004\r\n\tFaulting function: 3 ( CertCreateCertificateChainEngine )\r\n"
        "\tchainTrust: 0xffffffff";
    for (const CodeText& row : kTrustStatusBits) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(row.code));
        block += "\r\n\t\t" + std::string(code) + ": " + ToUtf8(row.text);
    }
    return block + "\r\n\tchainPolicyStatus: 0xffffffff";
}

std::string BothScopes(const std::string& text, const std::string& block)
{
    return Edited(text, {{"[CurrentUser]" + kChainFailure, "[CurrentUser]" + block},
                         {"[LocalMachine]" + kChainFailure, "[LocalMachine]" + block}});
}

TEST(Diagnosis, EachCauseFromTheReportThatShowsIt)
{
    const std::string clean = GoldenText("clean-pc.txt");
    const std::string dnsFailure = "GetAddrInfoW response test:error: \r\nerror: GetAddrInfoW failed with code 11001 (0x00002af9)\r\n";
    const std::string chainOk = "\r\nOK";
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> causes;
        std::string proof;  // in the finding of the first cause
    } cases[] = {
        {"clean PC", clean, {"dns-failure", "chain-untrusted"}, "11001 (host not found)"},
        {"troubled PC", GoldenText("troubled-pc.txt"),
         {"hosts-service-host", "dns-unexpected-address", "chain-untrusted", "root-update-disabled",
          "proxy-localsystem", "proxy", "hosts-match-not-entry"},
         "line 3 \"203.0.113.9 Service.Zemlo.Example\""},
        {"import failed", GoldenText("fix-without-root-store.txt"), {"fix-failed"}, "Cannot open system trusted root store"},
        {"compatibility mode",
         Edited(clean, {{"SuiteMask: 0x00000100\r\n", "SuiteMask: 0x00000100error: \r\nError: Probably application "
                                                      "compatibility is set or inherited from parent process (platformID = 1)\r\n\r\n"}}),
         {"platform-compat", "dns-failure", "chain-untrusted"}, "platformID = 1"},
        {"clock outside the window",
         Edited(clean, {{"System time is: ####.##.## ##:##.##\r\nOK",
                         "System time is: 2031.05.17 08:00.00error: \r\nError: Windows has invalid system time"}}),
         {"clock", "dns-failure", "chain-untrusted"}, "2031-05-17T08:00:00Z"},
        {"a policy off on an old system", GoldenText("old-windows-pc.txt"),
         {"dns-failure", "chain-untrusted", "root-update-disabled"}, "11001"},
        {"the resolver answers elsewhere, hosts file clean",
         Edited(clean, {{dnsFailure, "GetAddrInfoW response test:\r\n  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address "
                                     "203.0.113.7:443, Socket type: SOCK_STREAM (stream), Protocol: Unspecified, Length of "
                                     "sockaddr: 16warning: \r\nWarning: did not find known ip address of service.zemlo.example"
                                     "\r\n\tThere were expected one of following ip: 192.0.2.10, 198.51.100.20\r\n"}}),
         {"dns-unexpected-address", "chain-untrusted"}, "203.0.113.7:443"},
        {"a call failed before the chain", BothScopes(clean, ApiFailureBlock()), {"dns-failure", "chain-api-failure"},
         "11001"},
        {"SHA-2 refused and the chain accepted unbuilt",
         BothScopes(Edited(clean, {{"SHA2 support:\r\nOK", "SHA2 support:error: \r\nError: System does not support SHA2"}}),
                    chainOk),
         {"sha2-unsupported", "dns-failure"}, "proves nothing"},
    };
    for (const auto& c : cases) {
        const auto read = testing::ReadBytes(c.text);
        ASSERT_EQ(read.runs.size(), 1u) << c.name;
        const RunRecord& run = read.runs[0];
        EXPECT_EQ(testing::CauseIds(run), c.causes) << c.name;
        ASSERT_FALSE(run.causes.empty()) << c.name;
        EXPECT_NE(run.causes[0].finding.find(c.proof), std::string::npos) << c.name << ": " << run.causes[0].finding;
        EXPECT_TRUE(run.unrecognised.empty()) << c.name << ": " << run.unrecognised[0].text;
    }
}

TEST(Diagnosis, AChainAcceptedWithoutSha2IsNotVerified)
{
    const std::string text = BothScopes(
        Edited(GoldenText("clean-pc.txt"), {{"SHA2 support:\r\nOK", "SHA2 support:error: \r\nError: System does not support SHA2"}}),
        "\r\nOK");
    const RunRecord run = testing::ReadBytes(text).runs.at(0);
    const auto json = RecordJson(run);
    EXPECT_EQ(json["chain"]["CurrentUser"]["ok"], true);
    EXPECT_EQ(json["chain"]["CurrentUser"]["verified"], false);
    EXPECT_EQ(run.StatusOf(Check::ChainLocalMachine), Status::Warning);
}

TEST(Diagnosis, StartValuesOfAFailedCallAreNoTrustProblems)
{
    const std::string text = Edited(GoldenText("clean-pc.txt"),
                                    {{"[CurrentUser]" + kChainFailure, "[CurrentUser]" + ApiFailureBlock()}});
    const RunRecord run = testing::ReadBytes(text).runs.at(0);
    const auto chain = RecordJson(run)["chain"]["CurrentUser"];
    EXPECT_EQ(chain["faulting_step"], 3);
    EXPECT_EQ(chain["last_api_error"], 0x80092004u);
    EXPECT_EQ(chain["trust_status"], 0xFFFFFFFFu);
    EXPECT_TRUE(chain["trust_bits"].empty()) << chain["trust_bits"].dump();
    // The other scope's real trust problem stays; the failed call is its own cause.
    EXPECT_EQ(testing::CauseIds(run), (std::vector<std::string>{"dns-failure", "chain-untrusted", "chain-api-failure"}));
    for (const Cause& cause : run.causes) {
        if (cause.id == "chain-untrusted") {
            EXPECT_EQ(cause.finding.find("CurrentUser"), std::string::npos) << cause.finding;
        }
        if (cause.id == "chain-api-failure") {
            EXPECT_NE(cause.finding.find("CertCreateCertificateChainEngine failed, LastApiError 0x80092004"),
                      std::string::npos)
                << cause.finding;
        }
    }
}

}  // namespace
}  // namespace triage
