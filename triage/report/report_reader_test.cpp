// Runs and sections as the reader finds them: every golden transcript gives
// its expected record, and edited transcripts cover what the transcripts do
// not show (a run cut short, a console capture, lines nobody knows).

#include "triage/report/report_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "triage/log_input.h"
#include "triage/output/outputs.h"
#include "triage/test_support.h"

namespace triage {
namespace {

using nlohmann::ordered_json;
using testing::Edited;
using testing::GoldenText;
using testing::Mismatch;
using testing::ReadBytes;

const std::string kStartRule = "\r\n###########################################\r\nLog start time: ####.##.## ##:##.##";
const std::string kEndBanner =
    "\r\n###########################################\r\nLog end time: ####.##.## ##:##.##\r\n"
    "###########################################\r\n";

const ordered_json kCleanWindows10 = ordered_json::parse(R"({
    "version": "10.0.18362", "service_pack": "", "platform_id": 2, "product_type": 1, "suite_mask": 256,
    "arch": "x64", "build_lab": "19041.vb_release.191206-1406",
    "build_lab_ex": "19041.1.amd64fre.vb_release.191206-1406", "product_name": "Windows 10 Pro"})");
const ordered_json kPartialChain = ordered_json::parse(R"({
    "ok": false, "verified": false, "last_api_error": 0, "faulting_step": 0, "trust_status": 65536,
    "trust_bits": [65536], "policy_status": 4294967295})");

ordered_json CleanRun()
{
    ordered_json run = ordered_json::parse(R"({
        "run": 1, "start": null, "end": null, "ended": true, "local_system": false, "fix": null,
        "product": {"type": null, "version": null, "language": null},
        "clock": {"utc": null, "ok": true}, "sha2": {"ok": true, "error": null},
        "root_auto_update": {"ok": true, "policy": null, "component": null},
        "proxy": {"ok": true, "keys": [], "errors": []},
        "hosts": {"ok": true, "found": [], "error": null, "content": null},
        "dns": {"ok": null, "addresses": [], "error_code": 11001},
        "unrecognised": []})");
    run["os"] = kCleanWindows10;
    run["chain"] = {{"CurrentUser", kPartialChain}, {"LocalMachine", kPartialChain}};
    return run;
}

ordered_json With(ordered_json base, const ordered_json& patch)
{
    base.merge_patch(patch);
    return base;
}

struct TranscriptRuns {
    const char* transcript;
    std::vector<ordered_json> runs;
};

// The record of every run of every golden transcript.
std::vector<TranscriptRuns> GoldenRecords()
{
    const ordered_json fixed = {{"fix", {{"imported", true}}}};
    return {
        {"clean-pc.txt", {CleanRun()}},
        {"fix-on-clean-pc.txt", {With(CleanRun(), fixed)}},
        {"two-runs-one-log.txt", {CleanRun(), With(CleanRun(), With(fixed, {{"run", 2}}))}},
        {"fix-without-root-store.txt",
         {ordered_json::parse(R"({"ended": true, "os": {"version": null},
             "fix": {"imported": false, "error": "Error: Cannot open system trusted root store"},
             "chain": {"CurrentUser": {"ok": null}}, "unrecognised": []})")}},
        {"old-windows-pc.txt",
         {With(CleanRun(), ordered_json::parse(R"({
             "os": {"version": "5.1.2600", "service_pack": "Service Pack 3", "build_lab": "2600.xpsp_sp3_gdr.130307-0422",
                    "build_lab_ex": "2600.6368.x86fre.xpsp_sp3_gdr.130307-0422", "product_name": "Microsoft Windows XP"},
             "root_auto_update": {"ok": false, "policy": null, "component": 0}})"))}},
        {"troubled-pc.txt",
         {With(CleanRun(), ordered_json::parse(R"({
             "os": {"version": "6.1.7601", "service_pack": "Service Pack 1", "build_lab": "7601.win7sp1_ldr.170913-0600",
                    "build_lab_ex": "7601.23915.amd64fre.win7sp1_ldr.170913-0600", "product_name": "Windows 7 Professional"},
             "product": {"type": "Internet Security", "version": "21.3.10.391", "language": "en-US"},
             "root_auto_update": {"ok": false, "policy": 1, "component": null,
                 "lines": ["Error: SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate [0x00000001] disables certificate auto update"]},
             "proxy": {"ok": false, "errors": [], "keys": [
                 {"key": "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyEnable": 1,
                  "ProxySettingsPerUser": null, "ProxyServer": "proxy.corp.example:8080", "ProxyOverride": "*.corp.example;<local>"},
                 {"key": "HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyEnable": null,
                  "ProxySettingsPerUser": 0, "ProxyServer": null, "ProxyOverride": null},
                 {"key": "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyEnable": 1,
                  "ProxySettingsPerUser": null, "ProxyServer": "127.0.0.1:8888", "ProxyOverride": null},
                 {"key": "HKU\\S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyEnable": 1,
                  "ProxySettingsPerUser": null, "ProxyServer": "10.0.0.1:3128", "ProxyOverride": null}]},
             "hosts": {"ok": false, "found": ["service.zemlo.example", "zemlo.example", "zemlo-eu.example"], "error": null,
                 "content": "127.0.0.1 localhost\n::1 localhost\n203.0.113.9 Service.Zemlo.Example\n# 203.0.113.9 updates.zemlo-eu.example\n"},
             "dns": {"ok": false, "addresses": ["203.0.113.9:443"], "error_code": null}})"))}},
    };
}

TEST(ReportReader, GoldenTranscriptsGiveTheirRecords)
{
    for (const auto& c : GoldenRecords()) {
        const auto read = ReadBytes(testing::Golden(c.transcript));
        EXPECT_EQ(read.input.error, "") << c.transcript;
        ASSERT_EQ(read.runs.size(), c.runs.size()) << c.transcript;
        for (std::size_t i = 0; i < c.runs.size(); ++i)
            EXPECT_EQ(Mismatch(RecordJson(read.runs[i]), c.runs[i]), "") << c.transcript << " run " << i + 1;
    }
}

// Logs of the real program under Wine, kept by the whole-report tests
// (UTF-16LE with real times): the same records, with their times read.
TEST(ReportReader, LogsOfTheRealProgramGiveTheirRecords)
{
    const char* folder = std::getenv("TRIAGE_REAL_LOGS");
    const struct {
        const char* scenario;
        const char* transcript;
    } scenarios[] = {{"TroubledPc", "troubled-pc.txt"},          {"OldWindowsPc", "old-windows-pc.txt"},
                     {"FixOnCleanPc", "fix-on-clean-pc.txt"},    {"FixWithoutRootStore", "fix-without-root-store.txt"},
                     {"TwoRunsAppendToOneLog", "two-runs-one-log.txt"}};
    if (folder == nullptr || !std::ifstream(std::string(folder) + "/TroubledPc.txt"))
        GTEST_SKIP() << "no logs of the real program: run the Golden tests with ZEMLO_KEEP_REPORTS first";
    const auto records = GoldenRecords();
    for (const auto& s : scenarios) {
        const std::string path = std::string(folder) + "/" + s.scenario + ".txt";
        std::vector<RunRecord> runs;
        const InputResult input = ReadLogFile(path, {}, [&](RunRecord&& run) { runs.push_back(std::move(run)); });
        EXPECT_EQ(input.error, "") << path;
        const auto expected = std::find_if(records.begin(), records.end(), [&](const TranscriptRuns& r) {
            return std::string(r.transcript) == s.transcript;
        });
        ASSERT_EQ(runs.size(), expected->runs.size()) << path;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            ordered_json json = RecordJson(runs[i]);
            for (const char* time : {"start", "end"})
                EXPECT_TRUE(std::regex_match(json[time].get<std::string>(), std::regex(R"(20\d\d-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
                    << path << " " << time << " " << json[time];
            ordered_json want = expected->runs[i];
            want.erase("start");
            want.erase("end");
            if (want.contains("clock"))
                want["clock"].erase("utc");
            EXPECT_EQ(Mismatch(json, want), "") << path << " run " << i + 1;
        }
    }
}

// A line with the clean PC's chain failure, for edits.
const std::string kCurrentUserBlock =
    "Verify chain test: [CurrentUser]error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n"
    "\tLastApiError: 0x00000000\r\n\tFaulting function: 0\r\n\tchainTrust: 0x00010000\r\n"
    "\tchainPolicyStatus: 0xffffffff";

TEST(ReportReader, RunsAndSectionsOfEditedReports)
{
    const std::string clean = GoldenText("clean-pc.txt");
    const std::size_t endAt = clean.find(kEndBanner);
    const std::string withoutEnd = clean.substr(0, endAt);
    // What the console shows: the report without its two banners.
    const std::size_t bodyAt = clean.find("OS version:");
    const std::string console = clean.substr(bodyAt, endAt - bodyAt);
    const struct {
        const char* name;
        std::string text;
        ordered_json expected;  // the last run
        std::size_t runs;
    } cases[] = {
        {"window closed before the key press", withoutEnd, {{"ended", false}, {"end", nullptr}}, 1},
        {"console capture", console, {{"ended", false}, {"start", nullptr}, {"unrecognised", ordered_json::array()}}, 1},
        {"a hosts file that holds the frame's own end",
         Edited(GoldenText("troubled-pc.txt"),
                {{"::1 localhost\r\n", "::1 localhost\r\n==================\r\n\r\nGetAddrInfoW response test:\r\nOK\r\n"}}),
         ordered_json::parse(R"({"hosts": {"content": "127.0.0.1 localhost\n::1 localhost\n==================\n\nGetAddrInfoW response test:\nOK\n203.0.113.9 Service.Zemlo.Example\n# 203.0.113.9 updates.zemlo-eu.example\n"},
             "dns": {"ok": false, "addresses": ["203.0.113.9:443"]}, "unrecognised": []})"),
         1},
        {"hosts names found and the name not resolving",
         Edited(GoldenText("troubled-pc.txt"),
                {{"GetAddrInfoW response test:\r\n  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.9:443, "
                  "Socket type: SOCK_STREAM (stream), Protocol: Unspecified, Length of sockaddr: 16warning: \r\nWarning: "
                  "did not find known ip address of service.zemlo.example\r\n\tThere were expected one of following ip: "
                  "192.0.2.10, 198.51.100.20",
                  "GetAddrInfoW response test:error: \r\nerror: GetAddrInfoW failed with code 11001 (0x00002af9)\r\n"}}),
         ordered_json::parse(R"({"hosts": {"found": ["service.zemlo.example", "zemlo.example", "zemlo-eu.example"],
             "content": "127.0.0.1 localhost\n::1 localhost\n203.0.113.9 Service.Zemlo.Example\n# 203.0.113.9 updates.zemlo-eu.example\n"},
             "dns": {"ok": null, "error_code": 11001}, "unrecognised": []})"),
         1},
        {"a run cut inside the hosts frame, then another run",
         GoldenText("troubled-pc.txt").substr(0, GoldenText("troubled-pc.txt").find("# 203.0.113.9")) + clean,
         {{"run", 2}, {"ended", true}, {"hosts", {{"ok", true}}}, {"unrecognised", ordered_json::array()}}, 2},
        {"two runs in one console window", console + "\r\n" + console,
         {{"run", 2}, {"ended", false}, {"unrecognised", ordered_json::array()}}, 2},
        {"real times", Edited(clean, {{"Log start time: ####.##.## ##:##.##", "Log start time: 2026.12.08 05:23.35"},
                                      {"Log end time: ####.##.## ##:##.##", "Log end time: 2026.12.08 05:24.01"},
                                      {"System time is: ####.##.## ##:##.##", "System time is: 2026.12.08 05:23.35"}}),
         {{"start", "2026-12-08T05:23:35Z"}, {"end", "2026-12-08T05:24:01Z"}, {"clock", {{"utc", "2026-12-08T05:23:35Z"}}}},
         1},
        {"LocalSystem", Edited(clean, {{"###\r\nOS version", "###\r\nUser: NT AUTHORITY\\SYSTEM\r\nOS version"}}),
         {{"local_system", true}, {"unrecognised", ordered_json::array()}}, 1},
        {"a line nobody knows, with its number",
         Edited(clean, {{"Proxy detection:\r\nOK", "Proxy detection:\r\nsomething else\r\nOK"}}),
         {{"proxy", {{"ok", true}}}, {"unrecognised", {{{"line", 19}, {"text", "something else"}}}}}, 1},
        {"stray text before the first banner", "hello\r\n" + clean,
         {{"unrecognised", {{{"line", 1}, {"text", "hello"}}}}}, 1},
        {"an appended run without its end banner", clean + withoutEnd, {{"run", 2}, {"ended", false}}, 2},
        {"proxy values without ProxyEnable, and a key that cannot be opened",
         Edited(clean, {{"Proxy detection:\r\nOK",
                         "Proxy detection:error: \r\nError: Cannot open key SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                         "Internet Settings [gle:0x00000002]\r\nInfo   : HKCU\\SOFTWARE\\x\r\n           "
                         "@ProxyOverride=\"<local>\""}}),
         ordered_json::parse(R"({"proxy": {"ok": false, "keys": [{"key": "HKCU\\SOFTWARE\\x", "ProxyEnable": null,
             "ProxySettingsPerUser": null, "ProxyServer": null, "ProxyOverride": "<local>"}],
             "errors": ["Error: Cannot open key SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings [gle:0x00000002]"]},
             "unrecognised": []})"),
         1},
        {"a hosts file whose lines look like the report's: kept, and its title listed",
         Edited(GoldenText("troubled-pc.txt"),
                {{"::1 localhost\r\n", "::1 localhost\r\n==================\r\nGetAddrInfoW response test:\r\nProxy detection:\r\n\r\nOK\r\n"}}),
         ordered_json::parse(R"({"hosts": {"content": "127.0.0.1 localhost\n::1 localhost\n==================\nGetAddrInfoW response test:\nProxy detection:\n\nOK\n203.0.113.9 Service.Zemlo.Example\n# 203.0.113.9 updates.zemlo-eu.example\n"},
             "dns": {"ok": false, "addresses": ["203.0.113.9:443"]}, "unrecognised": [],
             "unplaced": [{"line": 43, "text": "GetAddrInfoW response test:"}]})"),
         1},
        {"resolver answers in several records, one address unreadable",
         Edited(clean, {{"GetAddrInfoW response test:error: \r\nerror: GetAddrInfoW failed with code 11001 (0x00002af9)\r\n",
                         "GetAddrInfoW response test:\r\n"
                         "  0: Flags: 0x0, Family: AF_INET6 (IPv6)  IPv6 address [2001:db8::10]:443, Socket type: SOCK_STREAM "
                         "(stream), Protocol: IPPROTO_TCP (TCP), Length of sockaddr: 28\r\n"
                         "  1: Flags: 0x0, Family: AF_INET (IPv4)error: \r\nerror: WSAAddressToString failed with 10014\r\n"
                         ", Socket type: SOCK_STREAM (stream), Protocol: IPPROTO_TCP (TCP), Length of sockaddr: 16\r\n"
                         "  2: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 198.51.100.20:443, Socket type: SOCK_STREAM "
                         "(stream), Protocol: IPPROTO_TCP (TCP), Length of sockaddr: 16\r\nOK"}}),
         ordered_json::parse(R"({"dns": {"ok": true, "addresses": ["[2001:db8::10]:443", "198.51.100.20:443"],
             "error_code": null}, "unrecognised": []})"),
         1},
        {"a trust row that is not the diagnostic's",
         Edited(clean, {{"\tchainTrust: 0x00010000", "\tchainTrust: 0x00010020\r\n\t\t0x00000020: Some other text."}}),
         {{"unrecognised", {{{"line", 34}, {"text", "\t\t0x00000020: Some other text."}}}}}, 1},
    };
    for (const auto& c : cases) {
        const auto read = ReadBytes(c.text);
        EXPECT_EQ(read.input.error, "") << c.name;
        ASSERT_EQ(read.runs.size(), c.runs) << c.name;
        EXPECT_EQ(Mismatch(RecordJson(read.runs.back()), c.expected), "") << c.name;
    }
    // One line that could not be placed makes a section that says OK
    // unreadable: its pass may lack what would fail it.
    const RunRecord oneLine =
        ReadBytes(Edited(clean, {{"Proxy detection:\r\nOK", "Proxy detection:\r\nsomething else\r\nOK"}})).runs.at(0);
    EXPECT_EQ(StatusName(oneLine.StatusOf(Check::Proxy)), std::string("unreadable"));
}

// A log cut anywhere, as by a crash or a window closed at any moment, holds
// only lines the reader knows, and every run it holds is kept.
TEST(ReportReader, ALogCutAtAnyLineIsStillKnownText)
{
    for (const auto& c : GoldenRecords()) {
        const std::string text = GoldenText(c.transcript);
        for (std::size_t cut = text.find("\r\n"); cut != std::string::npos; cut = text.find("\r\n", cut + 2)) {
            const auto read = ReadBytes(text.substr(0, cut));
            ASSERT_LE(read.runs.size(), c.runs.size()) << c.transcript << " cut at " << cut;
            for (const RunRecord& run : read.runs) {
                EXPECT_TRUE(run.unrecognised.empty())
                    << c.transcript << " cut at " << cut << ": line " << run.unrecognised[0].line << " \""
                    << run.unrecognised[0].text << "\"";
            }
        }
    }
}

// Each line of CRLF text wrapped as a mail client does: a line wider than
// `width` columns (tabs to stops of 8) breaks after its last blank within
// them. keepBlank: the blank stays and a word wider than the line is cut
// (`fold -s -w 76`, byte for byte on these logs); else the blank is dropped
// and long words stay whole.
std::string MailWrapped(const std::string& text, std::size_t width, bool keepBlank)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(at, end - at);
        at = end + 2;
        while (true) {
            std::size_t column = 0, fits = 0, lastBlank = std::string::npos;
            for (; fits < line.size(); ++fits) {
                const std::size_t next = line[fits] == '\t' ? column + 8 - column % 8 : column + 1;
                if (next > width)
                    break;
                column = next;
                if (line[fits] == ' ')
                    lastBlank = fits;
            }
            if (fits == line.size())
                break;
            if (!keepBlank && line[fits] == ' ')
                lastBlank = fits;  // a blank just past the limit is dropped
            std::size_t cut = lastBlank == std::string::npos ? fits : lastBlank + 1;
            if (!keepBlank && lastBlank == std::string::npos) {
                cut = line.find(' ', fits);
                if (cut == std::string::npos)
                    break;
                ++cut;
            }
            out += line.substr(0, keepBlank ? cut : cut - 1) + "\r\n";
            line.erase(0, cut);
        }
        out += line + (end < text.size() ? "\r\n" : "");
    }
    return out;
}

TEST(ReportReader, MailWrappedLinesArePutTogetherOrLeftUnknown)
{
    const std::string troubled = testing::Utf8FromUtf16Le(testing::RealLog("TroubledPc", "troubled-pc.txt"));
    const std::string oldWindows = testing::Utf8FromUtf16Le(testing::RealLog("OldWindowsPc", "old-windows-pc.txt"));
    const std::string fix = testing::Utf8FromUtf16Le(testing::RealLog("FixOnCleanPc", "fix-on-clean-pc.txt"));
    // A healthy PC whose name resolves to both known addresses.
    const std::string chainFailed = "error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n"
                                    "\tLastApiError: 0x00000000\r\n\tFaulting function: 0\r\n\tchainTrust: 0x00010000\r\n"
                                    "\tchainPolicyStatus: 0xffffffff";
    const std::string healthy = Edited(
        GoldenText("clean-pc.txt"),
        {{"[CurrentUser]" + chainFailed, "[CurrentUser]\r\nOK"},
         {"[LocalMachine]" + chainFailed, "[LocalMachine]\r\nOK"},
         {"GetAddrInfoW response test:error: \r\nerror: GetAddrInfoW failed with code 11001 (0x00002af9)\r\n",
          "GetAddrInfoW response test:\r\n"
          "  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 192.0.2.10:443, Socket type: SOCK_STREAM "
          "(stream), Protocol: IPPROTO_TCP (TCP), Length of sockaddr: 16\r\n"
          "  1: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 198.51.100.20:443, Socket type: SOCK_STREAM "
          "(stream), Protocol: IPPROTO_TCP (TCP), Length of sockaddr: 16\r\nOK"}});
    for (const std::string* log : {&troubled, &oldWindows, &fix, &healthy}) {
        const auto unwrapped = ReadBytes(*log);
        ASSERT_EQ(unwrapped.runs.size(), 1u);
        const ordered_json expected = RecordJson(unwrapped.runs[0]);
        ASSERT_EQ(expected["unrecognised"].size(), 0u);
        const struct {
            const char* name;
            std::string text;
        } cases[] = {{"fold -s -w 76", MailWrapped(*log, 76, true)},
                     {"wrapped at 72, the blank dropped", MailWrapped(*log, 72, false)},
                     {"wrapped at 78, the blank dropped", MailWrapped(*log, 78, false)}};
        for (const auto& c : cases) {
            ASSERT_NE(c.text, *log) << c.name;
            const auto read = ReadBytes(c.text);
            ASSERT_EQ(read.runs.size(), 1u) << c.name;
            EXPECT_EQ(Mismatch(RecordJson(read.runs[0]), expected), "") << c.name << ": " << expected["os"]["version"];
        }
    }
    // A word longer than a mail line, cut at 72 columns for want of a blank:
    // its parts join without one, also where a blank would read too.
    const std::string word = "Windows_7_Professional_" + std::string(67, 'x');
    const std::string oneWord = Edited(troubled, {{"ProductName: Windows 7 Professional", "ProductName: " + word}});
    const std::string cutWord = MailWrapped(oneWord, 72, true);
    ASSERT_NE(cutWord.find("\r\n" + word.substr(0, 72) + "\r\n" + word.substr(72) + "\r\n"), std::string::npos);
    EXPECT_EQ(ReadBytes(cutWord).runs.at(0).os.productName, word);
    // A resolver record whose continuation is no longer the report's: no
    // fragment of it is an address, and the section that said OK cannot pass.
    ASSERT_EQ(ReadBytes(healthy).runs.at(0).verdict, RunVerdict::Ok);
    const std::string damaged = Edited(MailWrapped(healthy, 76, true),
                                       {{"198.51.100.20:443, \r\nSocket type: SOCK_STREAM (stream),",
                                         "198.51.100.20:443, \r\nSocket typ\xC3\xA9: SOCK_STREAM (stream),"}});
    const auto read = ReadBytes(damaged);
    ASSERT_EQ(read.runs.size(), 1u);
    const RunRecord& run = read.runs[0];
    EXPECT_EQ(run.dns.addresses, std::vector<std::string>{"192.0.2.10:443"});
    std::vector<std::string> unrecognised;
    for (const Unrecognised& line : run.unrecognised)
        unrecognised.push_back(line.text);
    EXPECT_EQ(unrecognised, (std::vector<std::string>{
                                "  1: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 198.51.100.20:443,",
                                "Socket typ\xC3\xA9: SOCK_STREAM (stream), Protocol: IPPROTO_TCP (TCP), Length of",
                                "sockaddr: 16"}));
    EXPECT_EQ(run.StatusOf(Check::Dns), Status::Unreadable);
    EXPECT_EQ(run.verdict, RunVerdict::Incomplete);
}

// After a start banner the next line is the OS line: when it cannot be
// read, the Windows check cannot pass. A console capture may have other text
// before its OS line (a mail's or a chat's), which says nothing of Windows.
TEST(ReportReader, AnOsLineThatCannotBeReadLeavesWindowsUnreadable)
{
    const std::string log = GoldenText("clean-pc.txt");
    const std::string broken = Edited(log, {{"ProductType: 0x00000001, SuiteMask", "ProductType:\r\n\r\n0x00000001, SuiteMask"}});
    const auto read = ReadBytes(broken);
    ASSERT_EQ(read.runs.size(), 1u);
    EXPECT_EQ(read.runs[0].StatusOf(Check::Os), Status::Unreadable);
    const std::string fix = Edited(GoldenText("fix-on-clean-pc.txt"),
                                   {{"ProductType: 0x00000001, SuiteMask", "ProductType:\r\n\r\n0x00000001, SuiteMask"}});
    const auto afterImport = ReadBytes(fix);
    ASSERT_EQ(afterImport.runs.size(), 1u);
    EXPECT_EQ(afterImport.runs[0].StatusOf(Check::Os), Status::Unreadable);
    EXPECT_EQ(afterImport.runs[0].StatusOf(Check::Fix), Status::Passed);
    const std::string capture = "Hi, the log:\r\n\r\n" + log.substr(log.find("OS version: "));
    const auto pasted = ReadBytes(capture);
    ASSERT_EQ(pasted.runs.size(), 1u);
    EXPECT_EQ(pasted.runs[0].StatusOf(Check::Os), Status::Passed);
}

// A run records the encoding of the stretch it opens in: at its start
// banner, or at a console capture's first line.
TEST(ReportReader, EachRunCarriesTheEncodingItWasReadIn)
{
    const std::string clean = GoldenText("clean-pc.txt");
    const std::size_t bodyAt = clean.find("OS version:");
    const std::string console = clean.substr(bodyAt, clean.find(kEndBanner) - bodyAt);
    // copy /b of a console capture saved as UTF-8 and a log.
    const auto read = ReadBytes("\xEF\xBB\xBF" + console + "\r\n\xFF\xFE" + testing::Utf16Le(clean));
    std::vector<std::string> encodings;
    for (const RunRecord& run : read.runs)
        encodings.push_back(run.encoding);
    EXPECT_EQ(encodings, (std::vector<std::string>{"UTF-8", "UTF-16LE"}));
}

// The console shows the log without its banners; pasted into a ticket it has
// LF or CRLF line ends and its blank lines doubled, dropped or multiplied.
std::string Pasted(const std::string& log, const std::string& lineEnd, int blanksPerBlank)
{
    std::string text;
    std::size_t start = 0;
    while (start <= log.size()) {
        std::size_t end = log.find("\r\n", start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 2;
        if (line.rfind("####", 0) == 0 || line.rfind("Log start time:", 0) == 0 || line.rfind("Log end time:", 0) == 0)
            continue;
        for (int i = 0; i < (line.empty() ? blanksPerBlank : 1); ++i)
            text += line + lineEnd;
    }
    return text;
}

// Everything but how the run's text came and ended.
ordered_json Facts(const RunRecord& run)
{
    ordered_json json = RecordJson(run);
    for (const char* key : {"file", "start", "end", "ended", "ending", "unrecognised"})
        json.erase(key);
    return json;
}

TEST(ReportReader, PastedConsoleTextGivesTheLogsRecord)
{
    const std::string closing = "==================\r\n\r\nGetAddrInfoW";
    for (const char* transcript : {"clean-pc.txt", "troubled-pc.txt", "fix-on-clean-pc.txt", "old-windows-pc.txt"}) {
        const std::string log = GoldenText(transcript);
        const RunRecord fromLog = ReadBytes(log).runs.at(0);
        const struct {
            const char* name;
            std::string text;
        } pastes[] = {
            {"CRLF", Pasted(log, "\r\n", 1)},
            {"LF", Pasted(log, "\n", 1)},
            {"blank lines doubled", Pasted(log, "\r\n", 2)},
            {"blank lines doubled, LF", Pasted(log, "\n", 2)},
            {"no blank line after the hosts frame",
             log.find(closing) == std::string::npos ? Pasted(log, "\n", 1)
                                                    : Pasted(Edited(log, {{closing, "==================\r\nGetAddrInfoW"}}), "\n", 1)},
            {"three blank lines around the hosts frame", Pasted(log, "\n", 3)},
        };
        for (const auto& paste : pastes) {
            const auto read = ReadBytes(paste.text);
            ASSERT_EQ(read.runs.size(), 1u) << transcript << ", " << paste.name;
            const RunRecord& run = read.runs[0];
            EXPECT_EQ(Mismatch(Facts(run), Facts(fromLog)), "") << transcript << ", " << paste.name;
            EXPECT_EQ(Mismatch(Facts(fromLog), Facts(run)), "") << transcript << ", " << paste.name;
            EXPECT_EQ(EndingName(run.ending), std::string("console-capture")) << transcript << ", " << paste.name;
            EXPECT_TRUE(run.unrecognised.empty()) << transcript << ", " << paste.name << ": "
                                                  << run.unrecognised.at(0).text;
        }
    }
}

// A frame whose closing rule is lost keeps the rest of the run as the file's
// text: the record names the titles it holds, and their sections are not
// taken for passed or for never reached.
TEST(ReportReader, TitlesInsideTheHostsFrameAreListed)
{
    const std::string text =
        Edited(Pasted(GoldenText("troubled-pc.txt"), "\n", 1), {{"\n==================\n\nGetAddrInfoW", "\n\nGetAddrInfoW"}});
    const RunRecord run = ReadBytes(text).runs.at(0);
    const ordered_json json = RecordJson(run);
    std::vector<std::string> titles;
    for (const auto& line : json["unplaced"])
        titles.push_back(line["text"]);
    // Listed as read: without the blanks at their ends.
    EXPECT_EQ(titles, (std::vector<std::string>{"GetAddrInfoW response test:", "Verify chain test: [CurrentUser]error:",
                                                "Verify chain test: [LocalMachine]error:", "Press any key to quit..."}));
    for (Check check : {Check::Dns, Check::ChainCurrentUser, Check::ChainLocalMachine})
        EXPECT_EQ(StatusName(run.StatusOf(check)), std::string("warning")) << RowOf(check).key;
    const std::vector<std::string> causes = testing::CauseIds(run);
    EXPECT_NE(std::find(causes.begin(), causes.end(), "report-lines-unplaced"), causes.end());
    EXPECT_EQ(json["ending"], "cut-short");
}

// How a run's text ends, and what a cut leaves: the cut line is not read, so
// no value of it reaches the record or a finding.
TEST(ReportReader, HowARunEnds)
{
    const std::string clean = GoldenText("clean-pc.txt");
    const std::string withoutEnd = clean.substr(0, clean.find(kEndBanner));
    const std::size_t localMachine = clean.find("[LocalMachine]");
    const std::string cutValue = "chainTrust: 0x0001";
    const std::string cutInValue = clean.substr(0, clean.find(cutValue, localMachine) + cutValue.size());
    const std::string utf16 = "\xFF\xFE" + testing::Utf16Le(cutInValue);
    const struct {
        const char* name;
        std::string bytes;
        const char* ending;
        const char* lastSection;  // named by report-cut-short, if any
    } cases[] = {
        {"end banner", clean, "end-banner", nullptr},
        {"window closed at the prompt", withoutEnd, "closed-at-prompt", nullptr},
        {"console capture", Pasted(clean, "\r\n", 1), "console-capture", nullptr},
        {"cut inside a value", cutInValue, "cut-short", "Chain, local machine"},
        {"UTF-16 cut at an even byte", utf16, "cut-short", "Chain, local machine"},
        {"UTF-16 cut at an odd byte", utf16 + "\x30", "cut-short", "Chain, local machine"},
        {"UTF-16 cut where a crash's zero tail starts", utf16 + std::string(512, '\0'), "cut-short",
         "Chain, local machine"},
        {"cut after a section's OK, its line end missing",
         clean.substr(0, clean.find("SHA2 support:\r\nOK") + 17), "cut-short", "SHA-2 support"},
        {"cut between sections, then another run", withoutEnd.substr(0, withoutEnd.find("\r\n\r\nSHA2")) + clean,
         "cut-short", "System time"},
    };
    for (const auto& c : cases) {
        const auto read = ReadBytes(c.bytes);
        EXPECT_EQ(read.input.error, "") << c.name;
        ASSERT_FALSE(read.runs.empty()) << c.name;
        const RunRecord& run = read.runs.front();
        EXPECT_EQ(RecordJson(run)["ending"], c.ending) << c.name;
        const auto cut = std::find_if(run.causes.begin(), run.causes.end(),
                                      [](const Cause& cause) { return cause.id == "report-cut-short"; });
        ASSERT_EQ(cut != run.causes.end(), c.lastSection != nullptr) << c.name;
        if (c.lastSection == nullptr)
            continue;
        EXPECT_EQ(cut->severity, "warning") << c.name;
        EXPECT_NE(cut->advice.find(std::string("\"") + c.lastSection + "\""), std::string::npos) << c.name << ": " << cut->advice;
        EXPECT_EQ(RecordJson(run)["chain"]["LocalMachine"]["trust_status"], nullptr) << c.name;
        for (const Cause& cause : run.causes)
            EXPECT_EQ(cause.finding.find("LocalMachine: chainTrust"), std::string::npos) << c.name << ": " << cause.finding;
    }
    // An unended last line "OK" is whole: the section it ends passed.
    const auto cutAfterOk = ReadBytes(clean.substr(0, clean.find("SHA2 support:\r\nOK") + 17));
    EXPECT_EQ(RecordJson(cutAfterOk.runs.at(0))["sha2"]["ok"], true);
    // Odd and even cuts read alike.
    EXPECT_EQ(RecordJson(ReadBytes(utf16).runs.at(0)), RecordJson(ReadBytes(utf16 + "\x30").runs.at(0)));
}

TEST(ReportReader, TextWithoutAReportIsNoRun)
{
    const auto read = ReadBytes("Dear support,\r\nthe product does not update.\r\n");
    EXPECT_TRUE(read.runs.empty());
    EXPECT_EQ(read.input.error, "holds no zemlodiag report");
}

}  // namespace
}  // namespace triage
