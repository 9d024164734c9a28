// The proxy section: "OK", or per registry key its ProxyEnable,
// ProxySettingsPerUser, ProxyServer and ProxyOverride lines (proxy.keys, in
// the order the keys first appear), and the keys that could not be opened
// (proxy.errors). A key with a proxy switched on or a server named fails the
// section (proxy.ok).

#include "log/report_texts.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"
#include "triage/text_util.h"

namespace triage {

namespace {

struct ProxyLines {
    std::string title = FixedLine(kProxyTitle);
    LinePattern openError = FormatLine(kProxyOpenError);
    LinePattern enabledKey = FormatLine(kProxyEnabled, 0);
    LinePattern enable = FormatLine(kProxyEnabled, 1);
    LinePattern perUserKey = FormatLine(kProxyPerUser, 0);
    LinePattern perUser = FormatLine(kProxyPerUser, 1);
    std::string administered = ToUtf8(kProxyAdministered);
    std::string infoLabel = ToUtf8(kProxyInfoLabel);
    LinePattern server = FormatLine(kProxyServerContinued);
    LinePattern bypass = FormatLine(kProxyOverrideContinued);
};

const ProxyLines& Known()
{
    static const ProxyLines lines;
    return lines;
}

// The key the following value lines belong to.
void SelectKey(SectionState& state, const std::string& name)
{
    auto& keys = state.run.proxy.keys;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].key == name) {
            state.proxyKey = static_cast<int>(i);
            return;
        }
    }
    keys.push_back({});
    keys.back().key = name;
    state.proxyKey = static_cast<int>(keys.size() - 1);
}

}  // namespace

bool OpensProxy(std::string_view line, SectionState& state)
{
    if (line != Known().title)
        return false;
    state.proxyKey = -1;
    return true;
}

bool ReadsProxy(std::string_view line, SectionState& state)
{
    const ProxyLines& known = Known();
    ProxyFacts& proxy = state.run.proxy;
    std::vector<std::string>& f = state.fields;
    if (line == Lines().ok) {
        proxy.ok = Verdict::Ok;
        return true;
    }
    if (known.openError.Match(line)) {
        proxy.errors.emplace_back(line);
        return true;
    }
    if (known.enabledKey.Match(line, &f)) {
        SelectKey(state, f[0]);
        proxy.ok = Verdict::Failed;
        return true;
    }
    if (known.perUserKey.Match(line, &f)) {
        SelectKey(state, f[0]);
        return true;
    }
    if (StartsWith(line, known.infoLabel)) {
        SelectKey(state, std::string(line.substr(known.infoLabel.size())));
        proxy.ok = Verdict::Failed;
        return true;
    }
    if (state.proxyKey < 0)
        return false;
    ProxyKey& key = proxy.keys[static_cast<std::size_t>(state.proxyKey)];
    if (known.enable.Match(line, &f)) {
        key.proxyEnable = Number(f[0]);
        return true;
    }
    if (known.perUser.Match(line, &f)) {
        key.proxySettingsPerUser = Number(f[0]);
        return f[1].empty() || f[1] == known.administered;
    }
    if (known.server.Match(line, &f)) {
        key.proxyServer = f[0];
        return true;
    }
    if (known.bypass.Match(line, &f)) {
        key.proxyOverride = f[0];
        return true;
    }
    return false;
}

}  // namespace triage
