// Names of the record's enums as every output prints them.

#include "triage/record.h"

namespace triage {

const char* StatusName(Status status)
{
    switch (status) {
    case Status::Passed: return "passed";
    case Status::Warning: return "warning";
    case Status::Error: return "error";
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

}  // namespace triage
