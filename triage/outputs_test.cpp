// The outputs other tools read: the JSON record's keys, CSV by RFC 4180, the
// page's board limit, and the command line's exit codes, run as a real process.

#include "triage/outputs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "triage/html_output.h"
#include "triage/test_support.h"

namespace triage {
namespace {

TEST(Outputs, JsonRecordHasTheInterfaceKeysInOrder)
{
    const auto json = RecordJson(testing::ReadBytes(testing::Golden("troubled-pc.txt")).runs.at(0));
    std::vector<std::string> keys;
    for (auto it = json.begin(); it != json.end(); ++it)
        keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"file", "run", "start", "end", "ended", "ending", "local_system", "fix",
                                              "os", "product", "clock", "sha2", "root_auto_update", "proxy", "hosts",
                                              "dns", "chain", "causes", "unrecognised", "unplaced"}));
    EXPECT_EQ(json["causes"][0].size(), 4u);
}

TEST(Outputs, PageKeepsBoardsForTheFirstRunsOnly)
{
    HtmlPage page(2);
    for (const RunRecord& run : testing::ReadBytes(testing::Golden("two-runs-one-log.txt") +
                                                   testing::GoldenText("troubled-pc.txt"))
                                    .runs)
        page.Add(ForPage(run));
    std::ostringstream html;
    page.Write(html);
    const std::string text = html.str();
    EXPECT_NE(text.find("Fleet: 3 runs"), std::string::npos);
    EXPECT_NE(text.find("id=\"run-1\""), std::string::npos);
    EXPECT_EQ(text.find("id=\"run-2\""), std::string::npos);
    EXPECT_EQ(text.find("href=\"#run-2\""), std::string::npos);
    EXPECT_NE(text.find("Boards below for the first 2 runs."), std::string::npos);
}

TEST(Outputs, CsvQuotesByRfc4180)
{
    const struct {
        std::string field, expected;
    } cases[] = {{"plain", "plain"},
                 {"a,b", "\"a,b\""},
                 {"say \"hi\"", "\"say \"\"hi\"\"\""},
                 {"two\r\nlines", "\"two\r\nlines\""},
                 {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(c.field), c.expected) << c.field;

    RunRecord run = testing::ReadBytes(testing::Golden("troubled-pc.txt")).runs.at(0);
    run.file = "logs/pc, \"7\".txt";
    std::ostringstream out;
    WriteCsvHeader(out);
    WriteCsvRow(out, run);
    EXPECT_EQ(out.str(),
              "file,run,start,ended,os_version,arch,product_version,verdict,causes,os,product,clock,sha2,"
              "root_auto_update,proxy,hosts,dns,chain_current_user,chain_local_machine\r\n"
              "\"logs/pc, \"\"7\"\".txt\",1,,true,6.1.7601,x64,21.3.10.391,error,hosts-service-host "
              "dns-unexpected-address chain-untrusted root-update-disabled proxy-localsystem proxy hosts-match-not-entry,"
              "passed,passed,passed,passed,error,warning,error,error,error,error\r\n");
}

struct Process {
    int exitCode;
    std::string out;
};

Process RunTriage(const std::string& arguments)
{
    const std::string command = std::string(TRIAGE_EXE) + " " + arguments + " 2>/dev/null";
    Process result{-1, {}};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, got);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::size_t Lines(const std::string& text)
{
    std::size_t count = 0;
    for (char c : text)
        count += c == '\n';
    return count;
}

TEST(Outputs, CommandLineExitCodesAndInputs)
{
    const std::string golden = std::string(TRIAGE_REPO_ROOT) + "/tests/golden";
    const struct {
        const char* name;
        std::string arguments;
        int exitCode;
        std::size_t lines;
    } cases[] = {
        {"a folder, searched for *.txt", "--csv " + golden, 0, 8},
        {"one file as JSON Lines", "--json " + golden + "/two-runs-one-log.txt", 0, 2},
        {"standard input", "--json - < " + golden + "/clean-pc.txt", 0, 1},
        {"a missing file beside a good one", "--json /nonexistent.txt " + golden + "/clean-pc.txt", 1, 1},
        {"an unknown option", "--jsonl " + golden, 2, 0},
        {"no input at all", "--csv", 2, 0},
        {"--json with --csv", "--json --csv " + golden, 2, 0},
    };
    for (const auto& c : cases) {
        const Process run = RunTriage(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(Lines(run.out), c.lines) << c.name << "\n" << run.out;
    }
    const Process help = RunTriage("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("2 for a usage"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace triage
