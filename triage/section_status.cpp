// A read record completed: the facts derived from what was read (trust bits,
// the proxy verdict, whether a chain was really verified), the causes, each
// check's status and the run's verdict. Every judgement is made here or in
// Diagnose(), once.

#include <algorithm>

#include "certs/chain_codes.h"
#include "triage/diagnosis.h"

namespace triage {

namespace {

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
    case Check::Fix: return r.fix.imported == Verdict::Ok ? Status::Passed : Status::Error;
    case Check::Os: return r.os.platformError ? Status::Error : Status::Passed;
    case Check::Product: return r.product.version ? Status::Passed : Status::Warning;
    case Check::Clock: return FromVerdict(r.clock.ok, Status::Error);
    case Check::Sha2: return FromVerdict(r.sha2.ok, Status::Error);
    case Check::RootAutoUpdate:
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
        if (r.hosts.serviceHostFound)
            return Status::Error;
        if (!r.hosts.found.empty())
            return Status::Warning;
        return r.hosts.ok != Verdict::NotSaid ? Status::Passed : Status::Warning;
    case Check::Dns: return r.dns.ok == Verdict::Ok ? Status::Passed : Status::Error;
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
    return r.Reached(check) ? ReachedStatus(r, check) : Status::NotReached;
}

RunVerdict RunVerdictOf(const RunRecord& r)
{
    const auto has = [&](const char* severity) {
        return std::any_of(r.causes.begin(), r.causes.end(), [&](const Cause& c) { return c.severity == severity; });
    };
    if (has("error"))
        return RunVerdict::Error;
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
        // A failed call leaves the start value 0xffffffff: no chain, no bits.
        if (!chain->trustStatus || (chain->faultingStep && *chain->faultingStep != kStepNone))
            continue;
        const auto status = static_cast<std::uint32_t>(*chain->trustStatus);
        for (int bit = 0; bit < 32; ++bit) {
            if (status & (1u << bit))
                chain->trustBits.push_back(1u << bit);
        }
    }
    if (record.proxy.ok == Verdict::NotSaid &&
        std::any_of(record.proxy.keys.begin(), record.proxy.keys.end(),
                    [](const ProxyKey& key) { return key.IsFinding(); }))
        record.proxy.ok = Verdict::Failed;
}

}  // namespace

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
