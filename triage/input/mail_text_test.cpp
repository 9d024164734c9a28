// A report that travelled in a mail body, quoted-printable and quoted in a
// reply, gives the record of the log it came from; text that only looks a
// little like mail stays as it is.

#include "triage/input/mail_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "triage/output/outputs.h"
#include "triage/test_support.h"

namespace triage {
namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i > 0 ? "\r\n" : "") + lines[i];
    return text;
}

// RFC 2045 as mail programs write it: '=', controls and bytes above 126 as
// "=XX", blanks at a line's end too, lines of at most 76 characters with
// soft breaks.
std::string QuotedPrintable(const std::string& text)
{
    std::vector<std::string> out;
    for (const std::string& line : Lines(text)) {
        std::string encoded;
        std::size_t column = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            const bool blankAtEnd = (c == ' ' || c == '\t') && i + 1 == line.size();
            std::string token(1, static_cast<char>(c));
            if (c == '=' || (c < 32 && c != '\t') || c > 126 || blankAtEnd) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "=%02X", c);
                token = hex;
            }
            if (column + token.size() > 75) {
                encoded += "=\r\n";
                column = 0;
            }
            encoded += token;
            column += token.size();
        }
        out.push_back(encoded);
    }
    return Joined(out);
}

std::string Quoted(const std::string& text, const std::string& mark)
{
    std::vector<std::string> lines = Lines(text);
    for (std::string& line : lines)
        line = line.empty() ? mark.substr(0, mark.find_last_not_of(' ') + 1) : mark + line;
    return Joined(lines);
}

std::string Mail(const std::string& charset, const std::string& body)
{
    return "From: user@example.com\r\nSubject: zemlodiag log\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"part-1\"\r\n\r\n--part-1\r\n"
           "Content-Type: text/plain; charset=" +
           charset + "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + body + "\r\n--part-1--\r\n";
}

TEST(MailText, AReportInAMailBodyReadsAsTheLog)
{
    // A real log with a proxy name outside ASCII and a line longer than a
    // mail line.
    const std::string log = testing::Edited(testing::Utf8FromUtf16Le(testing::RealLog("TroubledPc", "troubled-pc.txt")),
                                            {{"proxy.corp.example", "proxy.z\xC3\xBCrich.example"}});
    const std::string latin1 = testing::Edited(log, {{"z\xC3\xBCrich", "z\xFCrich"}});
    const std::string reply = "Hello,\r\nhere is the log again.\r\n\r\nOn Tue, 8 Dec 2026, user wrote:\r\n";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"quoted-printable, UTF-8", Mail("utf-8", QuotedPrintable(log))},
        {"quoted-printable, Windows-1252", Mail("windows-1252", QuotedPrintable(latin1))},
        {"a reply quoting it", reply + Quoted(log, "> ")},
        {"a reply to the reply", reply + Quoted(Quoted(log, "> "), ">")},
        {"a reply quoted as some webmail does", reply + Quoted(Quoted(log, "> "), "> ")},
        {"a quoted-printable reply", Mail("utf-8", QuotedPrintable(reply + Quoted(log, "> ")))},
    };
    // The mail's own lines are no report lines, and the reader lists them.
    std::vector<std::string> mailLines = Lines(Mail("utf-8", "") + Mail("windows-1252", "") + reply);
    const auto expected = testing::ReadBytes("\xFF\xFE" + testing::Utf16Le(log));
    ASSERT_EQ(expected.runs.size(), 1u);
    auto want = RecordJson(expected.runs[0]);
    ASSERT_EQ(want["unrecognised"].size(), 0u);
    want.erase("unrecognised");
    want["encoding"] = "UTF-8 without BOM";  // the mail as it came, whatever charset its body names
    for (const auto& c : cases) {
        const auto read = testing::ReadBytes(c.bytes);
        EXPECT_EQ(read.input.error, "") << c.name;
        ASSERT_EQ(read.runs.size(), 1u) << c.name;
        auto actual = RecordJson(read.runs[0]);
        for (const auto& line : actual["unrecognised"]) {
            const std::string text = line["text"];
            EXPECT_NE(std::find(mailLines.begin(), mailLines.end(), text), mailLines.end()) << c.name << ": " << text;
        }
        actual.erase("unrecognised");
        EXPECT_EQ(testing::Mismatch(actual, want), "") << c.name;
    }
}

// Report lines that hold '=', start with '>' or end in '=' are no mail.
TEST(MailText, OtherTextPassesUnchanged)
{
    const std::vector<std::string> lines = {
        "",
        "###########################################",
        "           @ProxyServer=\"proxy.corp.example:8080=3D\"",
        "> 127.0.0.1 service.zemlo.example",
        ">> a hosts comment",
        "           @ProxyOverride=\"<local>;*.corp.example=\"",
        "Content-Type: text/plain; charset=utf-8",
        "OK",
    };
    std::vector<std::string> passed;
    ReplyQuoting quoting([&](std::string_view line, std::uint64_t) { passed.emplace_back(line); });
    MailText mail([&](std::string_view line, std::uint64_t number) { quoting.Line(line, number); });
    std::uint64_t number = 0;
    for (const std::string& line : lines)
        mail.Line(line, ++number);
    mail.Finish();
    quoting.Finish();
    EXPECT_EQ(passed, lines);
}

}  // namespace
}  // namespace triage
