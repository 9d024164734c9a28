// JSON Lines, CSV and the text summary of a completed record.

#include "triage/output/outputs.h"

#include <string_view>

#include "triage/output/reader_version.h"
#include "triage/text_util.h"

namespace triage {

namespace {

using Json = nlohmann::ordered_json;

template <typename T>
Json Opt(const std::optional<T>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

Json Opt(Verdict verdict)
{
    return verdict == Verdict::NotSaid ? Json(nullptr) : Json(verdict == Verdict::Ok);
}

Json ChainJson(const ChainFacts& chain)
{
    Json out;
    out["ok"] = Opt(chain.ok);
    out["verified"] = chain.verified;
    out["last_api_error"] = Opt(chain.lastApiError);
    out["faulting_step"] = Opt(chain.faultingStep);
    out["trust_status"] = Opt(chain.trustStatus);
    out["trust_bits"] = chain.trustBits;
    out["policy_status"] = Opt(chain.policyStatus);
    return out;
}

std::string PointerToken(const std::string& key)
{
    std::string token;
    for (const char c : key)
        token += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    return token;
}

// Every text of `value` that is not UTF-8 becomes its U+FFFD form, and its
// bytes go into `bytes` under the text's JSON Pointer: the JSON library
// would refuse to write it, and the record must keep it whole.
void KeepBytes(Json& value, std::string& pointer, Json& bytes)
{
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        if (!IsUtf8(text)) {
            bytes[pointer] = HexBytes(text);
            value = Utf8Replaced(text);
        }
        return;
    }
    const std::size_t length = pointer.size();
    if (value.is_object()) {
        for (auto item = value.begin(); item != value.end(); ++item) {
            KeepBytes(item.value(), pointer.append("/").append(PointerToken(item.key())), bytes);
            pointer.resize(length);
        }
    } else if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            KeepBytes(value[i], pointer.append("/").append(std::to_string(i)), bytes);
            pointer.resize(length);
        }
    }
}

}  // namespace

Json RecordJson(const RunRecord& r)
{
    Json j;
    j["file"] = r.file;
    j["run"] = r.run;
    j["encoding"] = r.encoding;
    if (!r.part.empty())
        j["part"] = r.part;
    j["start"] = Opt(r.start);
    j["end"] = Opt(r.end);
    j["ended"] = r.ended;
    j["ending"] = EndingName(r.ending);
    j["local_system"] = r.localSystem;
    if (!r.Reached(Check::Fix)) {
        j["fix"] = nullptr;
    } else {
        Json fix;
        fix["imported"] = r.fix.imported == Verdict::Ok;
        if (r.fix.imported != Verdict::Ok)
            fix["error"] = r.fix.error.value_or("the import did not finish");
        j["fix"] = fix;
    }
    Json os;
    os["version"] = Opt(r.os.version);
    os["service_pack"] = Opt(r.os.servicePack);
    os["platform_id"] = Opt(r.os.platformId);
    os["product_type"] = Opt(r.os.productType);
    os["suite_mask"] = Opt(r.os.suiteMask);
    os["arch"] = Opt(r.os.arch);
    os["build_lab"] = Opt(r.os.buildLab);
    os["build_lab_ex"] = Opt(r.os.buildLabEx);
    os["product_name"] = Opt(r.os.productName);
    j["os"] = os;
    j["product"] = {{"type", Opt(r.product.type)}, {"version", Opt(r.product.version)},
                    {"language", Opt(r.product.language)}};
    j["clock"] = {{"utc", Opt(r.clock.utc)}, {"ok", Opt(r.clock.ok)}};
    j["sha2"] = {{"ok", Opt(r.sha2.ok)}, {"error", Opt(r.sha2.error)}};
    j["root_auto_update"] = {{"ok", Opt(r.rootAutoUpdate.ok)},
                             {"policy", Opt(r.rootAutoUpdate.policy)},
                             {"component", Opt(r.rootAutoUpdate.component)},
                             {"lines", r.rootAutoUpdate.lines}};
    Json keys = Json::array();
    for (const ProxyKey& key : r.proxy.keys) {
        keys.push_back({{"key", key.key},
                        {"ProxyEnable", Opt(key.proxyEnable)},
                        {"ProxySettingsPerUser", Opt(key.proxySettingsPerUser)},
                        {"ProxyServer", Opt(key.proxyServer)},
                        {"ProxyOverride", Opt(key.proxyOverride)}});
    }
    j["proxy"] = {{"ok", Opt(r.proxy.ok)}, {"keys", keys}, {"errors", r.proxy.errors}};
    j["hosts"] = {{"ok", Opt(r.hosts.ok)},
                  {"found", r.hosts.found},
                  {"error", Opt(r.hosts.error)},
                  {"content", Opt(r.hosts.content)}};
    if (r.hosts.contentCut)
        j["hosts"]["content_cut"] = true;
    Json matches = Json::array();
    for (const HostsMatch& match : r.hosts.matches)
        matches.push_back({{"line", match.line}, {"text", match.text}, {"kind", HostsMatchKindName(match.kind)}});
    j["hosts"]["matches"] = matches;
    if (r.hosts.matchesCut)
        j["hosts"]["matches_cut"] = true;
    j["dns"] = {{"ok", Opt(r.dns.ok)}, {"addresses", r.dns.addresses}, {"error_code", Opt(r.dns.errorCode)}};
    j["chain"] = {{"CurrentUser", ChainJson(r.chainCurrentUser)}, {"LocalMachine", ChainJson(r.chainLocalMachine)}};
    Json causes = Json::array();
    for (const Cause& c : r.causes)
        causes.push_back({{"id", c.id}, {"severity", c.severity}, {"finding", c.finding}, {"advice", c.advice}});
    j["causes"] = causes;
    Json unrecognised = Json::array();
    for (const Unrecognised& u : r.unrecognised)
        unrecognised.push_back({{"line", u.line}, {"text", u.text}});
    j["unrecognised"] = unrecognised;
    if (r.unrecognisedDropped > 0)
        j["unrecognised_not_listed"] = r.unrecognisedDropped;
    Json unplaced = Json::array();
    for (const Unrecognised& u : r.unplaced)
        unplaced.push_back({{"line", u.line}, {"text", u.text}});
    j["unplaced"] = unplaced;
    if (!r.notes.empty())
        j["notes"] = r.notes;
    j["reader_version"] = ReaderVersion();
    Json bytes = Json::object();
    std::string pointer;
    KeepBytes(j, pointer, bytes);
    if (!bytes.empty())
        j["_bytes"] = bytes;
    return j;
}

std::string CsvField(const std::string& given)
{
    // A spreadsheet runs a cell that starts like a formula; a quote keeps it text.
    const bool formulaLike = !given.empty() && std::string_view("=+-@\t\r").find(given[0]) != std::string_view::npos;
    const std::string text = formulaLike ? "'" + given : given;
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

void WriteCsvHeader(TextOut& out)
{
    out << "file,run,start,ended,os_version,arch,product_version,verdict,causes";
    for (const CheckRow& row : kChecks) {
        if (row.everyRun)
            out << ',' << row.key;
    }
    out << ",fix,local_system,reader_version\r\n";
}

void WriteCsvRow(TextOut& out, const RunRecord& r)
{
    std::vector<std::string> ids;
    for (const Cause& c : r.causes)
        ids.push_back(c.id);
    out << CsvField(r.file) << ',' << r.run << ',' << CsvField(r.start.value_or("")) << ','
        << (r.ended ? "true" : "false") << ',' << CsvField(r.os.version.value_or("")) << ','
        << CsvField(r.os.arch.value_or("")) << ',' << CsvField(r.product.version.value_or("")) << ','
        << RunVerdictName(r.verdict)
        << ',' << CsvField(Joined(ids, " "));
    for (const CheckRow& row : kChecks) {
        if (row.everyRun)
            out << ',' << StatusName(r.StatusOf(row.check));
    }
    out << ',' << FixOutcome(r) << ',' << (r.localSystem ? "true" : "false") << ',' << CsvField(ReaderVersion())
        << "\r\n";
}

std::string WindowsSummary(const RunRecord& r)
{
    if (!r.Reached(Check::Os))
        return "not reached";
    return r.os.version.value_or("?") + " " + r.os.arch.value_or("?");
}

std::string ProductSummary(const RunRecord& r)
{
    if (!r.Reached(Check::Product))
        return "not reached";
    const ProductFacts& p = r.product;
    if (p.version)
        return *p.version;
    if (!p.type && !p.language)
        return "not installed";
    std::vector<std::string> present;
    if (p.type)
        present.push_back("ProductType: " + *p.type);
    if (p.language)
        present.push_back("LanguageCode: " + *p.language);
    return "incomplete, no version (" + Joined(present, ", ") + ")";
}

const char* FixOutcome(const RunRecord& r)
{
    if (!r.Reached(Check::Fix))
        return "";
    return r.fix.imported == Verdict::Ok ? "imported" : "failed";
}

std::string CutForText(const std::string& line, std::size_t width)
{
    std::size_t at = 0;
    std::size_t characters = 0;
    while (at < line.size() && characters < width) {
        ++at;
        while (at < line.size() && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80)
            ++at;  // a UTF-8 character stays whole
        ++characters;
    }
    if (at >= line.size())
        return line;
    std::size_t left = 0;
    for (std::size_t i = at; i < line.size(); ++i)
        left += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
    return line.substr(0, at) + "... [" + std::to_string(left) + " more characters]";
}

namespace {

std::string HeaderDetails(const RunRecord& r)
{
    std::vector<std::string> details;
    static const char* const kEndingWords[] = {"", ", no end banner: the window was closed at the key prompt",
                                               "", ", cut short inside a section"};
    const char* ending = kEndingWords[static_cast<int>(r.ending)];
    if (r.consoleCapture)
        details.push_back(std::string("console capture: no banners, so no start or end time") + ending);
    else
        details.push_back("start " + (r.start ? ShownUtc(*r.start) : std::string("unknown")) + ending);
    if (r.localSystem)
        details.push_back("ran as LocalSystem");
    return Joined(details, "; ");
}

}  // namespace

void WriteTextSummary(std::ostream& out, const RunRecord& r)
{
    // A person reads it: a right-to-left override of the log is shown, not obeyed.
    const auto line = [&](const std::string& indent, const std::string& text) {
        out << CutForText(WithFormatCharactersShown(indent + text), kTextWidth) << "\n";
    };
    line("", r.file + " run " + std::to_string(r.run) + ": " + RunVerdictName(r.verdict) + " (" + HeaderDetails(r) + ")");
    for (const Cause& c : r.causes) {
        line("  ", c.severity + " [" + c.id + "] " + c.finding);
        line("      ", "advice: " + c.advice);
    }
    for (const std::string& note : r.notes)
        line("  ", "info: " + note);
    line("  ", "Windows " + WindowsSummary(r) + (r.os.productName ? " (" + *r.os.productName + ")" : std::string()) +
                   ", product " + ProductSummary(r));
    std::vector<std::string> statuses;
    for (const CheckRow& row : kChecks) {
        if (row.everyRun || r.Reached(row.check))
            statuses.push_back(std::string(row.title) + ": " + StatusName(r.StatusOf(row.check)));
    }
    line("  ", Joined(statuses, "; "));
    if (!r.unrecognised.empty())
        line("  ", std::to_string(r.unrecognised.size() + r.unrecognisedDropped) +
                       " unrecognised line(s), first at line " + std::to_string(r.unrecognised.front().line));
}

}  // namespace triage
