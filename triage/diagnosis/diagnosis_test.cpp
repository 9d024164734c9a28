// Each cause, from the report that shows it, with the value that proves it
// in its finding; and the two places where a report says less than it seems
// (a chain accepted without being built, trust lines that are start values).

#include "triage/diagnosis/diagnosis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "certs/chain_codes.h"
#include "triage/diagnosis/cause_words.h"
#include "triage/report/format_match.h"
#include "triage/output/outputs.h"
#include "triage/test_support.h"

namespace triage {
namespace {

using testing::Edited;
using testing::GoldenText;

const std::string kChainFailure =
    "error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n"
    "\tLastApiError: 0x00000000\r\n\tFaulting function: 0\r\n\tchainTrust: 0x00010000\r\n"
    "\tchainPolicyStatus: 0xffffffff";

// A decoded status row as the diagnostic prints it from its table.
std::string DecodedRow(const CodeText (&table)[std::size(kTrustStatusBits)], std::uint32_t code)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", code);
    return std::string("\t\t") + hex + ": " + ToUtf8(FindCodeText(table, code));
}

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
         {"clock", "dns-failure", "chain-untrusted"}, "2031-05-17 08:00:00 UTC"},
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

// A board opens with the run's verdict in words: its causes counted, the
// most serious one's headline, and why a run is incomplete.
TEST(Diagnosis, VerdictInWordsSaysWhatAndWhy)
{
    const std::string clean = GoldenText("clean-pc.txt");
    const struct {
        const char* name;
        std::string text;
        std::string words;
    } cases[] = {
        {"troubled PC", GoldenText("troubled-pc.txt"),
         "3 errors, 3 warnings, 1 info: the hosts file redirects the service host."},
        {"a section with a line it cannot place",
         Edited(clean, {{"System time is: ####.##.## ##:##.##\r\n", "System time is: ####.##.## ##:##.##\r\nSystem time was: ?\r\n"}}),
         "2 errors: the service host's name could not be looked up; the \"System time\" section could not be read in full."},
        {"cut inside the proxy section", clean.substr(0, clean.find("Proxy detection:") + 18),
         "1 warning: the run was cut short."},
        {"a failed /fix", GoldenText("fix-without-root-store.txt"), "1 error: the /fix import of the root certificate failed."},
    };
    for (const auto& c : cases) {
        const auto read = testing::ReadBytes(c.text);
        ASSERT_EQ(read.runs.size(), 1u) << c.name;
        EXPECT_EQ(VerdictWords(read.runs[0]), c.words) << c.name;
    }
}

// Every cause the diagnosis can give has its words for the boards.
TEST(Diagnosis, EveryCauseHasItsWords)
{
    std::set<std::string> ids;
    for (const char* source : {"/triage/diagnosis/diagnosis.cpp", "/triage/diagnosis/chain_causes.cpp"}) {
        std::ifstream file(std::string(TRIAGE_REPO_ROOT) + source);
        std::stringstream text;
        text << file.rdbuf();
        const std::string code = text.str();
        const std::regex added(R"re(add\(\s*"([a-z0-9-]+)")re");
        for (auto it = std::sregex_iterator(code.begin(), code.end(), added); it != std::sregex_iterator(); ++it) {
            ids.insert((*it)[1].str());
            const CauseWords* words = WordsOfCause((*it)[1].str());
            ASSERT_NE(words, nullptr) << (*it)[1] << " in " << source;
            EXPECT_GT(std::string(words->meaning).size(), 40u) << words->id;
        }
    }
    EXPECT_EQ(ids.size(), std::size(kCauseWords));
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

// A call that failed before the chain leaves start values; the policy call
// (step 5) fails after the chain was built and trusted, so its bits are real.
TEST(Diagnosis, AFailedCallKeepsOnlyRealTrustBits)
{
    const std::string revocationUnknown = DecodedRow(kTrustStatusBits, CERT_TRUST_REVOCATION_STATUS_UNKNOWN);
    const struct {
        const char* name;
        std::string block;
        std::vector<std::uint32_t> trustBits;
        const char* inFinding;
        const char* notInFinding;  // nor in the advice
    } cases[] = {
        {"engine not created", ApiFailureBlock(), {}, "CertCreateCertificateChainEngine failed, LastApiError 0x80092004",
         "after the chain was built"},
        {"policy call failed",
         "error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n\tLastApiError: 0x80070057\r\n"
         "\tFaulting function: 5 ( CertVerifyCertificateChainPolicy )\r\n\tchainTrust: 0x00000040\r\n" +
             revocationUnknown + "\r\n\tchainPolicyStatus: 0x00000000",
         {CERT_TRUST_REVOCATION_STATUS_UNKNOWN},
         "CertVerifyCertificateChainPolicy failed, LastApiError 0x80070057 (invalid argument) after the chain was built and passed its "
         "trust check (chainTrust 0x00000040)",
         "before a chain was built"},
    };
    for (const auto& c : cases) {
        const std::string text = Edited(GoldenText("clean-pc.txt"), {{"[CurrentUser]" + kChainFailure, "[CurrentUser]" + c.block}});
        const RunRecord run = testing::ReadBytes(text).runs.at(0);
        EXPECT_TRUE(run.unrecognised.empty()) << c.name << ": " << run.unrecognised.at(0).text;
        EXPECT_EQ(run.chainCurrentUser.trustBits, c.trustBits) << c.name;
        // The other scope's real trust problem stays; the failed call is its own cause.
        EXPECT_EQ(testing::CauseIds(run), (std::vector<std::string>{"dns-failure", "chain-untrusted", "chain-api-failure"}))
            << c.name;
        for (const Cause& cause : run.causes) {
            if (cause.id == "chain-untrusted") {
                EXPECT_EQ(cause.finding.find("CurrentUser"), std::string::npos) << c.name << ": " << cause.finding;
            }
            if (cause.id != "chain-api-failure")
                continue;
            EXPECT_NE(cause.finding.find(c.inFinding), std::string::npos) << c.name << ": " << cause.finding;
            EXPECT_EQ((cause.finding + cause.advice).find(c.notInFinding), std::string::npos) << c.name << ": " << cause.finding;
        }
    }
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
    return text;
}

// The block of a chain that was built and rejected, with its decoded rows.
std::string RejectedChain(std::uint32_t trust, std::uint32_t policy)
{
    std::string block = "error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n"
                        "\tLastApiError: 0x00000000\r\n\tFaulting function: 0\r\n\tchainTrust: " + Hex(trust);
    for (const CodeText& row : kTrustStatusBits) {
        if (trust & row.code)
            block += "\r\n\t\t" + Hex(row.code) + ": " + ToUtf8(row.text);
    }
    block += "\r\n\tchainPolicyStatus: " + Hex(policy);
    if (const wchar_t* text = FindCodeText(kPolicyStatusCodes, policy))
        block += "\r\n\t\t" + Hex(policy) + ": " + ToUtf8(text);
    return block;
}

// Advice that the rest of the run contradicts misleads support most: each
// row is a log on which the advice of one cause must follow what else it shows.
TEST(Diagnosis, AdviceAndFindingFollowTheWholeRun)
{
    const std::string clean = GoldenText("clean-pc.txt");
    const std::string policyOff =
        "Trusted store auto update configuration:error: \r\nError: SOFTWARE\\Policies\\Microsoft\\SystemCertificates"
        "\\AuthRoot\\DisableRootAutoUpdate [0x00000001] disables certificate auto update";
    const std::string timeInvalid = RejectedChain(CERT_TRUST_IS_NOT_TIME_VALID, kNoChainStatus);
    const struct {
        const char* fault;
        std::string text;
        const char* cause;
        std::vector<std::string> says, neverSays;  // in its finding and advice
    } cases[] = {
        {"/fix recommended after the import that did not help", GoldenText("fix-on-clean-pc.txt"), "chain-untrusted",
         {"this run's /fix import did not help"}, {"run zemlodiag.exe /fix"}},
        {"/fix recommended for root auto update after the import",
         Edited(GoldenText("fix-on-clean-pc.txt"),
                {{"Trusted store auto update configuration:\r\nInfo: Key SOFTWARE\\Policies\\Microsoft\\SystemCertificates"
                  "\\AuthRoot does not exists. - OK",
                  policyOff}}),
         "root-update-disabled", {"allow root auto update"}, {"/fix"}},
        {"a correct clock blamed for a certificate out of its validity",
         BothScopes(clean, timeInvalid), "chain-untrusted", {"not time valid", "do not change the PC's clock"},
         {"fix the PC's clock"}},
        {"a wrong clock not put first",
         BothScopes(Edited(clean, {{"System time is: ####.##.## ##:##.##\r\nOK",
                                    "System time is: 2031.05.17 08:00.00error: \r\nError: Windows has invalid system time"}}),
                    timeInvalid),
         "chain-untrusted", {"fix the PC's clock first"}, {"do not change", "Only one scope"}},
        {"no word that only one scope fails",
         Edited(clean, {{"[CurrentUser]" + kChainFailure, "[CurrentUser]\r\nOK"}}), "chain-untrusted",
         {"LocalMachine: ", "Only one scope fails"}, {"CurrentUser: "}},
        {"the policy status without its name",
         BothScopes(clean, RejectedChain(0, PlatformCode(CERT_E_CN_NO_MATCH))), "chain-untrusted",
         {"chainPolicyStatus 0x800b010f (The certificate's CN name does not match the passed value)"}, {}},
        {"a provider error without its word",
         Edited(clean, {{"SHA2 support:\r\nOK", "SHA2 support:error: \r\nError: CryptAcquireContext failed with error "
                                                 "gle: 0x80090017"}}),
         "sha2-unsupported", {"gle: 0x80090017 (provider type not defined)"}, {}},
        {"the decimal import error not in hex",
         Edited(GoldenText("fix-without-root-store.txt"),
                {{"Error: Cannot open system trusted root store",
                  "Error: CertAddCertificateContextToStore returned error 2147942405\r\n"}}),
         "fix-failed", {"returned error 2147942405 = 0x80070005 (access denied)"}, {}},
        {"a Win32 import error not in hex",
         Edited(GoldenText("fix-without-root-store.txt"),
                {{"Error: Cannot open system trusted root store",
                  "Error: CertAddCertificateContextToStore returned error 5\r\n"}}),
         "fix-failed", {"returned error 5 = 0x00000005 (access denied)"}, {}},
    };
    for (const auto& c : cases) {
        const auto read = testing::ReadBytes(c.text);
        ASSERT_EQ(read.runs.size(), 1u) << c.fault;
        const RunRecord& run = read.runs[0];
        EXPECT_TRUE(run.unrecognised.empty()) << c.fault << ": " << run.unrecognised[0].text;
        const Cause* cause = nullptr;
        for (const Cause& each : run.causes)
            cause = each.id == c.cause ? &each : cause;
        ASSERT_NE(cause, nullptr) << c.fault << ": no " << c.cause;
        const std::string said = cause->finding + "\n" + cause->advice;
        for (const std::string& text : c.says)
            EXPECT_NE(said.find(text), std::string::npos) << c.fault << ": \"" << text << "\" missing in\n" << said;
        for (const std::string& text : c.neverSays)
            EXPECT_EQ(said.find(text), std::string::npos) << c.fault << ": \"" << text << "\" in\n" << said;
    }
}

// The report prints a proxy server or bypass list also under ProxyEnable=0;
// such leftovers inform, beside a real fault they would otherwise hide behind.
TEST(Diagnosis, ASwitchedOffProxyIsInformationNotACause)
{
    const std::string text = Edited(
        GoldenText("clean-pc.txt"),
        {{"Proxy detection:\r\nOK",
          "Proxy detection:\r\nInfo   : HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\r\n"
          "           @ProxyServer=\"10.9.9.9:8080\"\r\nInfo   : HKU\\S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion"
          "\\Internet Settings\r\n           @ProxyOverride=\"<local>\""}});
    const RunRecord run = testing::ReadBytes(text).runs.at(0);
    EXPECT_TRUE(run.unrecognised.empty()) << run.unrecognised[0].text;
    EXPECT_EQ(testing::CauseIds(run), (std::vector<std::string>{"dns-failure", "chain-untrusted"}));
    EXPECT_EQ(run.StatusOf(Check::Proxy), Status::Passed);
    ASSERT_EQ(run.notes.size(), 2u);
    EXPECT_NE(run.notes[0].find("HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings: "
                                "ProxyServer=\"10.9.9.9:8080\""),
              std::string::npos)
        << run.notes[0];
    EXPECT_NE(run.notes[1].find("HKU\\S-1-5-18"), std::string::npos) << run.notes[1];
    EXPECT_EQ(RecordJson(run)["notes"].size(), 2u);
}

// The report's hosts search is textual; the frame's lines tell an entry from
// a comment or a longer name. Each case is the hosts section the diagnostic
// prints for that file.
std::string HostsSection(const std::vector<std::string>& fileLines)
{
    std::string file;
    for (const std::string& line : fileLines)
        file += line + "\r\n";
    std::string lower = file;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string text = "%SystemRoot%\\System32\\drivers\\etc\\hosts test:";
    if (lower.find("service.zemlo.example") != std::string::npos)
        text += "error: \r\nerror: service.zemlo.example in hosts detected!\r\n";
    if (lower.find("zemlo.example") != std::string::npos)
        text += "warning: \r\nwarning: zemlo.example in hosts detected!\r\n";
    if (lower.find("zemlo-eu.example") != std::string::npos)
        text += "warning: \r\nwarning: zemlo-eu.example in hosts detected!\r\n";
    return text + "\r\n==================\r\n" + file + "\r\n==================";
}

std::string WithHostsFile(const std::vector<std::string>& fileLines)
{
    std::string text = GoldenText("troubled-pc.txt");
    const std::size_t start = text.find("%SystemRoot%");
    const std::size_t end = text.find("==================", text.find("==================", start) + 18) + 18;
    return text.replace(start, end - start, HostsSection(fileLines));
}

bool Has(const std::vector<std::string>& ids, const char* id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

TEST(Diagnosis, HostsLinesAreJudgedByWhatTheyAre)
{
    std::vector<std::string> bigFile;
    for (int line = 1; line < 3778; ++line)
        bigFile.push_back("0.0.0.0 ads" + std::to_string(line) + ".tracker.example");
    bigFile.push_back("203.0.113.9 service.zemlo.example");
    bigFile.push_back("0.0.0.0 last.tracker.example");
    std::string longComment;
    for (int i = 0; i < 100; ++i)
        longComment += "\u00fc";
    const std::string clean = GoldenText("clean-pc.txt");
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> causes;  // the hosts causes the run gets
        const char* proof;                // in the first one's finding
        const char* status;
        bool redirectAdvised;  // the resolver's advice blames the hosts file
    } cases[] = {
        {"an entry for the service host", WithHostsFile({"127.0.0.1 localhost", "203.0.113.9 Service.Zemlo.Example"}),
         {"hosts-service-host"}, "line 2 \"203.0.113.9 Service.Zemlo.Example\"", "error", true},
        {"the service host commented out", WithHostsFile({"127.0.0.1 localhost", "# 203.0.113.9 service.zemlo.example"}),
         {"hosts-match-not-entry"}, "a comment (line 2 \"# 203.0.113.9 service.zemlo.example\")", "passed", false},
        {"a longer name under the vendor's domain", WithHostsFile({"203.0.113.9 oldservice.zemlo.example"}),
         {"hosts-vendor-domain"}, "line 1 \"203.0.113.9 oldservice.zemlo.example\"", "warning", false},
        // A real run under Wine: a commented-out service host, then a longer name.
        {"a comment and a longer name, real log", testing::TestData("hosts-comment-and-longer-name.txt"),
         {"hosts-vendor-domain", "hosts-match-not-entry"}, "line 3 \"203.0.113.9 oldservice.zemlo.example\"", "warning", false},
        {"a regional name with a comment after it", WithHostsFile({"203.0.113.9 updates.zemlo-eu.example # old"}),
         {"hosts-vendor-domain"}, "line 1", "warning", false},
        {"a name outside the vendor's domains", WithHostsFile({"203.0.113.9 myzemlo.example"}), {"hosts-match-not-entry"},
         "no entry for the vendor's names (line 1", "passed", false},
        {"an entry with a long comment quoted shortened, whole characters only",
         WithHostsFile({"203.0.113.9 service.zemlo.example # x" + longComment}), {"hosts-service-host"},
         "line 1 \"203.0.113.9 service.zemlo.example # x\u00fc", "error", true},
        {"the entry far past the content's limit", WithHostsFile(bigFile), {"hosts-service-host"},
         "line 3778 \"203.0.113.9 service.zemlo.example\"", "error", true},
        {"the file's text not in the log: the report's verdict stands",
         clean.substr(0, clean.find("%SystemRoot%")) +
             "%SystemRoot%\\System32\\drivers\\etc\\hosts test:error: \r\nerror: service.zemlo.example in hosts detected!\r\n",
         {"hosts-service-host"}, "could not be checked", "error", true},
        // The service host's own line holds the primary domain: one finding.
        {"the file's text not in the log, the service host and so the primary domain found",
         clean.substr(0, clean.find("%SystemRoot%")) +
             "%SystemRoot%\\System32\\drivers\\etc\\hosts test:error: \r\nerror: service.zemlo.example in hosts "
             "detected!\r\nwarning: \r\nwarning: zemlo.example in hosts detected!\r\n",
         {"hosts-service-host"}, "could not be checked", "error", true},
    };
    for (const auto& c : cases) {
        const RunRecord run = testing::ReadBytes(c.text).runs.at(0);
        EXPECT_NO_THROW(RecordJson(run).dump()) << c.name;  // valid UTF-8 throughout
        const std::vector<std::string> ids = testing::CauseIds(run);
        EXPECT_EQ(StatusName(run.StatusOf(Check::Hosts)), std::string(c.status)) << c.name;
        for (const char* hostsCause : {"hosts-service-host", "hosts-vendor-domain", "hosts-match-not-entry"})
            EXPECT_EQ(Has(ids, hostsCause), Has(c.causes, hostsCause)) << c.name << ": " << hostsCause;
        for (const Cause& cause : run.causes) {
            if (cause.id == c.causes.front()) {
                EXPECT_NE(cause.finding.find(c.proof), std::string::npos) << c.name << ": " << cause.finding;
            }
            if (cause.id == "dns-unexpected-address") {
                EXPECT_EQ(cause.advice.find("hosts file entry above") != std::string::npos, c.redirectAdvised) << c.name;
            }
        }
    }
}

// A section holding the diagnostic's own error line is an error, also where
// the reader knows no cause for it.
TEST(Diagnosis, AnErrorLineMakesASectionAnError)
{
    const std::string setupKeyMissing =
        "Trusted store auto update configuration:error: \r\nError: Cannot open key SOFTWARE\\Microsoft\\Windows\\"
        "CurrentVersion\\Setup\\OC Manager\\Subcomponents [gle:0x00000002]\r\n";
    const std::string old = GoldenText("old-windows-pc.txt");
    const std::size_t start = old.find("Trusted store auto update configuration:");
    const std::size_t end = old.find("Proxy detection:");
    const std::string text = std::string(old).replace(start, end - start, setupKeyMissing + "\r\n");
    const RunRecord run = testing::ReadBytes(text).runs.at(0);
    EXPECT_TRUE(run.unrecognised.empty());
    EXPECT_EQ(StatusName(run.StatusOf(Check::RootAutoUpdate)), std::string("error"));
    EXPECT_TRUE(Has(testing::CauseIds(run), "root-update-unknown"));
    EXPECT_FALSE(Has(testing::CauseIds(run), "root-update-disabled"));
}

}  // namespace
}  // namespace triage

namespace triage {
namespace {

// A section whose text stops before it could say anything is not finished:
// neither an error nor passed.
TEST(Diagnosis, ASectionCutOffBeforeItsResultIsNotFinished)
{
    const std::string fix = GoldenText("fix-on-clean-pc.txt");
    const std::string troubled = GoldenText("troubled-pc.txt");
    const struct {
        const char* name;
        std::string text;
        Check check;
    } cases[] = {
        {"/fix cut off before its result", fix.substr(0, fix.find("\r\nCertificate successfully imported")), Check::Fix},
        {"/fix cut off after its title", fix.substr(0, fix.find("Subject:")), Check::Fix},
        {"the resolver's title alone", troubled.substr(0, troubled.find("  0: Flags")), Check::Dns},
    };
    for (const auto& c : cases) {
        const auto read = testing::ReadBytes(c.text);
        ASSERT_EQ(read.runs.size(), 1u) << c.name;
        EXPECT_EQ(std::string(StatusName(read.runs[0].StatusOf(c.check))), "not finished") << c.name;
    }
}

}  // namespace
}  // namespace triage
