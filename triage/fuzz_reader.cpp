// libFuzzer entry: any bytes through the decoder, the reader and every
// output; the sanitizers judge.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "triage/output/html_output.h"
#include "triage/log_input.h"
#include "triage/output/outputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    triage::ReaderOptions options;
    options.keepRaw = true;
    triage::HtmlPage page;
    std::ostringstream out;
    triage::ReadLogBytes(std::string(reinterpret_cast<const char*>(data), size), "fuzz", options,
                         [&](triage::RunRecord&& record) {
                             out << triage::RecordJson(record).dump();
                             triage::WriteCsvRow(out, record);
                             triage::WriteTextSummary(out, record);
                             page.Add(triage::ForPage(record));
                         });
    page.Write(out);
    return 0;
}
