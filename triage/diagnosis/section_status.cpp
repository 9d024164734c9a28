// A read record completed: the facts derived from what was read (trust bits,
// what each hosts match is, the proxy verdict, whether a chain was really
// verified), the causes, each check's status and the run's verdict. Every
// judgement is made here or in Diagnose(), once.

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "certs/chain_codes.h"
#include "network/service_names.h"
#include "triage/diagnosis/cause_words.h"
#include "triage/diagnosis/diagnosis.h"
#include "triage/text_util.h"

namespace triage {

namespace {

bool UnderDomain(const std::string& name, const std::string& domain)
{
    return name == domain || EndsWith(name, "." + domain);
}

// A hosts line is an address, then names, then an optional '#' comment.
HostsMatchKind KindOf(const std::string& line)
{
    std::string lower = line;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t hash = lower.find('#');
    const std::string_view entry = std::string_view(lower).substr(0, hash);
    HostsMatchKind kind = HostsMatchKind::OtherText;
    // The words between blanks: the address, then the names.
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    bool address = true;
    for (std::size_t at = entry.find_first_not_of(kBlanks); at != std::string_view::npos;) {
        const std::size_t end = std::min(entry.find_first_of(kBlanks, at), entry.size());
        const std::string name(entry.substr(at, end - at));
        at = entry.find_first_not_of(kBlanks, end);
        if (std::exchange(address, false))
            continue;
        if (name == kServiceHostA)
            return HostsMatchKind::ServiceHost;
        if (UnderDomain(name, kPrimaryDomainA) || UnderDomain(name, kRegionalDomainA))
            kind = HostsMatchKind::VendorDomain;
    }
    if (kind == HostsMatchKind::OtherText && hash != std::string::npos) {
        const std::string comment = lower.substr(hash);
        if (comment.find(kPrimaryDomainA) != std::string::npos || comment.find(kRegionalDomainA) != std::string::npos)
            kind = HostsMatchKind::Comment;
    }
    return kind;
}

bool HasMatch(const HostsFacts& hosts, HostsMatchKind kind)
{
    return std::any_of(hosts.matches.begin(), hosts.matches.end(),
                       [&](const HostsMatch& match) { return match.kind == kind; });
}


Status FromVerdict(Verdict verdict, Status failed)
{
    switch (verdict) {
    case Verdict::Ok: return Status::Passed;
    case Verdict::Failed: return failed;
    case Verdict::NotSaid: break;
    }
    return Status::Warning;  // the section ended without its verdict
}

Status ReachedStatus(const RunRecord& r, Check check)
{
    switch (check) {
    case Check::Fix:
        if (r.fix.imported == Verdict::NotSaid)
            return Status::NotFinished;  // cut off before the import's result
        return r.fix.imported == Verdict::Ok ? Status::Passed : Status::Error;
    case Check::Os: return r.os.platformError ? Status::Error : Status::Passed;
    case Check::Product: return r.product.version ? Status::Passed : Status::Warning;
    case Check::Clock: return FromVerdict(r.clock.ok, Status::Error);
    case Check::Sha2: return FromVerdict(r.sha2.ok, Status::Error);
    case Check::RootAutoUpdate:
        // The diagnostic's own error line (a setting that switches it off, or
        // a component state it could not read) makes the section an error.
        if (r.errorMarks[Index(check)] > 0)
            return Status::Error;
        if (Failed(r.rootAutoUpdate.ok))
            return Status::Warning;
        return r.warningMarks[Index(check)] > 0 ? Status::Warning : Status::Passed;
    case Check::Proxy: {
        // Without "OK" only for settings of a switched-off proxy: information.
        const bool anyActive = std::any_of(r.proxy.keys.begin(), r.proxy.keys.end(),
                                           [](const ProxyKey& key) { return key.IsActive(); });
        if (Failed(r.proxy.ok) && !anyActive && r.warningMarks[Index(check)] == 0)
            return Status::Passed;
        return FromVerdict(r.proxy.ok, Status::Warning);
    }
    case Check::Hosts:
        if (r.hosts.error)
            return Status::Error;
        if (HostsLinesJudged(r.hosts)) {
            if (HasMatch(r.hosts, HostsMatchKind::ServiceHost))
                return Status::Error;
            return HasMatch(r.hosts, HostsMatchKind::VendorDomain) ? Status::Warning : Status::Passed;
        }
        if (r.hosts.serviceHostFound)
            return Status::Error;
        if (!r.hosts.found.empty())
            return Status::Warning;
        return r.hosts.ok != Verdict::NotSaid ? Status::Passed : Status::Warning;
    case Check::Dns:
        // The title alone: the text stops before the resolver's answer.
        if (r.dns.ok == Verdict::NotSaid && r.dns.addresses.empty() && !r.dns.errorCode && !r.dns.error)
            return Status::NotFinished;
        return r.dns.ok == Verdict::Ok ? Status::Passed : Status::Error;
    case Check::ChainCurrentUser:
    case Check::ChainLocalMachine: {
        const ChainFacts& chain = check == Check::ChainCurrentUser ? r.chainCurrentUser : r.chainLocalMachine;
        if (chain.ok == Verdict::Ok)
            return chain.verified ? Status::Passed : Status::Warning;
        return FromVerdict(chain.ok, Status::Error);
    }
    }
    return Status::NotReached;
}

Status StatusOf(const RunRecord& r, Check check)
{
    if (!r.Reached(check))
        return r.titleUnplaced[Index(check)] ? Status::Warning : Status::NotReached;
    const Status status = ReachedStatus(r, check);
    // A pass read from part of the section's lines may be missing the facts
    // that would fail it.
    return status == Status::Passed && r.unplacedLines[Index(check)] > 0 ? Status::Unreadable : status;
}

RunVerdict RunVerdictOf(const RunRecord& r)
{
    const auto has = [&](const char* severity) {
        return std::any_of(r.causes.begin(), r.causes.end(), [&](const Cause& c) { return c.severity == severity; });
    };
    if (has("error"))
        return RunVerdict::Error;
    if (std::any_of(std::begin(r.status), std::end(r.status), [](Status s) { return s == Status::Unreadable; }))
        return RunVerdict::Incomplete;  // the log was not fully read
    // A failed import ends the run before the checks.
    if (!r.Reached(Check::ChainLocalMachine) && !Failed(r.fix.imported))
        return RunVerdict::Incomplete;
    return has("warning") ? RunVerdict::Warning : RunVerdict::Ok;
}

void DeriveFacts(RunRecord& record)
{
    for (ChainFacts* chain : {&record.chainCurrentUser, &record.chainLocalMachine}) {
        // Where SHA-2 is refused, the diagnostic says "OK" without building the chain.
        chain->verified = chain->ok == Verdict::Ok && !Failed(record.sha2.ok);
        chain->trustBits.clear();
        // A call that failed before the chain was built leaves the start value
        // 0xffffffff: no chain, no bits. The policy call (step 5) fails after
        // the chain was built and passed its trust check: its bits are real.
        const bool builtChain = !chain->faultingStep || *chain->faultingStep == kStepNone ||
                                *chain->faultingStep == kStepVerifyPolicy;
        if (!chain->trustStatus || !builtChain)
            continue;
        const auto status = static_cast<std::uint32_t>(*chain->trustStatus);
        for (int bit = 0; bit < 32; ++bit) {
            if (status & (1u << bit))
                chain->trustBits.push_back(1u << bit);
        }
    }
    for (HostsMatch& match : record.hosts.matches)
        match.kind = KindOf(match.text);
    if (record.proxy.ok == Verdict::NotSaid &&
        std::any_of(record.proxy.keys.begin(), record.proxy.keys.end(),
                    [](const ProxyKey& key) { return key.IsFinding(); }))
        record.proxy.ok = Verdict::Failed;
}

}  // namespace

bool HostsLinesJudged(const HostsFacts& hosts)
{
    return hosts.content.has_value() && !hosts.matches.empty();
}

std::string VerdictWords(const RunRecord& r)
{
    std::vector<std::string> parts;
    if (!r.causes.empty()) {
        std::vector<std::string> counts;
        for (const char* severity : {"error", "warning", "info"}) {
            const auto count = std::count_if(r.causes.begin(), r.causes.end(),
                                             [&](const Cause& c) { return c.severity == severity; });
            if (count > 0)
                counts.push_back(std::to_string(count) + " " + severity +
                                 (count > 1 && severity != std::string("info") ? "s" : ""));
        }
        const CauseWords* words = WordsOfCause(r.causes.front().id);
        parts.push_back(Joined(counts, ", ") + ": " + (words ? words->headline : r.causes.front().id.c_str()));
    }
    const char* lastReached = nullptr;
    for (const CheckRow& row : kChecks) {
        if (r.StatusOf(row.check) == Status::Unreadable)
            parts.push_back(std::string("the \"") + row.title + "\" section could not be read in full");
        if (r.Reached(row.check))
            lastReached = row.title;
    }
    const bool headlineSaysCut = !r.causes.empty() && r.causes.front().id == "report-cut-short";
    if (!r.Reached(Check::ChainLocalMachine) && !Failed(r.fix.imported) && !headlineSaysCut) {
        const std::string where = lastReached ? std::string(" the \"") + lastReached + "\" section" : " its first section";
        parts.push_back(r.ending == Ending::CutShort ? "the run was cut short" + std::string(lastReached ? " inside" : " before") + where
                                                     : "the run ends" + std::string(lastReached ? " after" : " before") + where);
    }
    if (parts.empty())
        parts.push_back("every check passed");
    std::string words = Joined(parts, "; ") + ".";
    words[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words[0])));
    return words;
}

void CompleteRecord(RunRecord& record)
{
    DeriveFacts(record);
    record.causes = Diagnose(record);
    record.notes = Notes(record);
    for (const CheckRow& row : kChecks)
        record.status[Index(row.check)] = StatusOf(record, row.check);
    record.verdict = RunVerdictOf(record);
}

}  // namespace triage
