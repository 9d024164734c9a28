// A report carried through editors, consoles, printers and ticket tools
// reads as the log it came from: each row is made by the tool that does it
// to people's text.

#include <gtest/gtest.h>

#include <string>

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
    for (const char* key : {"encoding", "notes"})
        json.erase(key);
    return json;
}

struct Row {
    const char* name;
    const char* command;
    bool notesBlanks;  // blanks were added at line ends: values there are uncertain
};

void ExpectSameRecords(const std::vector<Row>& rows)
{
    for (const Log& log : RealLogs()) {
        const auto original = ReadBytes(log.text);
        ASSERT_EQ(original.runs.size(), 1u) << log.name;
        ASSERT_TRUE(original.runs[0].notes.empty()) << log.name;
        const ordered_json expected = Facts(original.runs[0]);
        ASSERT_EQ(expected["unrecognised"].size(), 0u) << log.name;
        for (const Row& row : rows) {
            const std::string text = Transformed(log.text, row.command);
            ASSERT_NE(text, log.text) << row.name;
            const auto read = ReadBytes(text);
            ASSERT_EQ(read.runs.size(), 1u) << log.name << ", " << row.name;
            const RunRecord& run = read.runs[0];
            EXPECT_EQ(Mismatch(Facts(run), expected), "") << log.name << ", " << row.name;
            EXPECT_EQ(testing::CauseIds(run), testing::CauseIds(original.runs[0])) << log.name << ", " << row.name;
            EXPECT_EQ(run.endBlanksTakenOff > 0, row.notesBlanks) << log.name << ", " << row.name;
        }
    }
}

TEST(CopiedText, BlanksAtLineEndsAndIndentationAreNoFacts)
{
    ExpectSameRecords({
        {"blanks at line ends removed", "sed -E 's/[ \\t]+(\\r?)$/\\1/'", false},
        {"a blank added to every line", "sed 's/\\r$/ \\r/'", true},
        {"tabs turned to 8 spaces (expand)", "expand -t 8", false},
        {"tabs turned to 4 spaces (expand)", "expand -t 4", false},
        {"a Markdown code block", "sed 's/^/    /'", false},
        {"a Markdown quote", "sed 's/^/> /'", false},
        {"a console margin, tabs expanded, ends trimmed", "expand -t 8 | sed -E 's/^/  /; s/[ ]+(\\r?)$/\\1/'", false},
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

}  // namespace
}  // namespace triage
