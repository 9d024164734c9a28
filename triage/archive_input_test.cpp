// Zip archives as `zip` makes them, stored and deflated: read as a folder of
// logs, each named below the archive, and what is not read refused by name
// with what to send instead, never with a record.

#include "triage/archive_input.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "triage/test_support.h"

namespace triage {
namespace {

struct Read {
    std::vector<std::string> files;  // each run's
    std::vector<std::vector<std::string>> causes;
    InputResult input;
};

template <typename Reader>
Read ReadWith(Reader read)
{
    Read result;
    result.input = read([&](RunRecord&& record) {
        result.files.push_back(record.file);
        result.causes.push_back(testing::CauseIds(record));
    });
    return result;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

TEST(ArchiveInput, AZipReadsAsAFolderOfLogs)
{
    char folderName[] = "/tmp/triage-zip-XXXXXX";
    ASSERT_NE(mkdtemp(folderName), nullptr);
    const std::string dir = folderName;
    std::filesystem::create_directories(dir + "/in/sub");
    std::ofstream(dir + "/in/b.txt", std::ios::binary) << testing::Golden("troubled-pc.txt");
    std::ofstream(dir + "/in/sub/a.LOG", std::ios::binary)
        << "\xFF\xFE" + testing::Utf16Le(testing::GoldenText("clean-pc.txt"));
    std::ofstream(dir + "/in/notes.md") << "not a log, passed over as in a folder";
    std::filesystem::create_directories(dir + "/odd/word");
    std::ofstream(dir + "/odd/logs.7z", std::ios::binary) << std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8);
    std::ofstream(dir + "/odd/report.txt") << "{\\rtf1\\ansi zemlodiag}";
    std::ofstream(dir + "/odd/[Content_Types].xml") << "<Types/>";
    std::ofstream(dir + "/odd/word/document.xml") << "<w:document/>";

    const std::vector<std::string> troubled = testing::CauseIds(testing::ReadBytes(testing::Golden("troubled-pc.txt")).runs.at(0));
    const std::vector<std::string> clean = testing::CauseIds(testing::ReadBytes(testing::Golden("clean-pc.txt")).runs.at(0));
    const std::string both = " && mv a.zip .. && cd ..";
    // A stated size smaller than the entry unpacks to: how a zip bomb passes
    // a reader that trusts the directory.
    const std::string understated =
        "python3 -c \"import sys; b = bytearray(open('a.zip', 'rb').read()); i = b.find(b'PK\\x01\\x02');"
        " b[i + 24:i + 28] = (1000).to_bytes(4, 'little'); open('a.zip', 'wb').write(b)\"";
    // A byte changed after packing: in a stored entry's text, and a bit of a
    // deflated one flipped where it still inflates to as many bytes.
    const std::string storedChanged =
        "python3 -c \"b = bytearray(open('a.zip', 'rb').read()); i = b.find(b'Professional'); b[i] ^= 0x20;"
        " open('a.zip', 'wb').write(b)\"";
    std::ofstream(dir + "/flip.py") << R"(import zlib
b = bytearray(open('a.zip', 'rb').read())
start = 30 + int.from_bytes(b[26:28], 'little') + int.from_bytes(b[28:30], 'little')
packed = int.from_bytes(b[18:22], 'little')
original = zlib.decompress(bytes(b[start:start + packed]), -15)
for at in range(start + packed // 2, start + packed):
    for bit in range(8):
        b[at] ^= 1 << bit
        try:
            inflater = zlib.decompressobj(-15)
            out = inflater.decompress(bytes(b[start:start + packed]))
            if inflater.eof and len(out) == len(original) and sum(x != y for x, y in zip(out, original)) == 1:
                open('a.zip', 'wb').write(b)
                raise SystemExit(0)
        except zlib.error:
            pass
        b[at] ^= 1 << bit
raise SystemExit(1)
)";
    const std::string crcMismatch =
        "a.zip/b.txt: damaged in the archive (CRC mismatch): the runs read from it may hold wrong values; send the"
        " log again";
    const struct {
        const char* name;
        std::string make;  // run in `dir`, leaves a.zip there
        std::vector<std::string> files;
        std::vector<std::vector<std::string>> causes;
        std::string error;
    } cases[] = {
        // Stored out of name order: read in name order all the same.
        {"stored", "cd in && zip -q -0 -r a.zip sub b.txt notes.md" + both, {"a.zip/b.txt", "a.zip/sub/a.LOG"}, {troubled, clean}, ""},
        {"deflated", "cd in && zip -q -9 -r a.zip sub b.txt notes.md" + both, {"a.zip/b.txt", "a.zip/sub/a.LOG"}, {troubled, clean}, ""},
        // Named in the OEM code page of a Russian Windows, unflagged, as
        // Windows' own zip writes names.
        {"a name in code page 866", "cd in && cp b.txt \"$(printf '\\256\\342\\347\\245\\342')\".txt && LANG=C zip -q a.zip"
         " \"$(printf '\\256\\342\\347\\245\\342')\".txt && rm \"$(printf '\\256\\342\\347\\245\\342')\".txt" + both,
         {"a.zip/\xD0\xBE\xD1\x82\xD1\x87\xD0\xB5\xD1\x82.txt"}, {troubled}, ""},
        {"an encrypted entry beside a plain one",
         "cd in && zip -q a.zip b.txt && zip -q -e -P secret a.zip sub/a.LOG" + both, {"a.zip/b.txt"}, {troubled},
         "a.zip/sub/a.LOG: encrypted: send the archive without a password, or the log file itself"},
        {"kinds that are not read, by name and by their bytes", "cd odd && zip -q a.zip logs.7z report.txt" + both, {}, {},
         "a.zip/logs.7z: a 7-Zip archive: unpack it and send the log files, or pack them as .zip\n"
         "a.zip/report.txt: a rich text document: send the log file itself, or save the text as .txt"},
        {"a Word document", "cd odd && zip -q -r a.zip '[Content_Types].xml' word" + both, {}, {},
         "an Office document: send the log file itself, or save the text as .txt"},
        {"an archive cut short", "cd in && zip -q -9 -r a.zip ." + both + " && truncate -s -100 a.zip", {}, {},
         "a zip archive without its directory: it may be cut short, send it again"},
        {"an entry that unpacks to more than stated", "cd in && zip -q -9 a.zip b.txt" + both + " && " + understated,
         {}, {}, "a.zip/b.txt: damaged in the archive: it unpacks to more than its stated size"},
        // The runs read before the mismatch shows stay, as before any failure
        // part way through an input; the entry's error line says they may be wrong.
        {"a stored entry with a byte changed", "cd in && zip -q -0 a.zip b.txt" + both + " && " + storedChanged,
         {"a.zip/b.txt"}, {troubled}, crcMismatch},
        {"a deflated entry with a bit flipped", "cd in && zip -q -9 a.zip b.txt" + both + " && python3 flip.py",
         {"a.zip/b.txt"}, {}, crcMismatch},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir + "/a.zip");
        ASSERT_EQ(std::system(("cd " + dir + " && " + c.make).c_str()), 0) << c.name;
        const std::string path = dir + "/a.zip";
        const Read fromFile = ReadWith([&](const ReportReader::RunSink& sink) { return ReadLogFile(path, {}, sink); });
        const Read fromBytes =
            ReadWith([&](const ReportReader::RunSink& sink) { return ReadLogBytes(FileBytes(path), "a.zip", {}, sink); });
        std::vector<std::string> files;
        for (const std::string& file : fromFile.files)
            files.push_back(file.substr(dir.size() + 1));
        std::string error = fromFile.input.error;
        for (std::size_t at; (at = error.find(dir + "/")) != std::string::npos;)
            error.erase(at, dir.size() + 1);
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(fromBytes.input.error, c.error) << c.name << ", from memory";
        if (c.files.empty() && c.name != std::string("an entry that unpacks to more than stated")) {
            EXPECT_TRUE(files.empty()) << c.name << ": a refusal came with a record";
        }
        if (!c.files.empty()) {
            EXPECT_EQ(files, c.files) << c.name;
            EXPECT_EQ(fromBytes.files, c.files) << c.name << ", from memory";
        }
        if (!c.causes.empty()) {
            EXPECT_EQ(fromFile.causes, c.causes) << c.name;
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace triage
