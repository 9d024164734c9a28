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
#include "triage/input/html_text.h"
#include "triage/input/mail_text.h"
#include "triage/input/text_decoder.h"

namespace triage {

namespace {

constexpr std::size_t kChunkBytes = 256 * 1024;

template <typename Feed>
InputResult Read(const std::string& name, const ReaderOptions& options, const ReportReader::RunSink& sink,
                 Feed feedAll)
{
    InputResult result;
    ReportReader reader(name, [&](RunRecord&& record) {
        CompleteRecord(record);
        sink(std::move(record));
    }, options);
    // The input's last line, when it had no line end, may be cut anywhere.
    bool unended = false;
    HtmlText html([&](std::string_view line, std::uint64_t number) {
        if (unended)
            reader.LastLineUnended(line, number);
        else
            reader.Line(line, number);
    });
    MailText mail([&](std::string_view line, std::uint64_t number) { html.Line(line, number); });
    LineDecoder decoder([&](std::string_view line, std::uint64_t number) {
        reader.SetEncoding(EncodingName(decoder.CurrentEncoding()));
        unended = decoder.LineUnended();
        mail.Line(line, number);
    });
    const std::string readError = feedAll(decoder);
    const bool whole = decoder.Finish();
    mail.Finish();
    result.runs = reader.Finish();
    if (!readError.empty())
        result.error = readError;
    else if (!decoder.Error().empty())
        result.error = decoder.Error();
    else if (!whole)
        result.error = "cannot be read";
    else if (result.runs == 0)
        result.error = "holds no zemlodiag report";
    return result;
}

}  // namespace

InputResult ReadLog(std::FILE* file, const std::string& name, const ReaderOptions& options,
                    const ReportReader::RunSink& sink)
{
    return Read(name, options, sink, [&](LineDecoder& decoder) -> std::string {
        std::vector<char> chunk(kChunkBytes);
        while (true) {
            const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
            if (got > 0 && !decoder.Feed(chunk.data(), got))
                return {};
            if (got < chunk.size()) {
                if (std::ferror(file))
                    return std::string("read error: ") + std::strerror(errno);
                return {};
            }
        }
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
    InputResult result = ReadLog(file, path, options, sink);
    std::fclose(file);
    return result;
}

InputResult ReadLogBytes(const std::string& bytes, const std::string& name, const ReaderOptions& options,
                         const ReportReader::RunSink& sink)
{
    return Read(name, options, sink, [&](LineDecoder& decoder) -> std::string {
        decoder.Feed(bytes.data(), bytes.size());
        return {};
    });
}

}  // namespace triage
