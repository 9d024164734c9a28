// Every encoding in which a log reaches support gives the same record, and
// every input that is no log gets one clear error.

#include "triage/text_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "triage/outputs.h"
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
    for (const auto& c : cases) {
        Encoding seen = Encoding::Unknown;
        LineDecoder probe([](std::string_view, std::uint64_t) {});
        probe.Feed(c.bytes.data(), c.bytes.size());
        probe.Finish();
        seen = probe.DetectedEncoding();
        EXPECT_EQ(EncodingName(seen), std::string(EncodingName(c.encoding))) << c.name;
        const auto read = ReadBytes(c.bytes);
        EXPECT_EQ(read.input.error, "") << c.name;
        ASSERT_EQ(read.runs.size(), c.runs) << c.name;
        for (const RunRecord& run : read.runs) {
            auto actual = RecordJson(run);
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

TEST(TextDecoder, OverlongLinesAreCutNotHeld)
{
    std::vector<std::size_t> lengths;
    LineDecoder decoder([&](std::string_view line, std::uint64_t) { lengths.push_back(line.size()); });
    const std::string chunk(100000, 'x');
    for (int i = 0; i < 30; ++i)
        decoder.Feed(chunk.data(), chunk.size());
    decoder.Feed("\nend", 4);
    EXPECT_TRUE(decoder.Finish());
    EXPECT_EQ(lengths, (std::vector<std::size_t>{kMaxLineBytes, 3}));
    EXPECT_EQ(decoder.CutLines(), 1u);
}

}  // namespace
}  // namespace triage
