// libFuzzer entry: any bytes through the decoder, the reader and every
// output (JSON Lines, CSV, the text summary, the --html page, and the
// browser page's reader with its downloads); the sanitizers judge, and every
// JSON record must read back. The input's first bytes are also its file
// name, so names that are not UTF-8 (as unzip leaves them) are fuzzed too.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "triage/log_input.h"
#include "triage/output/html_output.h"
#include "triage/output/outputs.h"

extern "C" {
void PageReset();
int PageReadFile(const char* name, const char* bytes, std::size_t length);
const char* PageOutput(int kind);
}

namespace {

constexpr std::size_t kNameBytes = 16;

void CheckJsonLine(const std::string& line)
{
    if (!nlohmann::json::accept(line))
        std::abort();  // a record that does not read back as JSON
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string name = bytes.substr(0, std::min(size, kNameBytes));
    triage::ReaderOptions options;
    options.keepRaw = true;
    triage::HtmlPage page;
    std::ostringstream out;
    triage::WriteCsvHeader(out);
    triage::ReadLogBytes(bytes, name, options, [&](triage::RunRecord&& record) {
        const std::string line = triage::RecordJson(record).dump();
        CheckJsonLine(line);
        out << line;
        triage::WriteCsvRow(out, record);
        triage::WriteTextSummary(out, record);
        page.Add(triage::ForPage(record));
    });
    page.Write(out);

    // The browser page's reader: the name as a C string, as the page passes it.
    PageReset();
    PageReadFile(name.c_str(), bytes.data(), bytes.size());
    for (int kind = 0; kind <= 4; ++kind)
        PageOutput(kind);
    std::istringstream jsonLines(PageOutput(1));
    for (std::string line; std::getline(jsonLines, line);)
        CheckJsonLine(line);
    return 0;
}
