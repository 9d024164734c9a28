// libFuzzer entry: any bytes through the decoder, the reader and every
// output; the sanitizers judge.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "triage/log_input.h"
#include "triage/outputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    triage::ReaderOptions options;
    options.keepRaw = true;
    std::vector<triage::HtmlRun> runs;
    std::ostringstream out;
    triage::ReadLogBytes(std::string(reinterpret_cast<const char*>(data), size), "fuzz", options,
                         [&](triage::RunRecord&& record) {
                             out << triage::RecordJson(record).dump();
                             triage::WriteCsvRow(out, record);
                             triage::WriteTextSummary(out, record);
                             runs.push_back(triage::ForHtml(record));
                         });
    triage::WriteHtml(out, runs);
    return 0;
}
