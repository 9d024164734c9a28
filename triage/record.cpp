// Names of the record's enums as every output prints them.

#include "triage/record.h"

namespace triage {

const char* StatusName(Status status)
{
    switch (status) {
    case Status::Passed: return "passed";
    case Status::Warning: return "warning";
    case Status::Error: return "error";
    case Status::Unreadable: return "unreadable";
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

}  // namespace triage
