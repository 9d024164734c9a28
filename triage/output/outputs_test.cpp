// The outputs other tools read: the JSON record's keys, CSV by RFC 4180, the
// page's board limit, and the command line's exit codes, run as a real process.

#include "triage/output/outputs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

#include "triage/output/html_output.h"
#include "triage/output/reader_version.h"
#include "triage/test_support.h"
#include "triage/text_util.h"

namespace triage {
namespace {

TEST(Outputs, JsonRecordHasTheInterfaceKeysInOrder)
{
    const auto json = RecordJson(testing::ReadBytes(testing::Golden("troubled-pc.txt")).runs.at(0));
    std::vector<std::string> keys;
    for (auto it = json.begin(); it != json.end(); ++it)
        keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"file", "run", "encoding", "start", "end", "ended", "ending", "local_system",
                                              "fix", "os", "product", "clock", "sha2", "root_auto_update", "proxy", "hosts",
                                              "dns", "chain", "causes", "unrecognised", "unplaced",
                                              "reader_version"}));
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

// The browser page shows boards as they are read and the fleet view last.
TEST(Outputs, PageInPartsIsThePageBody)
{
    HtmlPage whole(2), inParts(2);
    std::string boards;
    const auto runs =
        testing::ReadBytes(testing::Golden("two-runs-one-log.txt") + testing::GoldenText("troubled-pc.txt")).runs;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        whole.Add(ForPage(runs[i]));
        inParts.Add(ForPage(runs[i]));
        std::ostringstream part;
        inParts.WriteNewBoards(part);
        EXPECT_EQ(part.str().empty(), i >= 2) << "run " << i;  // past the boards, nothing
        boards += part.str();
    }
    std::ostringstream head, body;
    inParts.WriteHead(head);
    whole.WriteBody(body);
    EXPECT_NE(head.str().find("Fleet: 3 runs"), std::string::npos);
    EXPECT_EQ(head.str() + boards, body.str());
}

// A browser lays out one table of thousands of rows slowly, so the run table
// comes in blocks; every run must still have its one row, in order.
TEST(Outputs, RunTableComesInBlocksWithEveryRunInOrder)
{
    const RunRecord run = testing::ReadBytes(testing::Golden("clean-pc.txt")).runs.at(0);
    HtmlPage page(0);
    for (int i = 0; i < 250; ++i) {
        PageRun row = ForPage(run);
        row.row.file = "pc-" + std::to_string(1000 + i) + ".txt";
        page.Add(std::move(row));
    }
    std::ostringstream html;
    page.WriteHead(html);
    const std::string text = html.str();
    std::vector<std::size_t> rowsPerBlock;
    std::size_t at = 0;
    int expected = 1000;
    while ((at = text.find("<table>", at)) != std::string::npos) {
        const std::size_t end = text.find("</table>", at);
        ASSERT_NE(end, std::string::npos);
        std::size_t rows = 0;
        for (std::size_t cell = text.find("<tr><td>", at); cell < end; cell = text.find("<tr><td>", cell + 1)) {
            const std::string file = "<bdi>pc-" + std::to_string(expected++) + ".txt";
            EXPECT_EQ(text.compare(cell + 8, file.size(), file), 0) << "row " << expected - 1000 << " is not " << file;
            ++rows;
        }
        rowsPerBlock.push_back(rows);
        at = end;
    }
    EXPECT_EQ(rowsPerBlock, (std::vector<std::size_t>{100, 100, 50}));
    EXPECT_EQ(expected, 1250);
}

// The page's structure: each tag with its attribute names, quoted values
// left out.
std::vector<std::string> Markup(const std::string& html)
{
    std::vector<std::string> tags;
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        std::string tag;
        char quote = 0;
        for (std::size_t i = at; i < html.size() && (quote != 0 || html[i] != '>'); ++i) {
            if (quote == 0 && (html[i] == '"' || html[i] == '\''))
                quote = html[i];
            else if (html[i] == quote)
                quote = 0;
            else if (quote == 0)
                tag += html[i];
        }
        tags.push_back(tag);
    }
    return tags;
}

// Escaping is the page's only barrier against a log's text: hostile text in
// every field the page shows adds no element and no attribute to what the
// same page says with harmless text.
TEST(Outputs, PageTextCannotBecomeMarkup)
{
    const RunRecord troubled = testing::ReadBytes(testing::Golden("troubled-pc.txt")).runs.at(0);
    const auto pageWith = [&](const std::string& text) {
        RunRecord r = troubled;
        for (std::string* field : {&r.file, &r.raw})
            *field = text;
        for (OptText* field : {&r.start, &r.end, &r.os.version, &r.os.arch, &r.os.productName, &r.product.version})
            *field = text;
        r.notes = {text};
        r.unrecognised = {{7, text}};
        for (Cause& cause : r.causes)
            cause.id = cause.severity = cause.finding = cause.advice = text;
        RunRecord notInstalled = r;
        notInstalled.product.version.reset();
        notInstalled.product.type = notInstalled.product.language = text;
        HtmlPage page;
        page.Add(ForPage(r));
        page.Add(ForPage(notInstalled));
        std::ostringstream html;
        page.Write(html);
        return html.str();
    };
    const std::string hostile = pageWith("# <img src=x onerror=document.title='owned'//\"a=\"b\" <script>x</script>&amp;");
    const std::string harmless = pageWith("# img src x onerror document.title owned// a b script x script amp");
    EXPECT_EQ(Markup(hostile), Markup(harmless));
    EXPECT_EQ(hostile.find("<img"), std::string::npos);
    EXPECT_NE(hostile.find("&lt;img src=x onerror=document.title=&#39;owned&#39;//&quot;a=&quot;b&quot;"),
              std::string::npos);
}

TEST(Outputs, CsvQuotesByRfc4180)
{
    const struct {
        std::string field, expected;
    } cases[] = {{"plain", "plain"},
                 {"a,b", "\"a,b\""},
                 {"say \"hi\"", "\"say \"\"hi\"\"\""},
                 {"two\r\nlines", "\"two\r\nlines\""},
                 {"two\nlines", "\"two\nlines\""},
                 {"", ""},
                 // A spreadsheet must not run a value of the log as a formula.
                 {"=HYPERLINK(\"http://x.example\")", "\"'=HYPERLINK(\"\"http://x.example\"\")\""},
                 {"+1", "'+1"},
                 {"-1+2", "'-1+2"},
                 {"@SUM(A1)", "'@SUM(A1)"},
                 {"\t=1", "'\t=1"},
                 {"\r=1", "\"'\r=1\""},
                 {"1=1", "1=1"}};
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(c.field), c.expected) << c.field;

    // A LocalSystem run whose product version a user could have set to a formula.
    RunRecord run = testing::ReadBytes(testing::Edited(testing::GoldenText("troubled-pc.txt"),
                                                       {{"###########################################\r\nOS version",
                                                         "###########################################\r\nUser: NT "
                                                         "AUTHORITY\\SYSTEM\r\nOS version"},
                                                        {"ProductVersion: 21.3.10.391", "ProductVersion: =1+2"}}))
                        .runs.at(0);
    run.file = "logs/pc, \"7\".txt";
    std::ostringstream out;
    WriteCsvHeader(out);
    WriteCsvRow(out, run);
    WriteCsvRow(out, testing::ReadBytes(testing::Golden("fix-on-clean-pc.txt")).runs.at(0));
    WriteCsvRow(out, testing::ReadBytes(testing::Golden("fix-without-root-store.txt")).runs.at(0));
    // A copy cut before the import's result: how the import went is unknown.
    const std::string fix = testing::GoldenText("fix-on-clean-pc.txt");
    const std::string importing = "Importing certificate: \r\n";
    WriteCsvRow(out, testing::ReadBytes(fix.substr(0, fix.find(importing) + importing.size())).runs.at(0));
    const std::string version = ReaderVersion();
    EXPECT_EQ(out.str(),
              "file,run,start,ended,os_version,arch,product_version,verdict,causes,os,product,clock,sha2,"
              "root_auto_update,proxy,hosts,dns,chain_current_user,chain_local_machine,fix,local_system,"
              "reader_version\r\n"
              "\"logs/pc, \"\"7\"\".txt\",1,,true,6.1.7601,x64,'=1+2,error,hosts-service-host "
              "dns-unexpected-address chain-untrusted root-update-disabled proxy-localsystem proxy hosts-match-not-entry,"
              "passed,passed,passed,passed,error,warning,error,error,error,error,,true," + version + "\r\n"
              "log.txt,1,,true,10.0.18362,x64,,error,dns-failure chain-untrusted,"
              "passed,warning,passed,passed,passed,passed,passed,error,error,error,imported,false," + version + "\r\n"
              "log.txt,1,,true,,,,error,fix-failed,not reached,not reached,not reached,not reached,not reached,"
              "not reached,not reached,not reached,not reached,not reached,failed,false," + version + "\r\n"
              "log.txt,1,,false,,,,incomplete,report-cut-short,not reached,not reached,not reached,not reached,"
              "not reached,not reached,not reached,not reached,not reached,not reached,not finished,false," +
                  version + "\r\n");
}

// What the short summary must not get wrong about a run: each row a log made
// for it, with texts the summary must hold and must not.
TEST(Outputs, TextSummarySaysWhatTheRunIs)
{
    const std::string clean = testing::GoldenText("clean-pc.txt");
    const std::string banner = "###########################################\r\n";
    const std::string longBypass(6000, 'b');
    const struct {
        const char* fault;
        std::string text;
        std::vector<std::string> says, neverSays;
    } cases[] = {
        {"a failed /fix called the product not installed", testing::GoldenText("fix-without-root-store.txt"),
         {"Windows not reached, product not reached", "Root import (/fix): error"}, {"not installed", "?"}},
        {"a partly installed product called not installed",
         testing::Edited(clean, {{"ZEMLO Product: , , ", "ZEMLO Product: ProductType: Internet Security, , "}}),
         {"product incomplete, no version (ProductType: Internet Security)"}, {"not installed"}},
        {"a LocalSystem run not said",
         testing::Edited(clean, {{banner + "OS version", banner + "User: NT AUTHORITY\\SYSTEM\r\nOS version"}}),
         {"(start unknown; ran as LocalSystem)\n"}, {}},
        {"a console capture called a closed window",
         testing::Edited(clean, {{"\r\n" + banner + "Log start time: ####.##.## ##:##.##\r\n" + banner, ""},
                                 {banner + "Log end time: ####.##.## ##:##.##\r\n" + banner, ""}}),
         {"(console capture: no banners, so no start or end time)\n"}, {"window was closed"}},
        {"UTC said twice or a check named by its key",
         testing::Edited(clean, {{"Log start time: ####.##.## ##:##.##", "Log start time: 2026.12.08 05:23.35"}}),
         {"(start 2026-12-08 05:23:35 UTC)\n", "Root auto update: passed; Proxy: passed"}, {"Z UTC", "root_auto_update"}},
        {"a right-to-left override in a value obeyed, so the value shows reversed",
         testing::Edited(testing::GoldenText("troubled-pc.txt"),
                         {{"proxy.corp.example:8080", "proxy.corp.example:8080\xE2\x80\xAEgpj.exe"}}),
         {"ProxyServer=\"proxy.corp.example:8080<U+202E>gpj.exe\""}, {"\xE2\x80\xAE"}},
        {"a 6,000-character bypass list on one line",
         testing::Edited(testing::GoldenText("troubled-pc.txt"),
                         {{"@ProxyOverride=\"*.corp.example;<local>\"", "@ProxyOverride=\"" + longBypass + "\""}}),
         {"bbbb... [", " more characters]\n"}, {longBypass}},
    };
    for (const auto& c : cases) {
        const auto read = testing::ReadBytes(c.text);
        ASSERT_EQ(read.runs.size(), 1u) << c.fault;
        std::ostringstream out;
        WriteTextSummary(out, read.runs[0]);
        const std::string text = out.str();
        for (const std::string& expected : c.says)
            EXPECT_NE(text.find(expected), std::string::npos) << c.fault << ": \"" << expected << "\" missing in\n" << text;
        for (const std::string& unexpected : c.neverSays)
            EXPECT_EQ(text.find(unexpected), std::string::npos) << c.fault << ": \"" << unexpected << "\" in\n" << text;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            EXPECT_LE(end - start, kTextWidth + 40) << c.fault << ": a line of " << end - start;
    }
    // The page says of Windows what the text says.
    HtmlPage page;
    page.Add(ForPage(testing::ReadBytes(std::string(cases[0].text)).runs.at(0)));
    page.Add(ForPage(testing::ReadBytes(testing::Edited(clean, {{"architecture: x64 (0009)", "architecture: (0009)"}})).runs.at(0)));
    std::ostringstream html;
    page.WriteBody(html);
    for (const char* expected : {"<td>not reached</td><td>not reached</td>", "Windows <bdi>not reached</bdi>", "Windows <bdi>10.0.18362 ?</bdi>"})
        EXPECT_NE(html.str().find(expected), std::string::npos) << "\"" << expected << "\" missing in the page";
    EXPECT_EQ(html.str().find("Windows <bdi>?"), std::string::npos);
    // JSON keeps what the text cuts.
    const auto longRun = testing::ReadBytes(std::string(cases[6].text)).runs.at(0);
    EXPECT_EQ(RecordJson(longRun)["proxy"]["keys"][0]["ProxyOverride"], longBypass);
}

// What a person reads shows each invisible format character that would
// reorder or hide text; JSON keeps the text as it was.
TEST(Outputs, FormatCharactersAreShownWherePeopleRead)
{
    const struct {
        std::string text, shown;
    } cases[] = {{"a\xE2\x80\xAE" "b", "a<U+202E>b"},        {"\xE2\x80\xAA\xE2\x80\xAC", "<U+202A><U+202C>"},
                 {"\xE2\x81\xA6x\xE2\x81\xA9", "<U+2066>x<U+2069>"}, {"\xE2\x80\x8E\xE2\x80\x8F", "<U+200E><U+200F>"},
                 {"\xD8\x9C", "<U+061C>"},                      {"\xEF\xBB\xBF" "x", "<U+FEFF>x"},
                 // Letters of any script, joiners and cut sequences stay as they are.
                 {"\xD0\x96\xD7\x90\xE2\x80\x8D", "\xD0\x96\xD7\x90\xE2\x80\x8D"}, {"x\xE2\x80", "x\xE2\x80"}};
    for (const auto& c : cases)
        EXPECT_EQ(WithFormatCharactersShown(c.text), c.shown) << c.shown;

    RunRecord run = testing::ReadBytes(testing::Edited(testing::GoldenText("troubled-pc.txt"),
                                                       {{"proxy.corp.example:8080", "proxy.corp.example:8080\xE2\x80\xAEgpj.exe"}}))
                        .runs.at(0);
    run.file = "\xE2\x80\xAEtxt.exe";
    EXPECT_EQ(RecordJson(run)["proxy"]["keys"][0]["ProxyServer"], "proxy.corp.example:8080\xE2\x80\xAEgpj.exe");
    HtmlPage page;
    page.Add(ForPage(run));
    std::ostringstream html;
    page.Write(html);
    EXPECT_EQ(html.str().find("\xE2\x80\xAE"), std::string::npos);
    EXPECT_NE(html.str().find("<h2 id=\"run-0-title\"><bdi>&lt;U+202E&gt;txt.exe</bdi>"), std::string::npos);
}

TEST(Outputs, TextCutKeepsCharactersWholeAndCountsTheRest)
{
    EXPECT_EQ(CutForText("abcdef", 6), "abcdef");
    EXPECT_EQ(CutForText("abcdef", 4), "abcd... [2 more characters]");
    // Three two-byte characters: the cut falls between characters, not bytes.
    EXPECT_EQ(CutForText("\xC3\xBC\xC3\xBC\xC3\xBC", 1), "\xC3\xBC... [2 more characters]");
}

struct Process {
    int exitCode;
    std::string out;
};

Process RunTriage(const std::string& arguments, const char* errors = "2>/dev/null")
{
    const std::string command = std::string(TRIAGE_EXE) + " " + arguments + " " + errors;
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

// A judged log says which reader judged it: the version the build was made
// as, in every output, and from --version (the release's zip checks that it
// is the release's).
TEST(Outputs, EveryOutputNamesTheReadersVersion)
{
    const std::string version = ReaderVersion();
    ASSERT_FALSE(version.empty());
    const Process asked = RunTriage("--version");
    EXPECT_EQ(asked.exitCode, 0);
    EXPECT_EQ(asked.out, "zemlotriage " + version + "\n");

    const std::string log = std::string(TRIAGE_REPO_ROOT) + "/tests/golden/two-runs-one-log.txt";
    const Process json = RunTriage("--json " + log);
    std::istringstream records(json.out);
    int runs = 0;
    for (std::string line; std::getline(records, line); ++runs)
        EXPECT_EQ(nlohmann::json::parse(line).value("reader_version", ""), version) << line;
    EXPECT_EQ(runs, 2);

    const Process csv = RunTriage("--csv " + log);
    std::istringstream rows(csv.out);
    std::vector<std::string> lastCells;
    for (std::string row; std::getline(rows, row);)
        lastCells.push_back(row.substr(row.rfind(',') + 1));
    EXPECT_EQ(lastCells, (std::vector<std::string>{"reader_version\r", version + "\r", version + "\r"}));

    char pageName[] = "/tmp/triage-page-XXXXXX";
    const int descriptor = mkstemp(pageName);
    ASSERT_NE(descriptor, -1);
    close(descriptor);
    EXPECT_EQ(RunTriage("--html " + std::string(pageName) + " " + log).exitCode, 0);
    std::ifstream pageFile(pageName, std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(pageFile)), std::istreambuf_iterator<char>());
    std::remove(pageName);
    EXPECT_NE(page.find("<footer class=\"meta\">Read by zemlotriage " + version + "</footer></body>"),
              std::string::npos) << page.substr(page.size() > 300 ? page.size() - 300 : 0);
}

// A fleet's folder: read in name order on every machine, and never silently empty.
TEST(Outputs, FoldersAreReadInNameOrderAndAnEmptyOneIsAnError)
{
    char folderName[] = "/tmp/triage-folders-XXXXXX";
    ASSERT_NE(mkdtemp(folderName), nullptr);
    const std::string folder = folderName;
    const std::string log = testing::Golden("clean-pc.txt");
    // Created out of name order, so a walk in creation or inode order shows;
    // every kind that is read, in any letter case.
    for (const char* name : {"m.txt", "b.txt", "z/a.txt", "a.txt", "C.txt", "d.TXT", "k.Log"}) {
        std::filesystem::create_directories(std::filesystem::path(folder + "/" + name).parent_path());
        std::ofstream(folder + "/" + name, std::ios::binary) << log;
    }
    std::filesystem::create_directories(folder + "/empty/deeper");
    std::ofstream(folder + "/empty/deeper/notes.md") << "not a log";

    const Process csv = RunTriage("--csv " + folder + "/m.txt " + folder);
    // A subfolder without logs is fine; only a folder named on the command line must hold one.
    EXPECT_EQ(csv.exitCode, 0) << csv.out;
    std::vector<std::string> files;
    std::istringstream rows(csv.out);
    for (std::string row; std::getline(rows, row);)
        files.push_back(row.substr(0, row.find(',')));
    EXPECT_EQ(files, (std::vector<std::string>{"file", folder + "/m.txt", folder + "/C.txt", folder + "/a.txt",
                                               folder + "/b.txt", folder + "/d.TXT", folder + "/k.Log",
                                               folder + "/m.txt", folder + "/z/a.txt"}));

    const Process empty = RunTriage(folder + "/empty", "2>&1");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.out, "zemlotriage: " + folder + "/empty: no log (*.txt, *.log, *.eml, *.zip) in this folder\n");

    // --html takes the summary's place, as its help says.
    const Process page = RunTriage("--html " + folder + "/page.html " + folder + "/a.txt");
    EXPECT_EQ(page.exitCode, 0);
    EXPECT_EQ(page.out, "");
    EXPECT_TRUE(std::filesystem::file_size(folder + "/page.html") > 0);
    EXPECT_NE(RunTriage("--help").out.find("in place of the short summary"), std::string::npos);
    std::filesystem::remove_all(folder);
}


// Inputs that once stopped the command line, each between two good logs in
// a folder: every log still gets its record in every output, and all are
// readable logs.
TEST(Outputs, NoInputStopsTheOthers)
{
    char folderName[] = "/tmp/triage-robust-XXXXXX";
    ASSERT_NE(mkdtemp(folderName), nullptr);
    const std::string folder = folderName;
    const std::string good = testing::Golden("clean-pc.txt");
    const std::string troubled = testing::GoldenText("troubled-pc.txt");
    std::string han;  // 22,000 CJK characters: 66,000 bytes of UTF-8
    for (int i = 0; i < 22000; ++i)
        han += "\xE4\xB8\xAD";
    std::string randomTail = "\xFF\xFE" + testing::Utf16Le(troubled);
    for (std::uint32_t x = 12345; randomTail.size() < 200000;) {
        x = x * 1103515245u + 12345u;
        randomTail += static_cast<char>(x >> 23);
    }
    const std::string cp1251Name = "\xCF\xF0\xE8\xE2\xE5\xF2.txt";  // "Привет.txt" as unzip leaves it
    const std::vector<std::pair<std::string, std::string>> files = {
        {"1.txt", good},
        {"2-long-line.txt", "\xFF\xFE" + testing::Utf16Le(testing::Edited(troubled, {{"\r\nOS version", "\r\nx" + han + "\r\nOS version"}}))},
        {"3.txt", good},
        {"4-random-tail.txt", randomTail},
        {"5.txt", good},
        {"6-" + cp1251Name, good},
        {"7.txt", good},
    };
    for (const auto& [name, bytes] : files)
        std::ofstream(folder + "/" + name, std::ios::binary) << bytes;

    const Process json = RunTriage("--json " + folder, "2>&1");
    EXPECT_EQ(json.exitCode, 0) << json.out.substr(0, 2000);
    std::vector<std::string> recordFiles;
    std::istringstream lines(json.out);
    for (std::string line; std::getline(lines, line);) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << line.substr(0, 200);
        recordFiles.push_back(record["file"].get<std::string>().substr(folder.size() + 1));
        // A name that is not UTF-8 is shown with U+FFFD, its bytes kept in hex.
        if (record.contains("_bytes")) {
            EXPECT_EQ(record["_bytes"], nlohmann::json({{"/file", HexBytes(folder + "/6-" + cp1251Name)}}));
        }
    }
    EXPECT_EQ(recordFiles, (std::vector<std::string>{"1.txt", "2-long-line.txt", "3.txt", "4-random-tail.txt",
                                                     "5.txt", "6-\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD.txt",
                                                     "7.txt"}));
    EXPECT_NE(json.out.find("... [155 more characters]"), std::string::npos) << "the long line was not cut";

    const Process csv = RunTriage("--csv " + folder, "2>&1");
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(Lines(csv.out), 1 + files.size()) << csv.out;
    const Process text = RunTriage(folder, "2>&1");
    EXPECT_EQ(text.exitCode, 0);
    std::size_t summaries = 0;
    for (std::size_t at = text.out.find(" run 1: "); at != std::string::npos; at = text.out.find(" run 1: ", at + 1))
        ++summaries;
    EXPECT_EQ(summaries, files.size()) << text.out;
    const Process html = RunTriage("--html " + folder + ".html " + folder, "2>&1");
    EXPECT_EQ(html.exitCode, 0) << html.out;
    std::ifstream pageFile(folder + ".html", std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(pageFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(page.find("Fleet: 7 runs"), std::string::npos);
    EXPECT_NE(page.find("id=\"run-6\""), std::string::npos);
    EXPECT_TRUE(IsUtf8(page));
    EXPECT_NE(page.find("title=\"bytes of the name: " + HexBytes(folder + "/6-" + cp1251Name) + "\""),
              std::string::npos);
    std::filesystem::remove_all(folder);
    std::filesystem::remove(folder + ".html");
}

}  // namespace
}  // namespace triage
