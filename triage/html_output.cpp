#include <algorithm>
#include <map>

#include "triage/outputs.h"

namespace triage {

namespace {

constexpr std::size_t kMaxBoards = kHtmlBoards;

std::string Escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Text(const nlohmann::ordered_json& value, const char* missing = "")
{
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_null())
        return missing;
    return value.dump();
}

std::string StatusClass(const std::string& status)
{
    return status == "not reached" ? "not-reached" : status;
}

constexpr const char* kStyle = R"(
body{font-family:system-ui,Segoe UI,Arial,sans-serif;margin:24px;color:#1d2430;background:#f6f7f9}
h1{font-size:22px;margin:0 0 16px}h2{font-size:18px;margin:0 0 8px}h3{font-size:15px;margin:16px 0 6px}
section{background:#fff;border:1px solid #d9dde3;border-radius:8px;padding:16px;margin:0 0 20px}
.meta{color:#5a6474;font-size:13px;margin-bottom:12px}
.tiles{display:grid;grid-template-columns:repeat(auto-fill,minmax(150px,1fr));gap:8px}
.tile{border-radius:6px;padding:10px;font-size:13px;border:1px solid transparent}
.tile b{display:block;font-size:14px;margin-bottom:4px}
.passed{background:#e3f4e7;border-color:#9ed4ab}.warning{background:#fff4d6;border-color:#f0cf6b}
.error{background:#fde4e2;border-color:#ef9a92}.not-reached{background:#eceef1;border-color:#cfd4db;color:#6b7380}
.verdict{display:inline-block;padding:2px 8px;border-radius:10px;font-size:12px;font-weight:600}
.cause{border-left:4px solid #ef9a92;padding:6px 10px;margin:6px 0;background:#fff8f7}
.cause.warning{border-left-color:#f0cf6b;background:#fffcf2}
.cause code{font-weight:600}.advice{color:#3a4454;margin-top:3px}
table{border-collapse:collapse;width:100%;font-size:13px}th,td{text-align:left;padding:4px 8px;border-bottom:1px solid #e3e6ea}
pre{background:#f3f4f6;padding:10px;overflow:auto;font-size:12px;max-height:480px}
svg text{font-size:12px;fill:#1d2430}
)";

void WriteFleet(std::ostream& out, const std::vector<HtmlRun>& runs)
{
    std::map<std::string, int> counts;
    std::vector<std::string> order;
    for (const HtmlRun& run : runs) {
        for (const auto& cause : run.record["causes"]) {
            const std::string id = cause["id"].get<std::string>();
            if (counts[id]++ == 0)
                order.push_back(id);
        }
    }
    std::sort(order.begin(), order.end(), [&](const std::string& a, const std::string& b) {
        return counts[a] != counts[b] ? counts[a] > counts[b] : a < b;
    });
    out << "<section id=\"fleet\"><h2>Fleet: " << runs.size() << " runs</h2>";
    const int barHeight = 22;
    const int labelWidth = 190;
    const int chartWidth = 520;
    const int height = std::max<int>(1, static_cast<int>(order.size())) * barHeight + 10;
    out << "<svg role=\"img\" aria-label=\"Runs per cause\" width=\"" << labelWidth + chartWidth + 60 << "\" height=\""
        << height << "\" xmlns=\"http://www.w3.org/2000/svg\">";
    if (order.empty())
        out << "<text x=\"0\" y=\"16\">No run shows a cause.</text>";
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int count = counts[order[i]];
        const int width = std::max(2, static_cast<int>(static_cast<double>(count) / static_cast<double>(runs.size()) * chartWidth));
        const int y = static_cast<int>(i) * barHeight + 4;
        out << "<text x=\"" << labelWidth - 8 << "\" y=\"" << y + 14 << "\" text-anchor=\"end\">" << Escaped(order[i])
            << "</text><rect x=\"" << labelWidth << "\" y=\"" << y << "\" width=\"" << width << "\" height=\""
            << barHeight - 6 << "\" fill=\"#d9534f\" rx=\"3\"><title>" << count << " runs</title></rect><text x=\""
            << labelWidth + width + 6 << "\" y=\"" << y + 14 << "\">" << count << "</text>";
    }
    out << "</svg><h3>Runs</h3><table><tr><th>File</th><th>Run</th><th>Start</th><th>Windows</th><th>Product</th>"
           "<th>Verdict</th><th>Causes</th></tr>";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto& r = runs[i].record;
        std::string causes;
        for (const auto& cause : r["causes"])
            causes += (causes.empty() ? "" : " ") + cause["id"].get<std::string>();
        out << "<tr><td>";
        if (i < kMaxBoards)
            out << "<a href=\"#run-" << i << "\">" << Escaped(Text(r["file"])) << "</a>";
        else
            out << Escaped(Text(r["file"]));
        out << "</td><td>" << r["run"].get<int>() << "</td><td>" << Escaped(Text(r["start"], "unknown")) << "</td><td>"
            << Escaped(Text(r["os"]["version"], "?")) << " " << Escaped(Text(r["os"]["arch"])) << "</td><td>"
            << Escaped(Text(r["product"]["version"], "none")) << "</td><td><span class=\"verdict "
            << StatusClass(runs[i].verdict == "ok" ? "passed" : runs[i].verdict == "incomplete" ? "not reached" : runs[i].verdict)
            << "\">" << Escaped(runs[i].verdict) << "</span></td><td>" << Escaped(causes) << "</td></tr>";
    }
    out << "</table>";
    if (runs.size() > kMaxBoards)
        out << "<p class=\"meta\">Boards below for the first " << kMaxBoards << " runs.</p>";
    out << "</section>";
}

void WriteBoard(std::ostream& out, const HtmlRun& run, std::size_t index)
{
    const auto& r = run.record;
    out << "<section id=\"run-" << index << "\"><h2>" << Escaped(Text(r["file"])) << ", run " << r["run"].get<int>()
        << "</h2><div class=\"meta\">Start " << Escaped(Text(r["start"], "unknown")) << " UTC, end "
        << Escaped(Text(r["end"], r["ended"].get<bool>() ? "unknown" : "none: the window was closed before the key press"))
        << " &middot; Windows " << Escaped(Text(r["os"]["version"], "?")) << " " << Escaped(Text(r["os"]["arch"]))
        << " " << Escaped(Text(r["os"]["product_name"])) << " &middot; product "
        << Escaped(Text(r["product"]["version"], "not installed"));
    if (r["local_system"].get<bool>())
        out << " &middot; ran as LocalSystem";
    if (!r["fix"].is_null())
        out << " &middot; /fix " << (r["fix"]["imported"].get<bool>() ? "imported the root" : "failed");
    out << "</div><div class=\"tiles\">";
    for (const auto& [title, status] : run.tiles)
        out << "<div class=\"tile " << StatusClass(status) << "\"><b>" << Escaped(title) << "</b>" << Escaped(status)
            << "</div>";
    out << "</div><h3>Causes</h3>";
    if (r["causes"].empty())
        out << "<p>None found.</p>";
    for (const auto& cause : r["causes"]) {
        out << "<div class=\"cause " << Escaped(Text(cause["severity"])) << "\"><code>" << Escaped(Text(cause["id"]))
            << "</code> " << Escaped(Text(cause["finding"])) << "<div class=\"advice\">Advice: "
            << Escaped(Text(cause["advice"])) << "</div></div>";
    }
    if (!r["unrecognised"].empty()) {
        out << "<h3>Unrecognised lines</h3><pre>";
        for (const auto& line : r["unrecognised"])
            out << line["line"].get<std::uint64_t>() << ": " << Escaped(Text(line["text"])) << "\n";
        out << "</pre>";
    }
    out << "<details><summary>Raw report</summary><pre>" << Escaped(run.raw)
        << (run.rawCut ? "\n[cut: the run is longer than the page keeps]" : "") << "</pre></details></section>";
}

}  // namespace

void DropBoard(HtmlRun& run)
{
    nlohmann::ordered_json causes = nlohmann::ordered_json::array();
    for (const auto& cause : run.record["causes"])
        causes.push_back({{"id", cause["id"]}});
    const auto& r = run.record;
    run.record = {{"file", r["file"]},
                  {"run", r["run"]},
                  {"start", r["start"]},
                  {"os", {{"version", r["os"]["version"]}, {"arch", r["os"]["arch"]}}},
                  {"product", {{"version", r["product"]["version"]}}},
                  {"causes", causes}};
    run.tiles.clear();
    run.raw.clear();
    run.raw.shrink_to_fit();
}

HtmlRun ForHtml(const RunRecord& record)
{
    HtmlRun run;
    run.verdict = record.Verdict();
    run.record = RecordJson(record);
    run.record.erase("unrecognised_not_listed");
    for (Check check : kAllChecks)
        run.tiles.emplace_back(CheckTitle(check), StatusName(record.StatusOf(check)));
    if (record.fix.seen)
        run.tiles.insert(run.tiles.begin(), {CheckTitle(Check::Fix), StatusName(record.StatusOf(Check::Fix))});
    run.raw = record.raw;
    run.rawCut = record.rawCut;
    return run;
}

const char* HtmlStyle()
{
    return kStyle;
}

void WriteHtmlBody(std::ostream& out, const std::vector<HtmlRun>& runs)
{
    if (runs.empty())
        out << "<p>No run was found in the input.</p>";
    if (runs.size() > 1)
        WriteFleet(out, runs);
    for (std::size_t i = 0; i < runs.size() && i < kMaxBoards; ++i)
        WriteBoard(out, runs[i], i);
}

void WriteHtml(std::ostream& out, const std::vector<HtmlRun>& runs)
{
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
           "<title>zemlotriage: "
        << runs.size() << (runs.size() == 1 ? " run" : " runs") << "</title><style>" << kStyle
        << "</style></head><body><h1>zemlotriage</h1>";
    WriteHtmlBody(out, runs);
    out << "</body></html>\n";
}

}  // namespace triage
