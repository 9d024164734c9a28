// The hosts section: "OK", the lines naming the service host or a vendor
// domain (hosts.found; the service host's own line sets serviceHostFound),
// the errors of reading the file (hosts.error, the first one), and the rule
// that opens the frame around the file's text once a name was found
// (hosts.content, filled by the HostsFrame).

#include "log/report_texts.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"

namespace triage {

namespace {

struct HostsLines {
    LinePattern title = FormatLine(kHostsTitle);
    std::vector<LinePattern> errors = {FormatLine(kHostsExpandError), FormatLine(kHostsOpenError),
                                       FormatLine(kHostsEmpty),       FormatLine(kHostsOutOfMemory),
                                       FormatLine(kHostsReadFailed),  FormatLine(kHostsShortRead),
                                       FormatLine(kHostsReadError)};
    LinePattern serviceHost = FormatLine(kHostsServiceHostFound);
    LinePattern domain = FormatLine(kHostsDomainFound);
    std::string rule = FixedLine(kHostsRule);
};

const HostsLines& Known()
{
    static const HostsLines lines;
    return lines;
}

}  // namespace

bool OpensHosts(std::string_view line, SectionState&)
{
    return Known().title.Match(line);
}

bool ReadsHosts(std::string_view line, SectionState& state)
{
    const HostsLines& known = Known();
    HostsFacts& hosts = state.run.hosts;
    if (line == Lines().ok) {
        hosts.ok = Verdict::Ok;
        return true;
    }
    if (known.serviceHost.Match(line, &state.fields)) {
        hosts.found.push_back(state.fields[0]);
        hosts.serviceHostFound = true;
        hosts.ok = Verdict::Failed;
        return true;
    }
    if (known.domain.Match(line, &state.fields)) {
        hosts.found.push_back(state.fields[0]);
        hosts.ok = Verdict::Failed;
        return true;
    }
    if (line == known.rule && !hosts.found.empty() && !hosts.content) {
        state.hostsFrame.Open(hosts, state.maxHostsBytes);
        return true;
    }
    for (const LinePattern& error : known.errors) {
        if (error.Match(line)) {
            if (!hosts.error)
                hosts.error = std::string(line);
            return true;
        }
    }
    return false;
}

}  // namespace triage
