// Every encoding in which a log reaches support gives the same record, and
// every input that is no log gets one clear error.

#include "triage/input/text_decoder.h"

#include <gtest/gtest.h>
#include <utf8.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "triage/output/outputs.h"
#include "triage/test_support.h"

namespace triage {
namespace {

using testing::GoldenText;
using testing::ReadBytes;

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The troubled PC with a proxy name outside ASCII, so that the 8-bit and the
// Unicode encodings differ.
std::string Troubled()
{
    return Replace(GoldenText("troubled-pc.txt"), "proxy.corp.example", "proxy.z\xC3\xBCrich.example");
}

std::string Latin1(const std::string& utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3) {
            out += static_cast<char>(0x40 + static_cast<unsigned char>(utf8[++i]));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

TEST(TextDecoder, EveryEncodingGivesTheSameRecord)
{
    const std::string text = Troubled();
    const std::string twoRuns = text + text;
    const struct {
        const char* name;
        std::string bytes;
        Encoding encoding;
        std::size_t runs;
    } cases[] = {
        {"UTF-16LE as the diagnostic writes it", "\xFF\xFE" + testing::Utf16Le(text), Encoding::Utf16LeBom, 1},
        {"UTF-16LE appended to a file without a mark", testing::Utf16Le(twoRuns), Encoding::Utf16Le, 2},
        {"UTF-16BE re-saved in Notepad", "\xFE\xFF" + testing::Utf16Be(text), Encoding::Utf16BeBom, 1},
        {"UTF-16BE without a mark", testing::Utf16Be(text), Encoding::Utf16Be, 1},
        {"UTF-8 with a BOM", "\xEF\xBB\xBF" + text, Encoding::Utf8Bom, 1},
        {"UTF-8 copied from the console", text, Encoding::Utf8, 1},
        {"Windows-1252 copied from the console", Latin1(text), Encoding::Windows1252, 1},
        {"LF line ends", Replace(text, "\r\n", "\n"), Encoding::Utf8, 1},
        {"CR line ends", Replace(text, "\r\n", "\r"), Encoding::Utf8, 1},
    };
    auto expected = RecordJson(ReadBytes(text).runs.at(0));
    ASSERT_EQ(expected["proxy"]["keys"][0]["ProxyServer"], "proxy.z\xC3\xBCrich.example:8080");
    expected.erase("encoding");
    for (const auto& c : cases) {
        const auto read = ReadBytes(c.bytes);
        EXPECT_EQ(read.input.error, "") << c.name;
        ASSERT_EQ(read.runs.size(), c.runs) << c.name;
        for (const RunRecord& run : read.runs) {
            auto actual = RecordJson(run);
            EXPECT_EQ(actual["encoding"], EncodingName(c.encoding)) << c.name;
            actual.erase("encoding");
            actual["run"] = 1;
            EXPECT_EQ(actual, expected) << c.name;
        }
    }
}

// Chunks may end anywhere: inside a CRLF, a surrogate pair or a UTF-8
// sequence.
TEST(TextDecoder, ChunkBoundariesDoNotChangeTheLines)
{
    const std::string text = "first\r\nsecond \xF0\x9F\x94\x92 z\xC3\xBCrich\r\rthird";
    const std::vector<std::string> expected = {"first", "second \xF0\x9F\x94\x92 z\xC3\xBCrich", "", "third"};
    for (const std::string& bytes : {"\xFF\xFE" + testing::Utf16Le(text), "\xFE\xFF" + testing::Utf16Be(text), text}) {
        std::vector<std::string> lines;
        LineDecoder decoder([&](std::string_view line, std::uint64_t) { lines.emplace_back(line); });
        for (char byte : bytes)
            ASSERT_TRUE(decoder.Feed(&byte, 1));
        EXPECT_TRUE(decoder.Finish());
        EXPECT_EQ(lines, expected) << EncodingName(decoder.DetectedEncoding());
    }
}

TEST(TextDecoder, InputThatIsNoLogGetsOneClearError)
{
    std::string junkWithZeros;
    std::string junk;
    for (int i = 0; i < 5000; ++i) {
        junkWithZeros += static_cast<char>((i * 7919) % 251);
        junk += static_cast<char>(1 + (i * 104729) % 250);
    }
    const struct {
        const char* name;
        std::string bytes;
        const char* error;
        std::size_t runs;
    } cases[] = {
        {"empty file", "", "empty file", 0},
        {"binary junk", junkWithZeros, "binary data, not a report (zero bytes in 8-bit text)", 0},
        {"binary junk without zero bytes", junk, "binary data, not a report (read as Windows-1252)", 0},
    };
    for (const auto& c : cases) {
        const auto read = ReadBytes(c.bytes);
        EXPECT_EQ(read.input.error, c.error) << c.name;
        EXPECT_EQ(read.runs.size(), c.runs) << c.name;
    }
    const InputResult missing = ReadLogFile("/nonexistent/zemlodiag.txt", {}, [](RunRecord&&) {});
    EXPECT_EQ(missing.error, "cannot open: No such file or directory");
}

// A failure while an input's runs are written is that input's error: the
// runs before it stay written.
TEST(TextDecoder, AFailureWhileWritingIsTheInputsError)
{
    int written = 0;
    const InputResult result =
        ReadLogBytes(testing::Golden("two-runs-one-log.txt"), "two.txt", {}, [&](RunRecord&& record) {
            if (record.run == 2)
                throw std::runtime_error("cannot write");
            ++written;
        });
    EXPECT_EQ(written, 1);
    EXPECT_EQ(result.runs, 1);
    EXPECT_EQ(result.error, "stopped by an internal error after 1 run(s): cannot write");
}

// A line past kMaxLineBytes is cut before the first character that does not
// fit whole, in every encoding, and says how much was left out.
TEST(TextDecoder, OverlongLinesAreCutAtAWholeCharacter)
{
    const auto repeated = [](const std::string& unit, std::size_t times) {
        std::string out;
        for (std::size_t i = 0; i < times; ++i)
            out += unit;
        return out;
    };
    const std::string han = "\xE4\xB8\xAD";  // U+4E2D, three bytes in UTF-8
    const std::string lock = "\xF0\x9F\x94\x92";  // U+1F512, a surrogate pair in UTF-16
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ";  // "Привет "
    // Each long line starts one byte off the cut's multiple, so that a cut
    // by bytes would split a character.
    const struct {
        const char* name;
        std::string bytes;
        std::string line;  // the long line as UTF-8
        Encoding encoding;
    } cases[] = {
        {"UTF-16LE, 22,000 CJK characters", "\xFF\xFE" + testing::Utf16Le("a\r\nx" + repeated(han, 22000) + "\r\nend\r\n"),
         "x" + repeated(han, 22000), Encoding::Utf16LeBom},
        {"UTF-16BE, characters outside the BMP", "\xFE\xFF" + testing::Utf16Be("a\r\nxy" + repeated(lock, 17000) + "\r\nend"),
         "xy" + repeated(lock, 17000), Encoding::Utf16BeBom},
        {"UTF-8 without a mark", "a\r\nx" + repeated(han, 22000) + "\r\nend\r\n", "x" + repeated(han, 22000),
         Encoding::Utf8},
        {"CP866", "a\r\nx" + repeated("\x8F\xE0\xA8\xA2\xA5\xE2 ", 10000) + "\r\nend\r\n",
         "x" + repeated(privet, 10000), EncodingOf(CodePage::Oem866)},
        {"Windows-1252", "a\r\nx" + repeated("caf\xE9 ", 14000) + "\r\nend\r\n",
         "x" + repeated("caf\xC3\xA9 ", 14000), Encoding::Windows1252},
        {"ASCII, fed in chunks", "a\r\n" + std::string(3000000, 'x') + "\nend", std::string(3000000, 'x'),
         Encoding::Utf8},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        LineDecoder decoder([&](std::string_view line, std::uint64_t) { lines.emplace_back(line); });
        for (std::size_t at = 0; at < c.bytes.size(); at += 100000)
            decoder.Feed(c.bytes.data() + at, std::min<std::size_t>(100000, c.bytes.size() - at));
        EXPECT_TRUE(decoder.Finish()) << c.name;
        EXPECT_EQ(decoder.DetectedEncoding(), c.encoding) << c.name;
        ASSERT_EQ(lines.size(), 3u) << c.name;
        EXPECT_EQ(lines[0], "a") << c.name;
        EXPECT_EQ(lines[2], "end") << c.name;
        const std::string& cut = lines[1];
        const std::size_t kept = cut.find("... [");
        ASSERT_NE(kept, std::string::npos) << c.name;
        EXPECT_LE(kept, kMaxLineBytes) << c.name;
        EXPECT_GT(kept + 4, kMaxLineBytes) << c.name << ": cut before it had to be";
        EXPECT_EQ(cut.substr(0, kept), c.line.substr(0, kept)) << c.name;
        EXPECT_TRUE(utf8::is_valid(cut.begin(), cut.end())) << c.name;
        const std::string rest = c.line.substr(kept);
        const auto leftOut = static_cast<std::size_t>(utf8::distance(rest.begin(), rest.end()));
        EXPECT_EQ(cut.substr(kept), "... [" + std::to_string(leftOut) + " more characters]") << c.name;
        EXPECT_EQ(decoder.CutLines(), 1u) << c.name;
    }
}

// Every line the decoder gives `bytes`, and the encoding it names at each
// run's start banner (what a run's record carries).
struct Decoded {
    std::vector<std::string> lines;
    std::vector<std::string> runEncodings;
    std::uint64_t sniffedBytes = 0;
};

Decoded Decode(const std::string& bytes, std::size_t chunk = std::string::npos)
{
    Decoded decoded;
    LineDecoder* current = nullptr;
    LineDecoder decoder([&](std::string_view line, std::uint64_t) {
        decoded.lines.emplace_back(line);
        if (line.substr(0, 15) == "Log start time:")
            decoded.runEncodings.emplace_back(EncodingName(current->CurrentEncoding()));
    });
    current = &decoder;
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
        decoder.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
    decoder.Finish();
    decoded.sniffedBytes = decoder.SniffedBytes();
    return decoded;
}

// A C1 control (U+0080..U+009F) or a no-break space in a UTF-8 line.
bool HasC1OrNoBreakSpace(const std::string& line)
{
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const auto lead = static_cast<unsigned char>(line[i]);
        const auto next = static_cast<unsigned char>(line[i + 1]);
        if (lead == 0xC2 && (next <= 0x9F || next == 0xA0) && next >= 0x80)
            return true;
    }
    return false;
}

// Real logs of the program, changed byte for byte the way the tools between
// the user and support change them, read as the logs they came from.
TEST(TextDecoder, LogsAsToolsMangleThemReadAsTheirOriginal)
{
    const std::string a = testing::Utf8FromUtf16Le(testing::RealLog("TroubledPc", "troubled-pc.txt"));
    const std::string b = testing::Utf8FromUtf16Le(testing::RealLog("OldWindowsPc", "old-windows-pc.txt"));
    const std::string ua = testing::Utf16Le(a);
    const std::string ub = testing::Utf16Le(b);
    // Short enough that 512 zeros were once a tenth of it.
    const std::string shortLog = testing::RealLog("FixWithoutRootStore", "fix-without-root-store.txt");
    const std::string zeros(512, '\0');
    const std::string product = "Windows 7 Professional";
    auto withProduct = [&](const std::string& name) { return testing::Edited(a, {{product, name}}); };
    // Logs joined into one file, by turns a UTF-8 copy and the program's
    // UTF-16LE: short enough that the 4 KiB judging a UTF-16LE copy reaches
    // past the short UTF-8 copy after it (an odd number of bytes) into the
    // next UTF-16LE copy, whose zeros then fall on the other bytes.
    const std::string old = GoldenText("old-windows-pc.txt");
    const std::string clean = GoldenText("clean-pc.txt");
    const std::string fix = GoldenText("fix-without-root-store.txt");
    const std::string troubled = GoldenText("troubled-pc.txt");
    const std::string joined = old + testing::Utf16Le(clean) + fix;
    const struct {
        const char* name;
        std::string bytes;
        std::string original;  // the text the program wrote
        std::vector<std::string> runEncodings;
    } cases[] = {
        {"a crash's zero tail after the log", shortLog + zeros, testing::Utf8FromUtf16Le(shortLog), {"UTF-16LE"}},
        {"a zero tail after a UTF-8 copy", "\xEF\xBB\xBF" + a + zeros, a, {"UTF-8"}},
        {"zeros of a crash, then the next run appended", "\xFF\xFE" + ua + zeros + ub, a + b,
         {"UTF-16LE", "UTF-16LE without BOM"}},
        {"re-saved by Notepad as UTF-8, then a run appended", "\xEF\xBB\xBF" + a + ub, a + b,
         {"UTF-8", "UTF-16LE without BOM"}},
        {"two runs re-saved as UTF-8 without a mark, then a run appended", a + a + ub, a + a + b,
         {"UTF-8 without BOM", "UTF-8 without BOM", "UTF-16LE without BOM"}},
        {"copy /b of two logs", "\xFF\xFE" + ua + "\xFF\xFE" + ub, a + b, {"UTF-16LE", "UTF-16LE"}},
        {"copy /b of a UTF-8 copy and a log", "\xEF\xBB\xBF" + a + "\xFF\xFE" + ub, a + b, {"UTF-8", "UTF-16LE"}},
        {"copy /b of a log and a UTF-8 copy", "\xFF\xFE" + ua + "\xEF\xBB\xBF" + b, a + b, {"UTF-16LE", "UTF-8"}},
        {"logs joined, UTF-8 and UTF-16LE by turns", joined + testing::Utf16Le(troubled), old + clean + fix + troubled,
         {"UTF-8 without BOM", "UTF-16LE without BOM", "UTF-8 without BOM", "UTF-16LE without BOM"}},
        {"logs joined, UTF-8 and UTF-16LE by turns, the last with its mark",
         joined + "\xFF\xFE" + testing::Utf16Le(troubled), old + clean + fix + troubled,
         {"UTF-8 without BOM", "UTF-16LE without BOM", "UTF-8 without BOM", "UTF-16LE"}},
        {"cmd type on code page 866",
         withProduct("Windows 7 \x8F\xE0\xAE\xE4\xA5\xE1\xE1\xA8\xAE\xAD\xA0\xAB\xEC\xAD\xA0\xEF"),
         withProduct("Windows 7 \xD0\x9F\xD1\x80\xD0\xBE\xD1\x84\xD0\xB5\xD1\x81\xD1\x81\xD0\xB8\xD0\xBE\xD0\xBD\xD0\xB0"
                     "\xD0\xBB\xD1\x8C\xD0\xBD\xD0\xB0\xD1\x8F"),
         {"CP866"}},
        {"cmd type on code page 850", withProduct("Windows 7 Edi\x87\xC6o Profissional"),
         withProduct("Windows 7 Edi\xC3\xA7\xC3\xA3o Profissional"), {"CP850"}},
        {"copy /b of cmd type on code page 850 and a UTF-8 copy",
         withProduct("Windows 7 Edi\x87\xC6o Profissional") + "\xEF\xBB\xBF" + b,
         withProduct("Windows 7 Edi\xC3\xA7\xC3\xA3o Profissional") + b, {"CP850", "UTF-8"}},
        {"cmd type on code page 437", withProduct("Windows 7 Z\x81rich"), withProduct("Windows 7 Z\xC3\xBCrich"),
         {"CP437"}},
        {"a web form's no-break spaces in UTF-8", Replace(a, "  ", "\xC2\xA0 "), a, {"UTF-8 without BOM"}},
        {"a web form's no-break spaces in Windows-1252", Replace(a, "  ", "\xA0 "), a, {"Windows-1252"}},
        // A UTF-16 log taken to UTF-8 and then read as Windows-1252 or
        // Latin-1 and saved as UTF-8 again ("Ã¤" for "ä"); "Ä" and "à" pass
        // through Latin-1 as a C1 control and a no-break space.
        {"double-encoded through Windows-1252",
         testing::Transformed("\xFF\xFE" + testing::Utf16Le(withProduct("Windows 7 \xC3\x89" "dition Int\xC3\xA9grale")),
                              "iconv -f UTF-16 -t UTF-8 | iconv -f CP1252 -t UTF-8"),
         withProduct("Windows 7 \xC3\x89" "dition Int\xC3\xA9grale"), {"UTF-8 without BOM"}},
        {"double-encoded through Latin-1",
         testing::Transformed("\xFF\xFE" + testing::Utf16Le(withProduct("Windows 7 \xC3\x84rzte \xC3\xA0 Z\xC3\xBCrich")),
                              "iconv -f UTF-16 -t UTF-8 | iconv -f LATIN1 -t UTF-8"),
         withProduct("Windows 7 \xC3\x84rzte \xC3\xA0 Z\xC3\xBCrich"), {"UTF-8 without BOM"}},
        {"a name with a real \"\xC3\x83\" is left as it is", withProduct("Windows 7 JO\xC3\x83O \xC2\xA9"),
         withProduct("Windows 7 JO\xC3\x83O \xC2\xA9"), {"UTF-8 without BOM"}},
        {"a C1 control the program wrote", "\xFF\xFE" + testing::Utf16Le(withProduct("Windows 7\xC2\x85Pro")),
         withProduct("Windows 7\xEF\xBF\xBDPro"), {"UTF-16LE"}},
    };
    for (const auto& c : cases) {
        const auto expected = ReadBytes("\xFF\xFE" + testing::Utf16Le(c.original));
        ASSERT_EQ(expected.input.error, "") << c.name;
        const auto read = ReadBytes(c.bytes);
        EXPECT_EQ(read.input.error, "") << c.name;
        ASSERT_EQ(read.runs.size(), expected.runs.size()) << c.name;
        for (std::size_t i = 0; i < read.runs.size(); ++i) {
            auto json = RecordJson(read.runs[i]);
            EXPECT_EQ(json["encoding"], c.runEncodings.at(i)) << c.name << ", run " << i + 1;
            json["encoding"] = "UTF-16LE";
            EXPECT_EQ(json, RecordJson(expected.runs[i])) << c.name << ", run " << i + 1;
        }
        const Decoded decoded = Decode(c.bytes);
        EXPECT_EQ(decoded.runEncodings, c.runEncodings) << c.name;
        // Fed byte by byte: chunks that end inside marks, zero runs and units
        // change nothing.
        const Decoded inChunks = Decode(c.bytes, 1);
        EXPECT_EQ(inChunks.lines, decoded.lines) << c.name;
        EXPECT_EQ(inChunks.runEncodings, decoded.runEncodings) << c.name;
        for (const std::string& line : decoded.lines)
            EXPECT_FALSE(HasC1OrNoBreakSpace(line)) << c.name << ": " << line;
    }
}

// A whole file in one call (as a page once handed it over) reads as in the
// command line's reads, and each stretch is judged by its first bytes, not by
// all that follows it: the sniffer reads about each byte once, not once per
// stretch before it.
TEST(TextDecoder, AWholeFileInOneCallCostsTheSniffingOfItsStretches)
{
    const std::string text = GoldenText("troubled-pc.txt");
    std::string bytes;
    std::vector<std::string> runEncodings;
    // A log re-saved as UTF-8 and appended to, again and again: 200 stretches.
    for (int i = 0; i < 100; ++i) {
        bytes += text + testing::Utf16Le(text);
        runEncodings.insert(runEncodings.end(), {"UTF-8 without BOM", "UTF-16LE without BOM"});
    }
    const Decoded inOneCall = Decode(bytes);
    EXPECT_EQ(inOneCall.runEncodings, runEncodings);
    EXPECT_LE(inOneCall.sniffedBytes, bytes.size());
    for (const std::size_t chunk : {std::size_t{256 * 1024}, std::size_t{4093}}) {
        const Decoded inChunks = Decode(bytes, chunk);
        EXPECT_EQ(inChunks.lines, inOneCall.lines) << chunk;
        EXPECT_EQ(inChunks.runEncodings, runEncodings) << chunk;
        EXPECT_LE(inChunks.sniffedBytes, bytes.size()) << chunk;
    }
}

// Zeros alone are no log, and zeros do not hide junk in front of them.
TEST(TextDecoder, ZerosAreNeitherALogNorACover)
{
    std::string junk;
    for (int i = 0; i < 3000; ++i)
        junk += static_cast<char>(1 + (i * 104729) % 250);
    const struct {
        const char* name;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"a log file a crash left as zeros", std::string(4096, '\0'), "only zero bytes: nothing of a log was written"},
        {"junk with a zero tail", junk + std::string(512, '\0'), "binary data, not a report (read as Windows-1252)"},
        {"one stray zero in 8-bit text", "OS version: 6.1\r\n" + std::string(1, '\0') + "x\r\nmore text\r\n",
         "binary data, not a report (zero bytes in 8-bit text)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadBytes(c.bytes).input.error, c.error) << c.name;
}

// `copy /b` of a log that a crash or a mail client cut part way through a
// line, and a whole one: the first reads as the cut log alone, the second as
// the whole one alone, wherever in its last character the first was cut.
TEST(TextDecoder, ALogCutInsideALineThenAnotherJoinedReadsAsEachAlone)
{
    const std::string first = testing::Transformed(GoldenText("troubled-pc.txt"), "iconv -f UTF-8 -t UTF-16");
    const std::string second = testing::Transformed(GoldenText("clean-pc.txt"), "iconv -f UTF-8 -t UTF-16");
    const std::size_t inALine = first.find(testing::Utf16Le("ProxyServer")) + 9;  // even: a whole character
    const auto whole = ReadBytes(second);
    ASSERT_EQ(whole.runs.size(), 1u);
    auto expected = RecordJson(whole.runs[0]);
    expected["run"] = 2;
    const struct {
        const char* name;
        std::size_t cut;
    } cases[] = {
        {"cut after a whole character", inALine - 1},
        {"cut inside a character", inALine},
    };
    for (const auto& c : cases) {
        const auto alone = ReadBytes(first.substr(0, c.cut));
        ASSERT_EQ(alone.runs.size(), 1u) << c.name;
        const auto read = ReadBytes(first.substr(0, c.cut) + second);
        ASSERT_EQ(read.runs.size(), 2u) << c.name;
        EXPECT_EQ(RecordJson(read.runs[0]), RecordJson(alone.runs[0])) << c.name;
        EXPECT_EQ(RecordJson(read.runs[1]), expected) << c.name;
    }
}

}  // namespace
}  // namespace triage

namespace triage {
namespace {

// A batch file's `echo ... >> zemlodiag.txt` between two runs: the second
// run's UTF-16LE starts after 8-bit text, at an odd or an even offset.
TEST(TextDecoder, ARunAppendedAfterEightBitTextIsRead)
{
    const std::string first = testing::Transformed(GoldenText("troubled-pc.txt"), "iconv -f UTF-8 -t UTF-16");
    const std::string second = testing::Transformed(GoldenText("clean-pc.txt"), "iconv -f UTF-8 -t UTF-16LE");
    const auto clean = ReadBytes(GoldenText("clean-pc.txt"));
    ASSERT_EQ(clean.runs.size(), 1u);
    auto expected = RecordJson(clean.runs[0]);
    expected.erase("encoding");
    expected["run"] = 2;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"an odd number of bytes", "Diagnose gestartet am 09.12.2026 \r\n"},
        {"an even number of bytes", "Diagnose gestartet am 9.12.2026 \r\n"},
        {"OEM text (CP850)", testing::Transformed("Prüfung läuft \r\n", "iconv -f UTF-8 -t CP850")},
        {"a short line, odd", "retry\r\n"},
        {"one letter without a line end", "x"},
    };
    for (const auto& c : cases) {
        const auto read = ReadBytes(first + c.text + second);
        ASSERT_EQ(read.runs.size(), 2u) << c.name;
        auto actual = RecordJson(read.runs[1]);
        EXPECT_EQ(actual["encoding"], "UTF-16LE without BOM") << c.name;
        actual.erase("encoding");
        EXPECT_EQ(actual, expected) << c.name;
        EXPECT_EQ(read.runs[0].verdict, RunVerdict::Error) << c.name;
    }
}

}  // namespace
}  // namespace triage

namespace triage {
namespace {

// Text in each code page a re-save can produce, as iconv writes it, reads as
// that page and as the text it was: the report's own lines with the values
// people's systems put in them (Vietnamese with its marks apart, as 1258
// writes them).
TEST(TextDecoder, EachCodePageReadsAsItself)
{
    const std::string text = GoldenText("troubled-pc.txt");
    const struct {
        const char* page;
        const char* product;
        const char* proxy;
    } rows[] = {
        {"Windows-1252", "Windows 7 \u00C9dition Int\u00E9grale", "proxy.z\u00FCrich.example"},
        {"CP437", "Windows 7 \u00C9dition Int\u00E9grale", "proxy.z\u00FCrich.example"},
        {"CP850", "Windows 7 Edi\u00E7\u00E3o Profissional", "proxy.s\u00E3o-paulo.example"},
        {"CP866", "Windows 7 \u041F\u0440\u043E\u0444\u0435\u0441\u0441\u0438\u043E\u043D\u0430\u043B\u044C\u043D\u0430\u044F",
         "\u043F\u0440\u043E\u043A\u0441\u0438.\u043F\u0440\u0438\u043C\u0435\u0440.example"},
        {"Windows-1250", "Windows 7 Profesion\u00E1ln\u00ED", "proxy.dvo\u0159\u00E1k.example"},
        {"Windows-1251", "Windows 7 \u041F\u0440\u043E\u0444\u0435\u0441\u0441\u0438\u043E\u043D\u0430\u043B\u044C\u043D\u0430\u044F",
         "\u043F\u0440\u043E\u043A\u0441\u0438.\u043F\u0440\u0438\u043C\u0435\u0440.example"},
        {"Windows-1253", "Windows 7 \u0395\u03C0\u03B1\u03B3\u03B3\u03B5\u03BB\u03BC\u03B1\u03C4\u03B9\u03BA\u03AE",
         "\u03B4\u03B9\u03B1\u03BA\u03BF\u03BC\u03B9\u03C3\u03C4\u03AE\u03C2.example"},
        {"Windows-1254", "Windows 7 Profesyonel S\u00FCr\u00FCm", "proxy.i\u015Fyeri-a\u011F\u0131.example"},
        {"Windows-1255", "Windows 7 \u05DE\u05E7\u05E6\u05D5\u05E2\u05D9", "\u05E9\u05E8\u05EA.example"},
        {"Windows-1256", "Windows 7 \u0627\u062D\u062A\u0631\u0627\u0641\u064A", "\u062E\u0627\u062F\u0645.example"},
        {"Windows-1257", "Windows 7 Profesionalioji", "proxy.j\u016Brat\u0117s-\u012Fmon\u0117.example"},
        {"Windows-1258", "Windows 7 Chuy\u00EAn nghi\u00EA\u0323p", "proxy.ti\u00EA\u0301ng-vi\u00EA\u0323t.example"},
        {"Windows-874", "Windows 7 \u0E23\u0E38\u0E48\u0E19\u0E21\u0E37\u0E2D\u0E2D\u0E32\u0E0A\u0E35\u0E1E",
         "\u0E40\u0E0B\u0E34\u0E23\u0E4C\u0E1F\u0E40\u0E27\u0E2D\u0E23\u0E4C.example"},
        {"CP852", "Windows 7 Profesjonalny", "proxy.\u0142\u00F3d\u017A-g\u0119\u015B.example"},
        {"CP855", "Windows 7 \u041F\u0440\u043E\u0444\u0435\u0441\u0438\u043E\u043D\u0430\u043B\u043D\u043E",
         "\u043F\u0440\u043E\u043A\u0441\u0438.\u0459\u0443\u0431\u0459\u0430\u043D\u0430.example"},
        {"CP932", "Windows 7 \u30D7\u30ED\u30D5\u30A7\u30C3\u30B7\u30E7\u30CA\u30EB",
         "\u30D7\u30ED\u30AD\u30B7.\u672C\u793E.example"},
        {"CP936", "Windows 7 \u4E13\u4E1A\u7248", "\u4EE3\u7406\u670D\u52A1\u5668.\u516C\u53F8.example"},
        {"CP949", "Windows 7 \uD504\uB85C\uD398\uC154\uB110", "\uD504\uB85D\uC2DC.\uD68C\uC0AC.example"},
        {"CP950", "Windows 7 \u5C08\u696D\u7248", "\u4EE3\u7406\u4F3A\u670D\u5668.\u516C\u53F8.example"},
    };
    for (const auto& row : rows) {
        const std::string original =
            testing::Edited(text, {{"Windows 7 Professional", row.product}, {"proxy.corp.example", row.proxy}});
        const std::string page = row.page;
        const std::string bytes =
            testing::Transformed(original, "iconv -f UTF-8 -t CP" + page.substr(page.find_first_of("0123456789")));
        auto expected = RecordJson(ReadBytes(original).runs.at(0));
        const auto read = ReadBytes(bytes);
        ASSERT_EQ(read.runs.size(), 1u) << row.page;
        auto json = RecordJson(read.runs[0]);
        EXPECT_EQ(json["encoding"], page);
        json.erase("encoding");
        expected.erase("encoding");
        EXPECT_EQ(testing::Mismatch(json, expected), "") << row.page;
        // Chunks that end inside a character of two bytes change nothing.
        EXPECT_EQ(Decode(bytes, 7).lines, Decode(bytes).lines) << row.page;
    }
}

}  // namespace
}  // namespace triage
