#include "triage/log_input.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "triage/archive_input.h"
#include "triage/diagnosis/diagnosis.h"
#include "triage/input/html_text.h"
#include "triage/input/input_kinds.h"
#include "triage/input/mail_text.h"
#include "triage/input/mime_parts.h"
#include "triage/input/text_decoder.h"

namespace triage {

namespace {

constexpr std::size_t kChunkBytes = 256 * 1024;

}  // namespace

struct LogReading::State {
    State(const std::string& name, const ReaderOptions& options, const ReportReader::RunSink& sink)
        : name(name),
          reader(name, [sink](RunRecord&& record) {
              CompleteRecord(record);
              sink(std::move(record));
          }, options),
          html([this](std::string_view line, std::uint64_t number) {
              if (unended)
                  reader.LastLineUnended(line, number);
              else
                  reader.Line(line, number);
          }),
          mail([this](std::string_view line, std::uint64_t number) { html.Line(line, number); }),
          parts({[this](std::string_view line, std::uint64_t number) { mail.Line(line, number); },
                 [this](std::string_view line, std::uint64_t number, Encoding encoding) {
                     reader.SetEncoding(EncodingName(encoding));
                     const bool outerUnended = unended;
                     unended = false;  // an attachment's lines are whole
                     mail.Decoded(line, number);
                     unended = outerUnended;
                 },
                 [this](const std::string& part) { reader.SetPart(part); }}),
          decoder([this](std::string_view line, std::uint64_t number) {
              reader.SetEncoding(EncodingName(decoder.CurrentEncoding()));
              unended = decoder.LineUnended();
              parts.Line(line, number);
          })
    {
    }

    std::string name;
    ReportReader reader;
    // The input's last line, when it had no line end, may be cut anywhere.
    bool unended = false;
    HtmlText html;
    MailText mail;
    MimeParts parts;
    LineDecoder decoder;
    std::string head;  // the first bytes, until the input's kind is known
    bool headKnown = false;
    std::string refused;
};

LogReading::LogReading(const std::string& name, const ReaderOptions& options, const ReportReader::RunSink& sink)
    : state_(std::make_unique<State>(name, options, sink))
{
}

LogReading::~LogReading() = default;

bool LogReading::Feed(const char* data, std::size_t size)
{
    State& s = *state_;
    if (!s.refused.empty())
        return false;
    if (!s.headKnown) {
        // Kinds this program does not read are told by their first bytes.
        s.head.append(data, size);
        if (s.head.size() < kKindHeadBytes)
            return true;
        s.headKnown = true;
        std::optional<std::string> refused = RefusedKind(std::string_view(s.head).substr(0, kKindHeadBytes), s.name);
        if (!refused && StartsLikeZip(s.head))
            refused = "a zip archive inside another file or stream: name the archive file itself";
        if (refused) {
            s.refused = *refused;
            return false;
        }
        const std::string head = std::move(s.head);
        s.head = {};
        return s.decoder.Feed(head.data(), head.size());
    }
    return s.decoder.Feed(data, size);
}

InputResult LogReading::Finish(const std::string& readError)
{
    State& s = *state_;
    InputResult result;
    if (!s.headKnown && s.refused.empty() && !s.head.empty()) {
        s.headKnown = true;
        const std::optional<std::string> refused = RefusedKind(s.head, s.name);
        if (refused)
            s.refused = *refused;
        else
            s.decoder.Feed(s.head.data(), s.head.size());
    }
    if (!s.refused.empty()) {
        result.error = s.refused;  // and no record
        return result;
    }
    const bool whole = s.decoder.Finish();
    s.parts.Finish();
    s.mail.Finish();
    result.runs = s.reader.Finish();
    if (!readError.empty()) {
        result.error = readError;
    } else if (!s.decoder.Error().empty()) {
        result.error = s.decoder.Error();
    } else if (!whole) {
        result.error = "cannot be read";
    } else if (result.runs == 0 && s.parts.IsMail()) {
        result.error = "a mail holding no zemlodiag report";
        for (const std::string& notRead : s.parts.NotRead())
            result.error += "; " + notRead;
    } else if (result.runs == 0) {
        result.error = "holds no zemlodiag report";
    }
    return result;
}

namespace {

InputResult ReadRest(std::FILE* file, LogReading& reading)
{
    std::vector<char> chunk(kChunkBytes);
    while (true) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        if (got > 0 && !reading.Feed(chunk.data(), got))
            return reading.Finish();
        if (got < chunk.size()) {
            if (std::ferror(file))
                return reading.Finish(std::string("read error: ") + std::strerror(errno));
            return reading.Finish();
        }
    }
}

// One input's failure, while reading it or while the sink writes its runs,
// is that input's error: the runs before it stay written, and the inputs
// after it are read.
template <typename ReadInput>
InputResult Guarded(const ReportReader::RunSink& sink, ReadInput readInput)
{
    int runs = 0;
    const ReportReader::RunSink counted = [&](RunRecord&& record) {
        sink(std::move(record));
        ++runs;
    };
    try {
        return readInput(counted);
    } catch (const std::exception& error) {
        InputResult result;
        result.runs = runs;
        result.error = std::string("stopped by an internal error after ") + std::to_string(runs) + " run(s): " +
                       error.what();
        return result;
    }
}

}  // namespace

InputResult ReadLog(std::FILE* file, const std::string& name, const ReaderOptions& options,
                    const ReportReader::RunSink& sink)
{
    return Guarded(sink, [&](const ReportReader::RunSink& counted) {
        LogReading reading(name, options, counted);
        return ReadRest(file, reading);
    });
}

InputResult ReadLogFile(const std::string& path, const ReaderOptions& options, const ReportReader::RunSink& sink)
{
    if (path == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        return ReadLog(stdin, "-", options, sink);
    }
#ifdef _WIN32
    std::FILE* file = _wfopen(std::filesystem::u8path(path).c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (file == nullptr)
        return {0, std::string("cannot open: ") + std::strerror(errno)};
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closed(file, std::fclose);
    return Guarded(sink, [&](const ReportReader::RunSink& counted) {
        // An archive is opened by its directory at its end; anything else is
        // read as it comes (a pipe's bytes too), its first bytes first.
        char head[4] = {};
        const std::size_t got = std::fread(head, 1, sizeof head, file);
        if (StartsLikeZip(std::string_view(head, got)))
            return ReadZipFile(file, path, options, counted);
        LogReading reading(path, options, counted);
        return std::ferror(file) ? reading.Finish(std::string("read error: ") + std::strerror(errno))
               : !reading.Feed(head, got) ? reading.Finish()
                                          : ReadRest(file, reading);
    });
}

InputResult ReadLogBytes(const std::string& bytes, const std::string& name, const ReaderOptions& options,
                         const ReportReader::RunSink& sink)
{
    return Guarded(sink, [&](const ReportReader::RunSink& counted) {
        if (StartsLikeZip(bytes))
            return ReadZipBytes(bytes, name, options, counted);
        LogReading reading(name, options, counted);
        reading.Feed(bytes.data(), bytes.size());
        return reading.Finish();
    });
}

}  // namespace triage
