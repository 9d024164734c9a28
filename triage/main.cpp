// zemlotriage: reads zemlodiag logs and says what is wrong, per PC and
// across a fleet.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

#include "triage/output/html_output.h"
#include "triage/input/input_walker.h"
#include "triage/log_input.h"
#include "triage/output/ordered_output.h"
#include "triage/output/outputs.h"
#include "triage/output/reader_version.h"

namespace fs = std::filesystem;
using namespace triage;

namespace {

constexpr const char* kDescription =
    "zemlotriage reads zemlodiag logs and says what is wrong, per PC and across a fleet.\n"
    "\n"
    "Each argument is a log file, a saved mail (.eml), a zip archive, a folder\n"
    "(searched recursively for *.txt, *.log, *.eml and *.zip in any letter case, in\n"
    "name order; a folder without one is an error) or - for standard input. An\n"
    "archive is read as a folder: its logs in name order, named ARCHIVE/inner/path.\n"
    "A mail's parts are read apart, base64 attachments too; a run read from one\n"
    "names it in \"part\" (\"1\", \"2 zemlodiag.txt\"). A kind that is not read (a\n"
    "Word document, a 7-Zip or RAR archive, an encrypted entry ...) is refused with\n"
    "what to send instead. A log is\n"
    "read as the diagnostic writes it (UTF-16LE, with or without a byte-order mark)\n"
    "or as a user re-saved or copied it (UTF-8, UTF-16BE, Windows-1252; CRLF, LF or\n"
    "CR line ends). Every start banner begins a run; a console capture without\n"
    "banners is one run per prompt. \"ending\" says how a run's text ends:\n"
    "end-banner, closed-at-prompt, console-capture or cut-short.\n"
    "\n"
    "Output: a short summary per run (causes first), or one of --json (JSON Lines,\n"
    "one record per run) and --csv (a header row, then one row per run). --html\n"
    "writes a self-contained page (a board per run; a fleet view for several)\n"
    "in place of the short summary; with --json or --csv both are written.\n"
    "\n"
    "Exit code: 0 when every input was read, 1 when some input could not be read,\n"
    "held no run or was a folder without logs (one line on standard error each;\n"
    "the others go on), 2 for a usage error.";

enum class Format { Text, Json, Csv };

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
    app.add_option("LOG", inputs, "log files, saved mails, zip archives, folders (searched for *.txt, *.log, *.eml, *.zip in name order) or - for standard input")->required();
    auto* jsonFlag = app.add_flag("--json", json, "JSON Lines: one record per run");
    app.add_flag("--csv", csv, "CSV (RFC 4180): a header row, then one row per run")->excludes(jsonFlag);
    app.add_option("--html", htmlPath,
                   "write a self-contained HTML page to this file, in place of the short summary");
    app.set_version_flag("--version", std::string("zemlotriage ") + ReaderVersion(), "print the release version and exit");
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

    HtmlPage page;
    InputWalker walker(inputs);
    const bool allRead = ReadInOrder(walker, jobs, out, std::cerr, [&](const std::string& path, FileText& text) {
        auto pageRuns = std::make_shared<std::vector<PageRun>>();
        const InputResult read = ReadLogFile(path, options, [&](RunRecord&& record) {
            switch (format) {
            case Format::Json: text.Out() << RecordJson(record).dump() << "\n"; break;
            case Format::Csv: WriteCsvRow(text.Out(), record); break;
            case Format::Text:
                if (printText)
                    WriteTextSummary(text.Out(), record);
                break;
            }
            if (!htmlPath.empty())
                pageRuns->push_back(ForPage(record));
            text.FlushWhenItsTurn();
        });
        // Added on the writing thread, so in the files' order.
        return FileDone{read.error,
                        [&page, pageRuns] {
                            for (PageRun& run : *pageRuns)
                                page.Add(std::move(run));
                        },
                        read.named};
    });
    out.flush();

    if (!htmlPath.empty()) {
        std::ofstream file(fs::u8path(htmlPath), std::ios::binary);
        page.Write(file);
        if (!file) {
            std::cerr << "zemlotriage: " << htmlPath << ": cannot write the page\n";
            return 1;
        }
    }
    return allRead ? 0 : 1;
}
