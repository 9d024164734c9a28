#include "triage/input/input_kinds.h"

#include <cctype>

namespace triage {

namespace {

constexpr std::string_view kLogAdvice = "send the log file itself (zemlodiag.txt beside the program)";

struct RefusedKindRow {
    std::string_view magic;      // the first bytes; empty: by name only
    std::string_view extension;  // lower case, with its dot; empty: by bytes only
    std::string_view what;
    std::string_view advice;
};

// Bytes decide: text named .doc is read, and a renamed archive is refused.
// Where the bytes are shared (an Office file is a zip archive or an OLE
// compound file), the name says which document it is. Rows without bytes
// refuse by name only where no bytes are at hand yet (an archive's entry, a
// mail's attachment).
constexpr RefusedKindRow kRefusedKinds[] = {
    {"7z\xBC\xAF\x27\x1C", ".7z", "a 7-Zip archive", "unpack it and send the log files, or pack them as .zip"},
    {"Rar!\x1A\x07", ".rar", "a RAR archive", "unpack it and send the log files, or pack them as .zip"},
    {"{\\rtf", ".rtf", "a rich text document", "send the log file itself, or save the text as .txt"},
    {"%PDF-", ".pdf", "a PDF document", "send the log file itself"},
    {"\x1F\x8B", ".gz", "a gzip file", "unpack it and send the log file, or pack it as .zip"},
    {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", ".msg", "an Outlook message or an older Office document",
     "save the attached log file itself, or save the mail as .eml"},
    {"", ".doc", "a Word document", "send the log file itself, or save the text as .txt"},
    {"", ".docx", "a Word document", "send the log file itself, or save the text as .txt"},
    {"", ".odt", "an OpenDocument text", "send the log file itself, or save the text as .txt"},
    {"", ".xlsx", "an Excel workbook", "send the log file itself"},
    {"\x89PNG", "", "a picture", kLogAdvice},
    {"\xFF\xD8\xFF", "", "a picture", kLogAdvice},
};

constexpr std::string_view kReadExtensions[] = {".txt", ".log", ".eml", ".zip"};

std::string LowerExtension(std::string_view name)
{
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    const std::size_t dot = name.rfind('.');
    std::string extension(dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string Refusal(const RefusedKindRow& row)
{
    return std::string(row.what) + ": " + std::string(row.advice);
}

}  // namespace

bool IsReadName(std::string_view name)
{
    const std::string extension = LowerExtension(name);
    for (std::string_view read : kReadExtensions)
        if (extension == read)
            return true;
    return false;
}

bool IsZipName(std::string_view name)
{
    return LowerExtension(name) == ".zip";
}

bool StartsLikeZip(std::string_view head)
{
    return head.substr(0, 4) == "PK\x03\x04" || head.substr(0, 4) == "PK\x05\x06";
}

std::optional<std::string> RefusedKind(std::string_view head, std::string_view name)
{
    for (const RefusedKindRow& row : kRefusedKinds) {
        if (!row.magic.empty() && head.substr(0, row.magic.size()) == row.magic) {
            std::optional<std::string> named = RefusedName(name);
            return named ? named : Refusal(row);
        }
    }
    return std::nullopt;
}

std::optional<std::string> RefusedName(std::string_view name)
{
    const std::string extension = LowerExtension(name);
    if (extension.empty())
        return std::nullopt;
    for (const RefusedKindRow& row : kRefusedKinds)
        if (row.extension == extension)
            return Refusal(row);
    return std::nullopt;
}

}  // namespace triage
