// The resolver section: "OK", the address records (dns.addresses, the
// address and port of each), GetAddrInfoW's failure (dns.errorCode,
// dns.error) or Winsock's (dns.error), and the unknown-address warning
// (dns.ok false, dns.expected: the known addresses it lists).

#include "log/report_texts.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"
#include "triage/text_util.h"

namespace triage {

namespace {

std::string LeadOf(const wchar_t* format)
{
    const std::string line = FixedLine(format);
    return line.substr(0, line.find('%'));
}

struct ResolverLines {
    std::string title = FixedLine(kDnsTitle);
    std::string wsaStartupFailed = FixedLine(kWsaStartupFailed);
    LinePattern getAddrInfoFailed = FormatLine(kGetAddrInfoFailed);
    LinePattern addressToStringFailed = FormatLine(kAddressToStringFailed);
    LinePattern addressRecord = LinePattern(FixedLine(kAddressRecord) + "%s");
    std::string ipv4Lead = LeadOf(kIpv4Address);
    std::string ipv6Lead = LeadOf(kIpv6Address);
    std::string socketTypeLabel = ToUtf8(kSocketTypeLabel);
    LinePattern unknownAddress = FormatLine(kUnknownAddress, 0);
    std::string expectedAddresses = FixedLine(kUnknownAddress, 1);
};

const ResolverLines& Known()
{
    static const ResolverLines lines;
    return lines;
}

}  // namespace

bool IsResolverTitle(std::string_view line)
{
    return line == Known().title;
}

bool OpensResolverSection(std::string_view line)
{
    const ResolverLines& known = Known();
    line = WithoutMark(line);
    return line.empty() || known.addressRecord.Match(line) || known.getAddrInfoFailed.Match(line) ||
           line == known.wsaStartupFailed;
}

bool OpensDns(std::string_view line, SectionState&)
{
    return IsResolverTitle(line);
}

bool ReadsDns(std::string_view line, SectionState& state)
{
    const ResolverLines& known = Known();
    DnsFacts& dns = state.run.dns;
    std::vector<std::string>& f = state.fields;
    if (line == Lines().ok) {
        dns.ok = Verdict::Ok;
        return true;
    }
    if (known.getAddrInfoFailed.Match(line, &f)) {
        dns.errorCode = Number(f[0]);
        dns.error = std::string(line);
        return true;
    }
    if (line == known.wsaStartupFailed) {
        dns.error = std::string(line);
        return true;
    }
    if (known.addressToStringFailed.Match(line))
        return true;
    if (known.unknownAddress.Match(line)) {
        dns.ok = Verdict::Failed;
        return true;
    }
    if (StartsWith(line, known.expectedAddresses)) {
        std::string_view expected = line.substr(known.expectedAddresses.size());
        while (!expected.empty() && expected.front() == ' ')
            expected.remove_prefix(1);
        dns.expected = std::string(expected);
        return true;
    }
    if (StartsWith(line, known.socketTypeLabel))
        return true;  // a record line cut by a conversion error
    if (known.addressRecord.Match(line, &f)) {
        const std::string& rest = f[2];
        for (const std::string* lead : {&known.ipv4Lead, &known.ipv6Lead}) {
            const std::size_t at = rest.find(*lead);
            if (at == std::string::npos)
                continue;
            const std::size_t start = at + lead->size();
            const std::size_t end = rest.find(known.socketTypeLabel, start);
            if (end == std::string::npos)
                return false;  // the address may go on in a line of its own
            dns.addresses.push_back(rest.substr(start, end - start));
            break;
        }
        return true;
    }
    return false;
}

}  // namespace triage
