// zemlotriage: reads zemlodiag logs and says what is wrong, per PC and
// across a fleet.

#include <CLI/CLI.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

#include "triage/log_input.h"
#include "triage/outputs.h"

namespace fs = std::filesystem;
using namespace triage;

namespace {

constexpr const char* kDescription =
    "zemlotriage reads zemlodiag logs and says what is wrong, per PC and across a fleet.\n"
    "\n"
    "Each argument is a log file, a folder (searched recursively for *.txt) or - for\n"
    "standard input. A log is read as the diagnostic writes it (UTF-16LE, with or\n"
    "without a byte-order mark) or as a user re-saved or copied it (UTF-8, UTF-16BE,\n"
    "Windows-1252; CRLF, LF or CR line ends). Every start banner begins a run; a run\n"
    "without its end banner is kept as \"ended\": false; a console capture without\n"
    "banners is one run.\n"
    "\n"
    "Output: a short summary per run (causes first), or one of --json (JSON Lines,\n"
    "one record per run) and --csv (a header row, then one row per run), and with\n"
    "--html a self-contained page (a board per run; a fleet view for several).\n"
    "\n"
    "Exit code: 0 when every input was read, 1 when some input could not be read or\n"
    "held no run (one line on standard error each; the others go on), 2 for a usage\n"
    "error.";

enum class Format { Text, Json, Csv };

// Hands out the files of the arguments one at a time, walking folders lazily,
// so that memory does not grow with the number of files.
class InputWalker {
public:
    explicit InputWalker(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

    // Next path, or nothing at the end. Errors of the walk are reported.
    std::optional<std::string> Next(std::vector<std::string>* errors)
    {
        while (true) {
            if (walking_) {
                std::error_code ec;
                while (walk_ != fs::recursive_directory_iterator()) {
                    const fs::directory_entry entry = *walk_;
                    walk_.increment(ec);
                    if (ec) {
                        errors->push_back(entry.path().u8string() + ": " + ec.message());
                        walking_ = false;
                        break;
                    }
                    std::string extension = entry.path().extension().u8string();
                    for (char& c : extension)
                        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    std::error_code typeError;
                    if (extension == ".txt" && entry.is_regular_file(typeError))
                        return entry.path().u8string();
                }
                walking_ = false;
            }
            if (next_ >= arguments_.size())
                return std::nullopt;
            const std::string& argument = arguments_[next_++];
            std::error_code ec;
            if (argument != "-" && fs::is_directory(fs::u8path(argument), ec)) {
                walk_ = fs::recursive_directory_iterator(fs::u8path(argument),
                                                         fs::directory_options::skip_permission_denied, ec);
                if (ec) {
                    errors->push_back(argument + ": " + ec.message());
                    continue;
                }
                walking_ = true;
                continue;
            }
            return argument;
        }
    }

private:
    std::vector<std::string> arguments_;
    std::size_t next_ = 0;
    bool walking_ = false;
    fs::recursive_directory_iterator walk_;
};

// The arguments as UTF-8, without the program's name, last first (as CLI11
// takes them). Windows hands 8-bit arguments in the ANSI code page, so the
// wide command line is read there instead.
std::vector<std::string> ArgumentsLastFirst(int argc, char** argv)
{
    std::vector<std::string> arguments;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(bytes > 0 ? static_cast<std::size_t>(bytes - 1) : 0, '\0');
        if (bytes > 1)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), bytes, nullptr, nullptr);
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
#else
    arguments.assign(argv + 1, argv + argc);
#endif
    return {arguments.rbegin(), arguments.rend()};
}

struct FileOutput {
    std::string text;
    std::vector<std::string> errors;
    std::vector<HtmlRun> html;
    bool failed = false;
};

}  // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    CLI::App app{kDescription, "zemlotriage"};
    std::vector<std::string> inputs;
    bool json = false;
    bool csv = false;
    std::string htmlPath;
    unsigned jobs = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
    app.add_option("LOG", inputs, "log files, folders (searched for *.txt) or - for standard input")->required();
    auto* jsonFlag = app.add_flag("--json", json, "JSON Lines: one record per run");
    app.add_flag("--csv", csv, "CSV (RFC 4180): a header row, then one row per run")->excludes(jsonFlag);
    app.add_option("--html", htmlPath, "also write a self-contained HTML page to this file");
    app.add_option("--jobs", jobs, "files read at the same time (default: up to 2)")->check(CLI::Range(1u, 64u));
    try {
        std::vector<std::string> arguments = ArgumentsLastFirst(argc, argv);
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    const Format format = json ? Format::Json : csv ? Format::Csv : Format::Text;
    const bool printText = htmlPath.empty() || format != Format::Text;
    ReaderOptions options;
    options.keepRaw = !htmlPath.empty();

    std::ostream& out = std::cout;
    std::ios::sync_with_stdio(false);
    if (format == Format::Csv)
        WriteCsvHeader(out);

    InputWalker walker(inputs);
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, FileOutput> done;  // finished files not yet printed
    std::size_t handedOut = 0;
    std::size_t printed = 0;
    bool exhausted = false;
    bool anyFailed = false;
    std::vector<HtmlRun> htmlRuns;
    std::vector<std::string> walkErrors;
    constexpr std::size_t kWindow = 64;  // files ahead of the one printed next
    constexpr std::size_t kFlushBytes = 64 * 1024;

    auto work = [&] {
        while (true) {
            std::size_t index;
            std::string path;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return exhausted || handedOut - printed < kWindow; });
                if (exhausted)
                    return;
                // Printed by the main thread, the only one that writes errors.
                const std::size_t errorsBefore = walkErrors.size();
                std::optional<std::string> next = walker.Next(&walkErrors);
                anyFailed = anyFailed || walkErrors.size() > errorsBefore;
                if (!next) {
                    exhausted = true;
                    changed.notify_all();
                    return;
                }
                index = handedOut++;
                path = std::move(*next);
            }
            FileOutput result;
            std::ostringstream text;
            // A file with many runs writes as it goes once its turn has
            // come, and waits for its turn rather than piling up output.
            auto flushWhenItsTurn = [&] {
                if (text.tellp() < static_cast<std::streamoff>(kFlushBytes))
                    return;
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return printed == index; });
                lock.unlock();
                out << text.str();
                text.str({});
            };
            const InputResult read = ReadLogFile(path, options, [&](RunRecord&& record) {
                switch (format) {
                case Format::Json: text << RecordJson(record).dump() << "\n"; break;
                case Format::Csv: WriteCsvRow(text, record); break;
                case Format::Text:
                    if (printText)
                        WriteTextSummary(text, record);
                    break;
                }
                if (!htmlPath.empty())
                    result.html.push_back(ForHtml(record));
                flushWhenItsTurn();
            });
            result.text = text.str();
            if (!read.error.empty()) {
                result.errors.push_back(path + ": " + read.error);
                result.failed = true;
            }
            std::lock_guard<std::mutex> lock(mutex);
            done.emplace(index, std::move(result));
            changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i)
        workers.emplace_back(work);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (true) {
            changed.wait(lock, [&] { return done.count(printed) > 0 || (exhausted && printed == handedOut); });
            for (const std::string& error : walkErrors)
                std::cerr << "zemlotriage: " << error << "\n";
            walkErrors.clear();
            if (done.count(printed) == 0)
                break;
            FileOutput result = std::move(done[printed]);
            done.erase(printed);
            lock.unlock();
            out << result.text;
            for (const std::string& error : result.errors)
                std::cerr << "zemlotriage: " << error << "\n";
            for (HtmlRun& run : result.html) {
                if (htmlRuns.size() >= kHtmlBoards)
                    DropBoard(run);
                htmlRuns.push_back(std::move(run));
            }
            lock.lock();
            // Counted once written: a later file may write its own output now.
            ++printed;
            changed.notify_all();
            anyFailed = anyFailed || result.failed;
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    out.flush();

    if (!htmlPath.empty()) {
        std::ofstream page(fs::u8path(htmlPath), std::ios::binary);
        WriteHtml(page, htmlRuns);
        if (!page) {
            std::cerr << "zemlotriage: " << htmlPath << ": cannot write the page\n";
            return 1;
        }
    }
    return anyFailed ? 1 : 0;
}
