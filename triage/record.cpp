#include "triage/record.h"

#include <algorithm>

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

const char* CheckName(Check check)
{
    switch (check) {
    case Check::Fix: return "fix";
    case Check::Os: return "os";
    case Check::Product: return "product";
    case Check::Clock: return "clock";
    case Check::Sha2: return "sha2";
    case Check::RootAutoUpdate: return "root_auto_update";
    case Check::Proxy: return "proxy";
    case Check::Hosts: return "hosts";
    case Check::Dns: return "dns";
    case Check::ChainCurrentUser: return "chain_current_user";
    case Check::ChainLocalMachine: return "chain_local_machine";
    }
    return "";
}

const char* CheckTitle(Check check)
{
    switch (check) {
    case Check::Fix: return "Root import (/fix)";
    case Check::Os: return "Windows";
    case Check::Product: return "ZEMLO product";
    case Check::Clock: return "System time";
    case Check::Sha2: return "SHA-2 support";
    case Check::RootAutoUpdate: return "Root auto update";
    case Check::Proxy: return "Proxy";
    case Check::Hosts: return "Hosts file";
    case Check::Dns: return "Name resolution";
    case Check::ChainCurrentUser: return "Chain, current user";
    case Check::ChainLocalMachine: return "Chain, local machine";
    }
    return "";
}

namespace {

Status FromVerdict(std::optional<bool> ok, bool seen, Status failed)
{
    if (!seen)
        return Status::NotReached;
    if (!ok)
        return Status::Warning;  // the section ended without its verdict
    return *ok ? Status::Passed : failed;
}

}  // namespace

Status RunRecord::StatusOf(Check check) const
{
    const int index = static_cast<int>(check);
    const bool reached = seen[index];
    switch (check) {
    case Check::Fix:
        if (!fix.seen)
            return Status::NotReached;
        return fix.imported && *fix.imported ? Status::Passed : Status::Error;
    case Check::Os:
        if (!reached)
            return Status::NotReached;
        return os.platformError ? Status::Error : Status::Passed;
    case Check::Product:
        if (!reached)
            return Status::NotReached;
        return product.version ? Status::Passed : Status::Warning;
    case Check::Clock: return FromVerdict(clock.ok, reached, Status::Error);
    case Check::Sha2: return FromVerdict(sha2.ok, reached, Status::Error);
    case Check::RootAutoUpdate:
        if (!reached)
            return Status::NotReached;
        if (rootAutoUpdate.ok && !*rootAutoUpdate.ok)
            return Status::Warning;
        return warningMarks[index] > 0 ? Status::Warning : Status::Passed;
    case Check::Proxy: return FromVerdict(proxy.ok, reached, Status::Warning);
    case Check::Hosts:
        if (!reached)
            return Status::NotReached;
        if (hosts.serviceHostFound)
            return Status::Error;
        if (!hosts.found.empty())
            return Status::Warning;
        return hosts.ok ? Status::Passed : Status::Warning;
    case Check::Dns:
        if (!reached)
            return Status::NotReached;
        return dns.ok && *dns.ok ? Status::Passed : Status::Error;
    case Check::ChainCurrentUser:
    case Check::ChainLocalMachine: {
        const ChainFacts& chain = check == Check::ChainCurrentUser ? chainCurrentUser : chainLocalMachine;
        if (!reached)
            return Status::NotReached;
        if (chain.ok && *chain.ok)
            return sha2.ok && !*sha2.ok ? Status::Warning : Status::Passed;  // accepted unbuilt
        return chain.ok ? Status::Error : Status::Warning;
    }
    }
    return Status::NotReached;
}

std::string RunRecord::Verdict() const
{
    const auto has = [&](const char* severity) {
        return std::any_of(causes.begin(), causes.end(), [&](const Cause& c) { return c.severity == severity; });
    };
    if (has("error"))
        return "error";
    if (!seen[static_cast<int>(Check::ChainLocalMachine)] && !(fix.seen && fix.imported && !*fix.imported))
        return "incomplete";
    if (has("warning"))
        return "warning";
    return "ok";
}

}  // namespace triage
