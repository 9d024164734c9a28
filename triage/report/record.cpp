// Names of the record's enums as every output prints them, and the copy of
// a run's facts that a trial reading works on.

#include "triage/report/record.h"

#include <utility>

namespace triage {

const char* StatusName(Status status)
{
    switch (status) {
    case Status::Passed: return "passed";
    case Status::Warning: return "warning";
    case Status::Error: return "error";
    case Status::Unreadable: return "unreadable";
    case Status::NotFinished: return "not finished";
    case Status::NotReached: break;
    }
    return "not reached";
}

const char* RunVerdictName(RunVerdict verdict)
{
    switch (verdict) {
    case RunVerdict::Ok: return "ok";
    case RunVerdict::Warning: return "warning";
    case RunVerdict::Error: return "error";
    case RunVerdict::Incomplete: break;
    }
    return "incomplete";
}

const char* EndingName(Ending ending)
{
    switch (ending) {
    case Ending::EndBanner: return "end-banner";
    case Ending::ClosedAtPrompt: return "closed-at-prompt";
    case Ending::ConsoleCapture: return "console-capture";
    case Ending::CutShort: break;
    }
    return "cut-short";
}

const char* HostsMatchKindName(HostsMatchKind kind)
{
    switch (kind) {
    case HostsMatchKind::ServiceHost: return "service-host";
    case HostsMatchKind::VendorDomain: return "vendor-domain";
    case HostsMatchKind::Comment: return "comment";
    case HostsMatchKind::OtherText: break;
    }
    return "other-text";
}

// The run's facts copied into `facts` (reusing its storage, as this runs
// for every line), without what no line of a section changes and may be
// large: the run's text, its unrecognised lines, the hosts file.
void CopyFacts(RunRecord& facts, RunRecord& record)
{
    std::string raw = std::move(record.raw);
    std::vector<Unrecognised> unrecognised = std::move(record.unrecognised);
    OptText hostsContent = std::exchange(record.hosts.content, std::nullopt);
    facts = record;
    record.raw = std::move(raw);
    record.unrecognised = std::move(unrecognised);
    record.hosts.content = std::move(hostsContent);
}

void PutFacts(RunRecord& record, RunRecord&& facts)
{
    facts.raw = std::move(record.raw);
    facts.unrecognised = std::move(record.unrecognised);
    facts.hosts.content = std::move(record.hosts.content);
    record = std::move(facts);
}

}  // namespace triage
