// A report carried through editors, consoles, printers and ticket tools
// reads as the log it came from: each row is made by the tool that does it
// to people's text.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "triage/output/outputs.h"
#include "triage/test_support.h"

namespace triage {
namespace {

using nlohmann::ordered_json;
using testing::Mismatch;
using testing::ReadBytes;
using testing::Transformed;

struct Log {
    const char* name;
    std::string text;  // UTF-8, CRLF
};

// Real logs of the program: the troubled PC (errors, warnings, proxies, the
// hosts frame, a chain failure), a clean PC (a product line of empty values
// that ends in a blank), /fix (an import line ending in a blank).
std::vector<Log> RealLogs()
{
    return {{"troubled", testing::Utf8FromUtf16Le(testing::RealLog("TroubledPc", "troubled-pc.txt"))},
            {"clean", testing::Utf8FromUtf16Le(testing::RealLog("CleanPc", "clean-pc.txt"))},
            {"fix", testing::Utf8FromUtf16Le(testing::RealLog("FixOnCleanPc", "fix-on-clean-pc.txt"))}};
}

// The record but for what says how the text came.
ordered_json Facts(const RunRecord& run)
{
    ordered_json json = RecordJson(run);
    for (const char* key : {"encoding", "notes", "unrecognised"})
        json.erase(key);
    return json;
}

struct Row {
    const char* name;
    std::string command;
    bool notesBlanks = false;  // blanks were added at line ends: values there are uncertain
    // Text of the tool's own that the run may list as unrecognised.
    std::vector<std::string> ownText = {};
};

// Each row's text gives the record of `base` (a command making the text the
// rows start from, "cat" for the log itself).
void ExpectSameRecords(const std::vector<Row>& rows, const std::string& base = "cat")
{
    for (const Log& log : RealLogs()) {
        const std::string text = Transformed(log.text, base);
        const auto original = ReadBytes(text);
        ASSERT_EQ(original.runs.size(), 1u) << log.name;
        ASSERT_TRUE(original.runs[0].notes.empty()) << log.name;
        ASSERT_TRUE(original.runs[0].unrecognised.empty()) << log.name;
        const ordered_json expected = Facts(original.runs[0]);
        for (const Row& row : rows) {
            const std::string changed = Transformed(text, row.command);
            ASSERT_NE(changed, text) << row.name;
            const auto read = ReadBytes(changed);
            ASSERT_EQ(read.runs.size(), 1u) << log.name << ", " << row.name;
            const RunRecord& run = read.runs[0];
            EXPECT_EQ(Mismatch(Facts(run), expected), "") << log.name << ", " << row.name;
            EXPECT_EQ(testing::CauseIds(run), testing::CauseIds(original.runs[0])) << log.name << ", " << row.name;
            EXPECT_EQ(run.endBlanksTakenOff > 0, row.notesBlanks) << log.name << ", " << row.name;
            for (const Unrecognised& line : run.unrecognised) {
                const bool own = std::any_of(row.ownText.begin(), row.ownText.end(), [&](const std::string& part) {
                    return line.text.find(part) != std::string::npos;
                });
                EXPECT_TRUE(own) << log.name << ", " << row.name << ": line " << line.line << " " << line.text;
            }
        }
    }
}

TEST(CopiedText, BlanksAtLineEndsAndIndentationAreNoFacts)
{
    ExpectSameRecords({
        {"blanks at line ends removed", "sed -E 's/[ \\t]+(\\r?)$/\\1/'"},
        {"a blank added to every line", "sed 's/\\r$/ \\r/'", true},
        {"tabs turned to 8 spaces (expand)", "expand -t 8"},
        {"tabs turned to 4 spaces (expand)", "expand -t 4"},
        {"a Markdown code block", "sed 's/^/    /'"},
        {"a Markdown quote", "sed 's/^/> /'"},
        {"a console margin, tabs expanded, ends trimmed", "expand -t 8 | sed -E 's/^/  /; s/[ ]+(\\r?)$/\\1/'"},
        {"wrapped at 72 by a client that keeps and counts the blank at each wrap",
         "tr -d '\\r' | fold -s -w 72 | sed 's/$/\\r/'"},
    });
}

// A classic console window's copy: no banners, tabs expanded, every line
// padded to the window's width, a longer line broken at exactly that column;
// cmd's prompt and the command before it, the prompt again after it.
std::string ConsoleCopy(int width)
{
    const std::string w = std::to_string(width);
    return "tr -d '\\r' | grep -v -e '^####' -e '^Log start time' -e '^Log end time' | expand -t 8 | fold -w " + w +
           " | awk 'BEGIN { printf \"%-" + w + "s\\r\\n\", \"C:\\\\Users\\\\Ann>zemlodiag.exe\" } { printf \"%-" + w +
           "s\\r\\n\", $0 } END { printf \"%-" + w + "s\\r\\n\", \"C:\\\\Users\\\\Ann>\" }'";
}

TEST(CopiedText, AConsoleWindowsCopyReadsAsTheConsoleText)
{
    const std::string consoleText = "grep -v -e '^####' -e '^Log start time' -e '^Log end time'";
    ExpectSameRecords({{"80 columns", ConsoleCopy(80), true},
                       {"100 columns", ConsoleCopy(100), true},
                       {"120 columns", ConsoleCopy(120), true},
                       {"90 columns: broken where a blank stood", ConsoleCopy(90), true},
                       {"100 columns, in a quoted-printable mail body",
                        ConsoleCopy(100) + " | python3 -c 'import sys; from email.message import EmailMessage; "
                                           "m = EmailMessage(); m[\"Subject\"] = \"log\"; "
                                           "m.set_content(sys.stdin.read(), cte=\"quoted-printable\"); "
                                           "sys.stdout.write(m.as_string())'",
                        true, {"Subject: log", "Content-Type:", "Content-Transfer-Encoding:", "MIME-Version:"}},
                       {"80 columns, quoted in a reply", ConsoleCopy(80) + " | sed 's/^/> /'", true}},
                      consoleText);
}

// A line broken twice, first at a blank and then mid-word: the old PC's
// product name ("Microsoft Wi" / "ndows XP" at 80 columns) is joined whole.
TEST(CopiedText, ALineBrokenTwiceAtTheConsolesWidthIsJoinedWhole)
{
    const std::string consoleText = Transformed(testing::GoldenText("old-windows-pc.txt"),
                                                "grep -v -e '^####' -e '^Log start time' -e '^Log end time'");
    const auto original = ReadBytes(consoleText);
    const auto read = ReadBytes(Transformed(consoleText, ConsoleCopy(80)));
    ASSERT_EQ(read.runs.size(), 1u);
    ASSERT_EQ(original.runs.size(), 1u);
    EXPECT_EQ(read.runs[0].os.productName, "Microsoft Windows XP");
    EXPECT_EQ(Mismatch(Facts(read.runs[0]), Facts(original.runs[0])), "");
}

// A log printed to PDF (enscript, ghostscript) and its text taken back with
// pdftotext -layout: page headers with a form feed, lines broken at the
// page's width, tabs as spaces.
TEST(CopiedText, APrintedLogReadsAsTheLog)
{
    const std::string toPdf = "tr -d '\\r' | enscript -q %s -p - | ps2pdf - - | pdftotext -layout - -";
    auto printed = [&](const std::string& options) {
        std::string command = toPdf;
        return command.replace(command.find("%s"), 2, options);
    };
    ExpectSameRecords({
        {"enscript's own header", printed(""), false, {"2026 "}},
        {"a header naming the file, the date and the page",
         printed("--header='zemlodiag.txt|Printed 2026-12-09|Page $% of $='"), false, {"zemlodiag.txt"}},
        {"in a smaller font", printed("-f Courier8 --header='zemlodiag.txt||Page $% of $='"), false, {"zemlodiag.txt"}},
        {"in a larger font: 76 columns", printed("-f Courier12 --header='zemlodiag.txt||Page $% of $='"), false,
         {"zemlodiag.txt"}},
        {"pr's pages of text folded at 72: empty lines around each header",
         "tr -d '\\r' | fold -w 72 | pr -f -l 30 -h zemlodiag.txt", false, {"zemlodiag.txt"}},
        {"a page break inside the hosts file's text", printed("-L 44 --header='zemlodiag.txt||Page $% of $='"), false,
         {"zemlodiag.txt"}},
        {"a page break before its last lines", printed("-L 46 --header='zemlodiag.txt||Page $% of $='"), false,
         {"zemlodiag.txt"}},
    });
}

// A page's header between the two parts of a line broken at the page's
// width: the second run's OS lines of this log are where page 2 starts.
TEST(CopiedText, ALineBrokenAcrossAPrintedPageIsJoined)
{
    const std::string log = testing::GoldenText("two-runs-one-log.txt");
    const auto original = ReadBytes(log);
    ASSERT_EQ(original.runs.size(), 2u);
    const std::string printed = Transformed(log, "tr -d '\\r' | enscript -q --header='zemlodiag.txt||Page $% of $=' "
                                                 "-p - | ps2pdf - - | pdftotext -layout - -");
    ASSERT_NE(printed.find("BuildLabEx:\n\fzemlodiag.txt"), std::string::npos) << "the page breaks elsewhere";
    const auto read = ReadBytes(printed);
    ASSERT_EQ(read.runs.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(Mismatch(Facts(read.runs[i]), Facts(original.runs[i])), "") << "run " << i + 1;
        for (const Unrecognised& line : read.runs[i].unrecognised)
            EXPECT_NE(line.text.find("zemlodiag.txt"), std::string::npos) << "run " << i + 1 << ": " << line.text;
    }
}

// A ticket's export: the text HTML-escaped in a .txt, or in a page.
TEST(CopiedText, AnHtmlEscapedReportReadsAsItsText)
{
    const std::string escape =
        "python3 -c 'import html, sys; sys.stdout.write(html.escape(sys.stdin.buffer.read().decode()))'";
    const std::string page =
        "python3 -c 'import html, sys; t = sys.stdin.buffer.read().decode(); sys.stdout.write("
        "\"<!DOCTYPE html>\\n<html><head><title>Ticket 4711</title><style>pre { margin: 0 }</style></head>\\n"
        "<body><h1>Ticket 4711</h1><p>The user wrote:</p><pre>\" + html.escape(t) + \"</pre></body></html>\\n\")'";
    const std::string lines =
        "python3 -c 'import html, sys; t = sys.stdin.buffer.read().decode(); sys.stdout.write("
        "\"<!DOCTYPE html><html><body><div class=\\\"comment\\\">\\n\" + \"<br>\\n\".join("
        "html.escape(l).replace(\"  \", \"&nbsp; \") for l in t.split(\"\\r\\n\")) + \"</div></body></html>\")'";
    ExpectSameRecords({
        {"escaped in a .txt", escape},
        {"escaped, characters as numbers", escape + " | sed \"s/&quot;/\\&#34;/g; s/&#x27;/\\&#39;/g\""},
        {"a page with the text in <pre>", page, false, {"Ticket 4711", "The user wrote:"}},
        {"a page with a <br> after each line, &nbsp; for blanks", lines},
        {"a quoted reply, escaped in a .txt", "sed 's/^/> /' | " + escape},
    });
}

// A value that ends in a blank keeps what is certain, and the record says so.
TEST(CopiedText, AValueEndingInABlankIsKeptWithoutIt)
{
    const std::string log = testing::Edited(testing::GoldenText("troubled-pc.txt"),
                                            {{"Windows 7 Professional\r\n", "Windows 7 Professional \r\n"}});
    for (const std::string& text : {log, Transformed(log, "sed -E 's/[ ]+(\\r?)$/\\1/'")}) {
        const auto read = ReadBytes(text);
        ASSERT_EQ(read.runs.size(), 1u);
        EXPECT_EQ(read.runs[0].os.productName, "Windows 7 Professional");
    }
    const RunRecord run = ReadBytes(log).runs.at(0);
    ASSERT_EQ(run.notes.size(), 1u);
    EXPECT_NE(run.notes[0].find("read without them"), std::string::npos) << run.notes[0];
}

// The input's last line, without its line end, may hold blanks alone.
TEST(CopiedText, ALastLineOfBlanksReadsAsEmpty)
{
    const std::string log = testing::GoldenText("clean-pc.txt");
    for (const char* tail : {"   ", "\t", " \t "}) {
        const auto read = ReadBytes(log + tail);
        ASSERT_EQ(read.runs.size(), 1u);
        EXPECT_EQ(Mismatch(Facts(read.runs[0]), Facts(ReadBytes(log).runs.at(0))), "");
    }
}

}  // namespace
}  // namespace triage
