// The lines that say who ran the diagnostic and on what:
// - "running as LocalSystem" sets localSystem;
// - /fix's import lines set fix.imported and fix.error, and the
//   "Test after import" banner that follows them is known text;
// - the Windows version line sets os.version, servicePack, platformId,
//   productType and suiteMask; the architecture line os.arch and the build
//   values; the compatibility error os.platformError;
// - the product line sets product.type, version and language.

#include "log/report_texts.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"
#include "triage/text_util.h"

namespace triage {

namespace {

struct IdentityLines {
    std::string user = FixedLine(kLocalSystemUser);

    std::string importing{WithoutEndBlanks(FixedLine(kImportingCertificate))};
    std::string importSubject = FixedLine(kImportSubject);
    std::string importSerial = FixedLine(kImportSerial);
    std::string importCannotOpen = FixedLine(kImportCannotOpenStore);
    LinePattern importAddFailed = FormatLine(kImportAddFailed);
    std::string importSucceeded = FixedLine(kImportSucceeded);
    std::string afterImportRule = FixedLine(kTestAfterImportBanner, 0);
    std::string afterImport = FixedLine(kTestAfterImportBanner, 1);

    LinePattern osVersion = FormatLine(kOsVersion);
    LinePattern platformError = FormatLine(kPlatformIdError);
    LinePattern architecture = LinePattern(FixedLine(kArchitecture) + "%s");
    std::string separator = ToUtf8(kValueSeparator);
    std::string nameValue = ToUtf8(kRegStringValue).substr(2, 2);  // ": " between a name and its value
    std::vector<std::string> buildValues = {ToUtf8(kWindowsBuildValues[0]), ToUtf8(kWindowsBuildValues[1]),
                                            ToUtf8(kWindowsBuildValues[2])};

    std::string productLine = FixedLine(kProductLine);
    std::vector<std::string> productValues = {ToUtf8(kProductValues[0]), ToUtf8(kProductValues[1]),
                                              ToUtf8(kProductValues[2])};
};

const IdentityLines& Known()
{
    static const IdentityLines lines;
    return lines;
}

// Values printed as "Name: value" between fixed separators; a value the
// diagnostic could not read leaves its place empty.
std::vector<OptText> NamedValues(std::string_view line, const std::vector<std::string>& names)
{
    const std::string& separator = Known().separator;
    // Lines are read without their end blanks: a separator ending the line
    // lost its own.
    std::string restored(line);
    const std::string_view bareSeparator = WithoutEndBlanks(separator);
    if (EndsWith(restored, bareSeparator))
        restored += separator.substr(bareSeparator.size());
    const std::string_view rest = restored;
    const std::string& nameValue = Known().nameValue;
    std::vector<OptText> values(names.size());
    std::size_t pos = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (!StartsWith(rest.substr(pos), separator))
                break;
            pos += separator.size();
        }
        const std::string lead = names[i] + nameValue;
        if (!StartsWith(rest.substr(pos), lead))
            continue;
        pos += lead.size();
        std::size_t end = std::string_view::npos;
        for (std::size_t j = i + 1; j < names.size() && end == std::string_view::npos; ++j)
            end = rest.find(separator + names[j] + nameValue, pos);
        if (end == std::string_view::npos) {
            // The later values are missing: only their separators follow.
            end = rest.size();
            const std::size_t missing = names.size() - 1 - i;
            for (std::size_t k = 0; k < missing && end >= pos + separator.size() &&
                                    rest.compare(end - separator.size(), separator.size(), separator) == 0;
                 ++k)
                end -= separator.size();
        }
        values[i] = std::string(rest.substr(pos, end - pos));
        pos = end;
    }
    return values;
}

}  // namespace

bool StartsConsoleRun(std::string_view line)
{
    const IdentityLines& known = Known();
    return line == known.user || line == known.importing || StartsWith(line, known.osVersion.Lead()) ||
           StartsWith(line, known.architecture.Lead());
}

bool OpensUser(std::string_view line, SectionState& state)
{
    if (line != Known().user)
        return false;
    state.run.localSystem = true;
    return true;
}

bool OpensFix(std::string_view line, SectionState&)
{
    return line == Known().importing;
}

bool ReadsFix(std::string_view line, SectionState& state)
{
    const IdentityLines& known = Known();
    FixFacts& fix = state.run.fix;
    if (line == known.afterImport) {
        fix.testAfterImport = true;
        return true;
    }
    if (line == known.importSubject || line == known.importSerial || line == known.afterImportRule)
        return true;
    if (line == known.importSucceeded) {
        fix.imported = Verdict::Ok;
        return true;
    }
    if (line == known.importCannotOpen || known.importAddFailed.Match(line)) {
        fix.imported = Verdict::Failed;
        fix.error = std::string(line);
        return true;
    }
    return false;
}

bool OpensOs(std::string_view line, SectionState& state)
{
    const IdentityLines& known = Known();
    std::vector<std::string>& f = state.fields;
    OsFacts& os = state.run.os;
    if (StartsWith(line, known.osVersion.Lead()) && known.osVersion.Match(line, &f)) {
        os.version = f[0] + "." + f[1] + "." + f[2];
        os.servicePack = f[5];
        os.platformId = Number(f[6]);
        os.productType = Number(f[7], 16);
        os.suiteMask = Number(f[8], 16);
        return true;
    }
    if (StartsWith(line, known.architecture.Lead()) && known.architecture.Match(line, &f)) {
        os.arch = f[0];
        const auto values = NamedValues(f[2], known.buildValues);
        os.buildLab = values[0];
        os.buildLabEx = values[1];
        os.productName = values[2];
        return true;
    }
    return false;
}

bool ReadsOs(std::string_view line, SectionState& state)
{
    if (!Known().platformError.Match(line, &state.fields))
        return false;
    state.run.os.platformError = Number(state.fields[0]);
    return true;
}

bool OpensProduct(std::string_view line, SectionState& state)
{
    const IdentityLines& known = Known();
    if (!StartsWith(line, known.productLine))
        return false;
    const auto values = NamedValues(line.substr(known.productLine.size()), known.productValues);
    state.run.product.type = values[0];
    state.run.product.version = values[1];
    state.run.product.language = values[2];
    return true;
}

}  // namespace triage
