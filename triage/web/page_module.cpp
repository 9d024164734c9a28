// The browser page's reader, compiled to WebAssembly: the page hands it the
// files one at a time, a small one whole and a large one in slices of its
// bytes, and takes back what the command line would print for the same
// files (JSON Lines, CSV) and the --html page's body, its boards as they are
// read and the fleet view at the end.
// Everything goes through the command line's own reading and writing
// functions, so the page cannot say anything the command line would not.

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "triage/archive_input.h"
#include "triage/input/input_kinds.h"
#include "triage/output/html_output.h"
#include "triage/log_input.h"
#include "triage/output/outputs.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define PAGE_EXPORT extern "C" EMSCRIPTEN_KEEPALIVE
#else
#define PAGE_EXPORT extern "C"
#endif

namespace {

using namespace triage;

// What one reading (one drop, one choice of files, one paste) has gathered.
// JSON Lines and CSV are written only when asked for: writing JSON costs
// more than reading the logs, and most readings are only looked at.
struct Reading {
    HtmlPage page{HtmlPage::kBoards};
    std::vector<RunRecord> records;  // without their text, which the page keeps
    // The file being streamed, its runs so far, and why it stopped if it
    // failed on the way.
    std::unique_ptr<LogReading> file;
    int fileRuns = 0;
    std::string fileError;
    std::string lastError;
    std::string output;  // what the last call to PageOutput made
    // The zip archive being read: its name, what becomes of its entries,
    // and the entry whose bytes the page is inflating.
    std::string archiveName;
    ZipListing archive;
    std::string archivePlan;
    std::unique_ptr<EntryReading> entry;
};

Reading& Current()
{
    static Reading reading;
    return reading;
}

void KeepRun(Reading& reading, RunRecord&& record)
{
    reading.page.Add(ForPage(record));
    record.raw = {};
    reading.records.push_back(std::move(record));
}

std::string JsonLines(const std::vector<RunRecord>& records)
{
    std::string lines;
    for (const RunRecord& record : records)
        lines += RecordJson(record).dump() + "\n";
    return lines;
}

std::string Csv(const std::vector<RunRecord>& records)
{
    std::string text;
    TextOut csv(text);
    WriteCsvHeader(csv);
    for (const RunRecord& record : records)
        WriteCsvRow(csv, record);
    return text;
}

}  // namespace

// Starts a new reading; what the previous one gathered is freed.
PAGE_EXPORT void PageReset()
{
    Current() = Reading{};
}

ReaderOptions PageOptions()
{
    ReaderOptions options;
    options.keepRaw = true;  // the boards show the raw report
    return options;
}

namespace {

// The archive's plan for the page: what becomes of each entry, and where its
// packed bytes are.
void ListArchive(Reading& reading, const char* name, std::uint64_t size, const ReadAt& readAt)
{
    reading.archiveName = name;
    reading.archive = ListZip(size, readAt, name);
    nlohmann::json plan = {{"error", reading.archive.error}, {"entries", nlohmann::json::array()}};
    for (const ZipEntry& entry : reading.archive.entries)
        plan["entries"].push_back({{"name", EntryName(name, entry)}, {"refusal", entry.refusal},
                                   {"offset", entry.dataOffset}, {"packed", entry.packedSize},
                                   {"deflated", entry.method == static_cast<std::uint16_t>(ZipMethod::Deflated)}});
    reading.archivePlan = plan.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

// Reads one file. Returns its number of runs; PageLastError() then says why
// the file failed, in the command line's words, or is empty. A zip archive
// returns -1: PageArchivePlan() says what becomes of its entries, which the
// page inflates and hands over one at a time (PageEntryBegin, ...).
PAGE_EXPORT int PageReadFile(const char* name, const char* bytes, std::size_t length)
{
    Reading& reading = Current();
    const auto sink = [&](RunRecord&& record) { KeepRun(reading, std::move(record)); };
    reading.lastError.clear();
    if (StartsLikeZip(std::string_view(bytes, length))) {
        const ReadAt readAt = [&](std::uint64_t offset, std::size_t size, std::string& into) {
            if (offset > length || size > length - offset)
                return false;
            into.assign(bytes + offset, size);
            return true;
        };
        ListArchive(reading, name, length, readAt);
        return -1;
    }
    // ReadLogBytes makes a failure inside the reader the file's error; what
    // fails outside it (the bytes' copy) is the file's error too.
    try {
        const InputResult result = ReadLogBytes(std::string(bytes, length), name, PageOptions(), sink);
        reading.lastError = result.error;
        return result.runs;
    } catch (const std::exception& error) {
        reading.lastError = std::string("stopped by an internal error: ") + error.what();
        return 0;
    }
}

// A file larger than the page hands over whole is read in slices: PageBeginFile
// starts it, PageFeed takes its bytes in order, PageEndFile ends it. A failure
// inside the reader, at any of the three, is that file's error: the runs before
// it stay, and the next file is read.
PAGE_EXPORT void PageBeginFile(const char* name)
{
    Reading& reading = Current();
    reading.fileRuns = 0;
    reading.fileError.clear();
    try {
        reading.file = std::make_unique<LogReading>(name, PageOptions(), [&reading](RunRecord&& record) {
            KeepRun(reading, std::move(record));
            ++reading.fileRuns;
        });
    } catch (const std::exception& error) {
        reading.file.reset();
        reading.fileError = std::string("stopped by an internal error: ") + error.what();
    }
}

namespace {

void FileFailed(Reading& reading, const std::exception& error)
{
    reading.file.reset();
    reading.fileError = std::string("stopped by an internal error after ") + std::to_string(reading.fileRuns) +
                        " run(s): " + error.what();
}

}  // namespace

// The file's next bytes. 0 once no more are wanted: the file is known not to
// be a log, or it failed.
PAGE_EXPORT int PageFeed(const char* bytes, std::size_t length)
{
    Reading& reading = Current();
    if (!reading.file)
        return 0;
    try {
        return reading.file->Feed(bytes, length) ? 1 : 0;
    } catch (const std::exception& error) {
        FileFailed(reading, error);
        return 0;
    }
}

// Ends the file; `readError` (UTF-8, may be empty) says why its bytes could
// not all be read. Returns its number of runs; PageLastError() then says why
// the file failed, in the command line's words, or is empty.
PAGE_EXPORT int PageEndFile(const char* readError)
{
    Reading& reading = Current();
    if (reading.file) {
        try {
            const InputResult result = reading.file->Finish(readError);
            reading.file.reset();
            reading.lastError = result.error;
            return result.runs;
        } catch (const std::exception& error) {
            FileFailed(reading, error);
        }
    }
    reading.lastError = reading.fileError;
    return reading.fileRuns;
}

#ifdef __EMSCRIPTEN__
// A zip archive too large to hand over whole stays a Blob in the worker,
// which reads the bytes asked for here at once (FileReaderSync): the
// archive's directory from its end, then each entry's header.
EM_JS(int, ReadArchiveBytes, (double offset, std::size_t size, char* into),
      { return Module.readArchiveBytes(offset, size, into); });

// Lists the archive of `size` bytes that the worker holds; PageArchivePlan()
// then says what becomes of its entries, read as those of PageReadFile.
PAGE_EXPORT void PageListArchive(const char* name, double size)
{
    const ReadAt readAt = [](std::uint64_t offset, std::size_t length, std::string& into) {
        into.resize(length);
        return ReadArchiveBytes(static_cast<double>(offset), length, into.data()) != 0;
    };
    ListArchive(Current(), name, static_cast<std::uint64_t>(size), readAt);
}
#endif

// The last archive's entries as JSON: {"error": why the archive cannot be
// read, or "", "entries": [{name, refusal, offset, packed, deflated}]}, in
// the order they are read.
PAGE_EXPORT const char* PageArchivePlan()
{
    return Current().archivePlan.c_str();
}

// Starts reading entry `index` of the last archive; PageEntryFeed takes its
// unpacked bytes (false: no more are wanted), PageEntryEnd ends it with why
// the bytes stopped coming, or "", and returns its runs (PageLastError()).
PAGE_EXPORT void PageEntryBegin(std::size_t index)
{
    Reading& reading = Current();
    const auto sink = [&reading](RunRecord&& record) { KeepRun(reading, std::move(record)); };
    reading.entry = std::make_unique<EntryReading>(reading.archiveName, reading.archive.entries.at(index),
                                                   PageOptions(), sink);
}

PAGE_EXPORT int PageEntryFeed(const char* bytes, std::size_t length)
{
    return Current().entry->Feed(bytes, length) ? 1 : 0;
}

PAGE_EXPORT int PageEntryEnd(const char* readError)
{
    Reading& reading = Current();
    const InputResult result = reading.entry->Finish(readError);
    reading.entry.reset();
    reading.lastError = result.error;
    return result.runs;
}

PAGE_EXPORT const char* PageLastError()
{
    return Current().lastError.c_str();
}

enum PageOutputKind { kPageHead = 0, kPageJsonLines = 1, kPageCsv = 2, kPageStyle = 3, kPageNewBoards = 4 };

// Makes one output of the reading so far; PageOutputSize() is its length in
// bytes (UTF-8). Valid until the next call.
PAGE_EXPORT const char* PageOutput(int kind)
{
    Reading& reading = Current();
    switch (kind) {
    case kPageHead:
    case kPageNewBoards: {
        reading.output.clear();
        TextOut html(reading.output);
        if (kind == kPageHead)
            reading.page.WriteHead(html);
        else
            reading.page.WriteNewBoards(html);
        break;
    }
    case kPageJsonLines: reading.output = JsonLines(reading.records); break;
    case kPageCsv: reading.output = Csv(reading.records); break;
    case kPageStyle: reading.output = HtmlStyle(); break;
    default: reading.output.clear();
    }
    return reading.output.c_str();
}

PAGE_EXPORT std::size_t PageOutputSize()
{
    return Current().output.size();
}

PAGE_EXPORT std::size_t PageRunCount()
{
    return Current().records.size();
}
