#include "triage/diagnosis/diagnosis.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "certs/chain_codes.h"
#include "log/report_texts.h"
#include "network/service_names.h"
#include "triage/diagnosis/error_words.h"
#include "triage/report/format_match.h"
#include "triage/text_util.h"

namespace triage {

namespace {

const char* ResolverErrorName(std::int64_t code)
{
    switch (code) {
    case 11001: return "host not found";
    case 11002: return "temporary failure, usually no network or no DNS server";
    case 11003: return "non-recoverable DNS failure";
    case 11004: return "the name has no address";
    default: return "resolver error";
    }
}

std::string ProxyDescription(const ProxyKey& key)
{
    std::string text = key.key + ":";
    if (key.proxyEnable)
        text += " ProxyEnable=" + std::to_string(*key.proxyEnable);
    if (key.proxyServer)
        text += " ProxyServer=\"" + *key.proxyServer + "\"";
    if (key.proxyOverride)
        text += " ProxyOverride=\"" + *key.proxyOverride + "\"";
    return text;
}

// The hosts lines of one kind, quoted with their numbers in the file.
std::string QuotedMatches(const HostsFacts& hosts, HostsMatchKind kind)
{
    constexpr std::size_t kQuoted = 5;
    constexpr std::size_t kQuotedBytes = 200;
    std::vector<std::string> quoted;
    std::size_t more = 0;
    for (const HostsMatch& match : hosts.matches) {
        if (match.kind != kind)
            continue;
        if (quoted.size() == kQuoted) {
            ++more;
            continue;
        }
        quoted.push_back("line " + std::to_string(match.line) + " \"" + Shortened(match.text, kQuotedBytes) + "\"");
    }
    if (more > 0)
        quoted.push_back(std::to_string(more) + " more");
    return Joined(quoted, "; ");
}

bool HasMatch(const HostsFacts& hosts, HostsMatchKind kind)
{
    return std::any_of(hosts.matches.begin(), hosts.matches.end(),
                       [&](const HostsMatch& match) { return match.kind == kind; });
}

// The import's add error is printed in decimal; support reads such values in hex.
std::string FixErrorText(const OptText& error)
{
    std::string text = error.value_or("?");
    const std::size_t lastNonDigit = text.find_last_not_of("0123456789");
    const std::size_t digits = lastNonDigit == std::string::npos ? text.size() : text.size() - lastNonDigit - 1;
    if (digits == 0 || digits > 10)
        return text;
    const unsigned long long code = std::stoull(text.substr(text.size() - digits));
    if (code > 0xFFFFFFFFull)
        return text;
    return text + " = " + HexWithWord(static_cast<std::uint32_t>(code));
}

}  // namespace

std::vector<Cause> Diagnose(const RunRecord& r)
{
    std::vector<Cause> causes;
    auto add = [&](const char* id, const char* severity, std::string finding, std::string advice) {
        causes.push_back({id, severity, std::move(finding), std::move(advice)});
    };
    const std::string host = kServiceHostA;

    if (Failed(r.fix.imported))
        add("fix-failed", "error", "The /fix import of the root certificate failed: " + FixErrorText(r.fix.error),
            "Run zemlodiag.exe /fix again as administrator (right-click, Run as administrator); if security software "
            "guards the trusted root store, allow the change for this one run.");

    if (r.os.platformError)
        add("platform-compat", "error",
            "platformID = " + std::to_string(*r.os.platformError) +
                ": the program ran under application compatibility settings, so the Windows version shown is not the "
                "real one.",
            "Remove the compatibility setting from zemlodiag.exe (file Properties > Compatibility), start it from "
            "Explorer and send the new log.");

    if (Failed(r.clock.ok))
        add("clock", "error",
            "System time " + (r.clock.utc ? ShownUtc(*r.clock.utc) : std::string("(masked)")) +
                " lies outside the validity of the service certificate.",
            "Correct date, time and time zone and switch on automatic time synchronisation; compare with the real "
            "UTC time, not with the local clock.");

    if (Failed(r.sha2.ok)) {
        std::string finding = "SHA2 support: " + WithErrorWords(r.sha2.error.value_or("error"));
        const bool acceptedUnbuilt = (r.chainCurrentUser.ok == Verdict::Ok && !r.chainCurrentUser.verified) ||
                                     (r.chainLocalMachine.ok == Verdict::Ok && !r.chainLocalMachine.verified);
        if (acceptedUnbuilt)
            finding += "; the verify chain \"OK\" of this run was given without building the chain and proves nothing.";
        const bool unsupported = r.sha2.error && r.sha2.error->find("does not support SHA2") != std::string::npos;
        add("sha2-unsupported", "error", finding,
            unsupported ? "This Windows cannot verify the SHA-256 signature of the service certificate: install the "
                          "service pack or SHA-2 update for this Windows version, then run the diagnostic again."
                        : "The cryptographic provider is damaged or missing: escalate with the error value shown.");
    }

    // This run imported the root already: /fix cannot be the remedy for what still fails.
    const bool importRan = r.fix.imported == Verdict::Ok;
    const RootUpdateFacts& root = r.rootAutoUpdate;
    const bool policyOff = root.policy && *root.policy != 0;
    const bool componentOff = root.component && *root.component != 1;
    if (policyOff || componentOff) {
        std::string finding;
        if (policyOff)
            finding = "DisableRootAutoUpdate = " + Hex8(*root.policy) + ": a policy switches root certificate auto update off";
        if (componentOff)
            finding += std::string(finding.empty() ? "" : "; ") + "rootautoupdate = " + Hex8(*root.component) +
                       ": the Update Root Certificates component is off";
        add("root-update-disabled", "warning", finding + ".",
            importRan ? "Windows cannot fetch a missing root certificate: have the administrator allow root auto update."
                      : "Windows cannot fetch a missing root certificate: have the administrator allow root auto update, "
                        "or install the root by hand (zemlodiag.exe /fix, where this release's chain ends in the root it "
                        "imports).");
    }

    static const LinePattern setupKeyError = FormatLine(kSetupKeyOpenError);
    for (const std::string& line : root.lines) {
        if (setupKeyError.Match(line)) {
            add("root-update-unknown", "warning", "The state of root certificate auto update could not be read: " + line,
                "Windows may not fetch a missing root certificate: check that the Update Root Certificates component "
                "is installed (Add/Remove Windows Components), or install the root by hand (zemlodiag.exe /fix, "
                "where this release's chain ends in the root it imports).");
            break;
        }
    }

    const ProxyKey* localSystemProxy = nullptr;
    std::vector<std::string> otherProxies;
    for (const ProxyKey& key : r.proxy.keys) {
        if (!key.IsActive())
            continue;
        if (key.key == ToUtf8(kUsersRootPrefix) + ToUtf8(kLocalSystemSettingsKey))
            localSystemProxy = &key;
        else
            otherProxies.push_back(ProxyDescription(key));
    }
    if (localSystemProxy != nullptr)
        add("proxy-localsystem", "warning", "Proxy for LocalSystem " + ProxyDescription(*localSystemProxy),
            "Services running as LocalSystem, such as the product's updater, go through this proxy: check that it "
            "exists, lets TLS to " + host + " pass and does not inspect it; remove it if nobody set it on purpose.");
    if (!otherProxies.empty())
        add("proxy", "warning", "Proxy configured in " + Joined(otherProxies, "; "),
            "Check that the proxy named is reachable and lets TLS to " + host +
                " pass (or bypasses it); a proxy that inspects TLS needs its own root trusted.");

    const HostsFacts& hosts = r.hosts;
    const std::string removeAdvice = "Remove that line from %SystemRoot%\\System32\\drivers\\etc\\hosts (administrator "
                                     "rights needed); malware and ad blockers add such lines, so scan the PC as well.";
    const std::string vendorAdvice = "Remove the vendor's names from %SystemRoot%\\System32\\drivers\\etc\\hosts unless "
                                     "the user's administrator put them there on purpose.";
    const bool hostsJudged = HostsLinesJudged(hosts);
    const bool hostsRedirect = hostsJudged ? HasMatch(hosts, HostsMatchKind::ServiceHost) : hosts.serviceHostFound;
    if (hostsJudged) {
        if (hostsRedirect)
            add("hosts-service-host", "error",
                "The hosts file redirects " + host + ": " + QuotedMatches(hosts, HostsMatchKind::ServiceHost) + ".",
                removeAdvice);
        if (HasMatch(hosts, HostsMatchKind::VendorDomain))
            add("hosts-vendor-domain", "warning",
                "The hosts file has entries for other names of the vendor: " +
                    QuotedMatches(hosts, HostsMatchKind::VendorDomain) + ".",
                vendorAdvice);
        std::vector<std::string> inactive;
        if (HasMatch(hosts, HostsMatchKind::Comment))
            inactive.push_back("a comment (" + QuotedMatches(hosts, HostsMatchKind::Comment) + ")");
        if (HasMatch(hosts, HostsMatchKind::OtherText))
            inactive.push_back("no entry for the vendor's names (" + QuotedMatches(hosts, HostsMatchKind::OtherText) + ")");
        if (!inactive.empty())
            add("hosts-match-not-entry", "info",
                "The report's hosts search also matches text that redirects nothing: " + Joined(inactive, "; ") + ".",
                "Nothing to change for these lines: they do not redirect the vendor's names.");
    } else {
        const std::string unchecked = "; the file's text is not in the log, so the line could not be checked (the "
                                      "report's search also matches comments and longer names).";
        std::vector<std::string> domains;
        for (const std::string& name : hosts.found) {
            if (name != host && !(hosts.serviceHostFound && name == kPrimaryDomainA))
                domains.push_back(name);
        }
        if (hosts.serviceHostFound)
            add("hosts-service-host", "error", "The report found " + host + " in the hosts file" + unchecked,
                "Ask for %SystemRoot%\\System32\\drivers\\etc\\hosts itself; if it maps the name, " + removeAdvice);
        if (!domains.empty())
            add("hosts-vendor-domain", "warning",
                "The report found vendor domains in the hosts file: " + Joined(domains, ", ") + unchecked, vendorAdvice);
    }

    if (r.dns.errorCode || (r.dns.error && r.dns.ok == Verdict::NotSaid)) {
        std::string finding = r.dns.errorCode ? "GetAddrInfoW failed with code " + std::to_string(*r.dns.errorCode) +
                                                    " (" + ResolverErrorName(*r.dns.errorCode) + ")"
                                              : r.dns.error.value_or("the resolver could not be asked");
        add("dns-failure", "error", finding + " for " + host + ".",
            "Check that the PC is online and which DNS servers it uses (ipconfig /all); a DNS filter or firewall "
            "may block the name.");
    }
    if (Failed(r.dns.ok)) {
        const std::string addresses = Joined(r.dns.addresses, ", ");
        std::string advice;
        if (hostsRedirect)
            advice = "The hosts file entry above causes this: removing it fixes both.";
        else
            advice = "A DNS server, filter, VPN or captive portal redirects the name: check the DNS settings. The hosts "
                     "check cannot see entries in a hosts file saved as Unicode (its search stops at the first zero "
                     "byte), so ask the user for the file %SystemRoot%\\System32\\drivers\\etc\\hosts itself.";
        add("dns-unexpected-address", "error",
            host + " resolves to " + (addresses.empty() ? std::string("no IPv4 address") : addresses) +
                ", none of the known addresses" + (r.dns.expected.empty() ? "" : " (" + r.dns.expected + ")") + ".",
            advice);
    }

    AddChainCauses(r, importRan, causes);

    // How the run's text ends, and lines the reader could not place.
    if (r.ending == Ending::CutShort) {
        const char* last = nullptr;
        for (const CheckRow& row : kChecks) {
            if (r.Reached(row.check))
                last = row.title;
        }
        const std::string where = last ? std::string("inside the \"") + last + "\" section" : "before its first section";
        const std::string cut = r.cutLine ? ", in the middle of line " + std::to_string(r.cutLine->line) +
                                                " (not read: \"" + Shortened(r.cutLine->text, 200) + "\")"
                                          : "";
        add("report-cut-short", "warning",
            "The run stops " + where + cut + ", before the key prompt: what follows is missing.",
            "Ask the user for a new run, with the window left open until \"Press any key to quit...\" shows; this run "
            "says nothing from " + (last ? std::string("the \"") + last + "\" section" : "its start") + " on.");
    }
    if (!r.unplaced.empty()) {
        const Unrecognised& first = r.unplaced.front();
        add("report-lines-unplaced", "warning",
            "Line " + std::to_string(first.line) + " (\"" + first.text + "\")" +
                (r.unplaced.size() > 1 ? " and " + std::to_string(r.unplaced.size() - 1) + " more report title(s)" : "") +
                " stand inside the hosts file's frame: the sections they open could not be read.",
            "Ask for the log file zemlodiag.txt itself rather than pasted text; if the file shows the same, escalate "
            "with it.");
    }

    // Errors first, what only informs last.
    const auto rank = [](const Cause& c) { return c.severity == "error" ? 0 : c.severity == "warning" ? 1 : 2; };
    std::stable_sort(causes.begin(), causes.end(), [&](const Cause& a, const Cause& b) { return rank(a) < rank(b); });
    return causes;
}

std::vector<std::string> Notes(const RunRecord& r)
{
    std::vector<std::string> notes;
    for (const ProxyKey& key : r.proxy.keys) {
        if (key.IsFinding() && !key.IsActive())
            notes.push_back("Proxy switched off, settings left in " + ProxyDescription(key) +
                            ": not used while ProxyEnable is 0.");
    }
    if (r.endBlanksTakenOff > 0)
        notes.push_back(std::to_string(r.endBlanksTakenOff) +
                        " report lines came with blanks at their ends (a console's or an editor's), read without "
                        "them: a value at a line's end is shown without any blank it may have ended in.");
    return notes;
}

}  // namespace triage
