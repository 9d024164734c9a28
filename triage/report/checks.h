#pragma once

// The diagnostic's checks, one row each in report order: the key the JSON,
// CSV and summary use, and the title people read on the page. Every list of
// checks and every per-check array is made from this one table.

#include <cstddef>
#include <iterator>

namespace triage {

enum class Check { Fix, Os, Product, Clock, Sha2, RootAutoUpdate, Proxy, Hosts, Dns, ChainCurrentUser, ChainLocalMachine };

struct CheckRow {
    Check check;
    const char* key;
    const char* title;
    bool everyRun;  // a column of every run; /fix only where it ran
};

inline constexpr CheckRow kChecks[] = {
    {Check::Fix, "fix", "Root import (/fix)", false},
    {Check::Os, "os", "Windows", true},
    {Check::Product, "product", "ZEMLO product", true},
    {Check::Clock, "clock", "System time", true},
    {Check::Sha2, "sha2", "SHA-2 support", true},
    {Check::RootAutoUpdate, "root_auto_update", "Root auto update", true},
    {Check::Proxy, "proxy", "Proxy", true},
    {Check::Hosts, "hosts", "Hosts file", true},
    {Check::Dns, "dns", "Name resolution", true},
    {Check::ChainCurrentUser, "chain_current_user", "Chain, current user", true},
    {Check::ChainLocalMachine, "chain_local_machine", "Chain, local machine", true},
};
inline constexpr std::size_t kCheckCount = std::size(kChecks);

constexpr std::size_t Index(Check check) { return static_cast<std::size_t>(check); }
constexpr const CheckRow& RowOf(Check check) { return kChecks[Index(check)]; }

constexpr bool RowsInEnumOrder()
{
    for (std::size_t i = 0; i < kCheckCount; ++i) {
        if (Index(kChecks[i].check) != i)
            return false;
    }
    return true;
}
static_assert(RowsInEnumOrder(), "kChecks holds one row per Check, in the enum's order");

// How a check ended, for the summary tiles and the CSV columns. Unreadable:
// the section would pass, but lines of it could not be read.
// NotFinished: the section started and the text stops before it could say
// anything (a /fix import cut off before its result, a resolver title alone).
enum class Status : unsigned char { NotReached, Passed, Warning, Error, Unreadable, NotFinished };
const char* StatusName(Status status);

}  // namespace triage
