#include "triage/log_input.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "triage/diagnosis/diagnosis.h"
#include "triage/input/mail_text.h"
#include "triage/input/text_decoder.h"

namespace triage {

namespace {

constexpr std::size_t kChunkBytes = 256 * 1024;

}  // namespace

struct LogStream::State {
    State(const std::string& name, const ReaderOptions& options, const ReportReader::RunSink& sink)
        : reader(name, [sink](RunRecord&& record) {
              CompleteRecord(record);
              sink(std::move(record));
          }, options)
    {
    }

    ReportReader reader;
    // The input's last line, when it had no line end, may be cut anywhere.
    bool unended = false;
    MailText mail{[this](std::string_view line, std::uint64_t number) {
        if (unended)
            reader.LastLineUnended(line, number);
        else
            reader.Line(line, number);
    }};
    LineDecoder decoder{[this](std::string_view line, std::uint64_t number) {
        reader.SetEncoding(EncodingName(decoder.CurrentEncoding()));
        unended = decoder.LineUnended();
        mail.Line(line, number);
    }};
};

LogStream::LogStream(const std::string& name, const ReaderOptions& options, const ReportReader::RunSink& sink)
    : state_(std::make_unique<State>(name, options, sink))
{
}

LogStream::~LogStream() = default;

bool LogStream::Feed(const char* data, std::size_t size)
{
    return state_->decoder.Feed(data, size);
}

InputResult LogStream::Finish(const std::string& readError)
{
    State& s = *state_;
    InputResult result;
    const bool whole = s.decoder.Finish();
    s.mail.Finish();
    result.runs = s.reader.Finish();
    if (!readError.empty())
        result.error = readError;
    else if (!s.decoder.Error().empty())
        result.error = s.decoder.Error();
    else if (!whole)
        result.error = "cannot be read";
    else if (result.runs == 0)
        result.error = "holds no zemlodiag report";
    return result;
}

InputResult ReadLog(std::FILE* file, const std::string& name, const ReaderOptions& options,
                    const ReportReader::RunSink& sink)
{
    LogStream log(name, options, sink);
    std::vector<char> chunk(kChunkBytes);
    while (true) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        if (got > 0 && !log.Feed(chunk.data(), got))
            return log.Finish();
        if (got < chunk.size())
            return log.Finish(std::ferror(file) ? std::string("read error: ") + std::strerror(errno) : std::string());
    }
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
    InputResult result = ReadLog(file, path, options, sink);
    std::fclose(file);
    return result;
}

InputResult ReadLogBytes(const std::string& bytes, const std::string& name, const ReaderOptions& options,
                         const ReportReader::RunSink& sink)
{
    LogStream log(name, options, sink);
    log.Feed(bytes.data(), bytes.size());
    return log.Finish();
}

}  // namespace triage
