#include "triage/test_support.h"

#include <utf8.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace triage::testing {

namespace {

bool ReadFile(const std::string& path, std::string& bytes)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    bytes = content.str();
    return static_cast<bool>(file);
}

std::string RepoFile(const std::string& path)
{
    std::string bytes;
    if (!ReadFile(std::string(TRIAGE_REPO_ROOT) + "/" + path, bytes))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

}  // namespace

std::string Golden(const std::string& name)
{
    return RepoFile("tests/golden/" + name);
}

std::string TestData(const std::string& name)
{
    return RepoFile("triage/testdata/" + name);
}

std::string RealLog(const std::string& scenario, const std::string& transcript)
{
    const char* folder = std::getenv("TRIAGE_REAL_LOGS");
    std::string bytes;
    if (folder != nullptr && *folder != '\0' && ReadFile(std::string(folder) + "/" + scenario + ".txt", bytes))
        return bytes;
    return "\xFF\xFE" + Utf16Le(GoldenText(transcript));
}

std::string Transformed(const std::string& text, const std::string& command)
{
    char path[] = "/tmp/triage-text-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary file");
    close(fd);
    std::ofstream(path, std::ios::binary) << text;
    std::string out;
    std::FILE* pipe = popen(("(" + command + ") <" + path).c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int status = pclose(pipe);
    std::remove(path);
    if (status != 0)
        throw std::runtime_error(command + " failed");
    return out;
}

std::string GoldenText(const std::string& name)
{
    const std::string bytes = Golden(name);
    return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
}

std::string Edited(std::string text, const std::vector<std::pair<std::string, std::string>>& edits)
{
    for (const auto& [from, to] : edits) {
        const std::size_t at = text.find(from);
        if (at == std::string::npos)
            throw std::runtime_error("edit does not apply: " + from);
        text.replace(at, from.size(), to);
    }
    return text;
}

ReadResult ReadBytes(const std::string& bytes, const ReaderOptions& options)
{
    ReadResult result;
    result.input = ReadLogBytes(bytes, "log.txt", options,
                                [&](RunRecord&& record) { result.runs.push_back(std::move(record)); });
    return result;
}

std::string Mismatch(const nlohmann::ordered_json& actual, const nlohmann::ordered_json& expected,
                     const std::string& path)
{
    if (expected.is_object() && actual.is_object()) {
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            if (!actual.contains(it.key()))
                return path + "." + it.key() + " missing";
            const std::string why = Mismatch(actual[it.key()], it.value(), path + "." + it.key());
            if (!why.empty())
                return why;
        }
        return {};
    }
    if (actual != expected)
        return path + ": " + actual.dump() + " instead of " + expected.dump();
    return {};
}

std::vector<std::string> CauseIds(const RunRecord& record)
{
    std::vector<std::string> ids;
    for (const Cause& cause : record.causes)
        ids.push_back(cause.id);
    return ids;
}

namespace {

std::string Utf16(const std::string& utf8, bool bigEndian)
{
    std::u16string units;
    utf8::utf8to16(utf8.begin(), utf8.end(), std::back_inserter(units));
    std::string bytes;
    for (char16_t unit : units) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

}  // namespace

std::string Utf16Le(const std::string& utf8)
{
    return Utf16(utf8, false);
}

std::string Utf16Be(const std::string& utf8)
{
    return Utf16(utf8, true);
}

std::string Utf8FromUtf16Le(const std::string& bytes)
{
    std::u16string units;
    const std::size_t start = bytes.compare(0, 2, "\xFF\xFE") == 0 ? 2 : 0;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    std::string utf8;
    utf8::utf16to8(units.begin(), units.end(), std::back_inserter(utf8));
    return utf8;
}

}  // namespace triage::testing
