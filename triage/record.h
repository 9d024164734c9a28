#pragma once

// What zemlotriage knows about one run of the diagnostic: the facts read from
// its sections, then the causes diagnosed from them. The field names follow
// the JSON record, which other tools read.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace triage {

using OptNumber = std::optional<std::int64_t>;
using OptText = std::optional<std::string>;

// How a check ended, for the summary tiles and the CSV columns.
enum class Status { NotReached, Passed, Warning, Error };
const char* StatusName(Status status);

struct FixFacts {
    bool seen = false;
    std::optional<bool> imported;
    OptText error;
};

struct OsFacts {
    OptText version, servicePack;
    OptNumber platformId, productType, suiteMask;
    OptText arch, buildLab, buildLabEx, productName;
    OptNumber platformError;  // the platform id the compatibility error names
};

struct ProductFacts {
    OptText type, version, language;
};

struct ClockFacts {
    OptText utc;
    std::optional<bool> ok;
};

struct Sha2Facts {
    std::optional<bool> ok;
    OptText error;
};

struct RootUpdateFacts {
    std::optional<bool> ok;
    OptNumber policy, component;
    std::vector<std::string> lines;
};

struct ProxyKey {
    std::string key;
    OptNumber proxyEnable, proxySettingsPerUser;
    OptText proxyServer, proxyOverride;
    // A proxy switched on, a server or a bypass list: what the section counts.
    bool IsFinding() const { return (proxyEnable && *proxyEnable != 0) || proxyServer || proxyOverride; }
};

struct ProxyFacts {
    std::optional<bool> ok;
    std::vector<ProxyKey> keys;
    std::vector<std::string> errors;
};

struct HostsFacts {
    std::optional<bool> ok;
    std::vector<std::string> found;
    bool serviceHostFound = false;  // by the error line, not by a domain's warning
    OptText error;
    OptText content;
    bool contentCut = false;
};

struct DnsFacts {
    std::optional<bool> ok;
    std::vector<std::string> addresses;
    OptNumber errorCode;
    OptText error;
    std::string expected;  // the known addresses, as the warning lists them
};

struct ChainFacts {
    std::optional<bool> ok;
    OptNumber lastApiError, faultingStep, trustStatus, policyStatus;
    std::vector<std::uint32_t> trustBits;
};

struct Cause {
    std::string id;
    std::string severity;  // "error" or "warning"
    std::string finding;
    std::string advice;
};

struct Unrecognised {
    std::uint64_t line;
    std::string text;
};

// The checks in report order, as the tiles and CSV columns show them.
enum class Check { Fix, Os, Product, Clock, Sha2, RootAutoUpdate, Proxy, Hosts, Dns, ChainCurrentUser, ChainLocalMachine };
inline constexpr Check kAllChecks[] = {Check::Os, Check::Product, Check::Clock, Check::Sha2, Check::RootAutoUpdate,
                                       Check::Proxy, Check::Hosts, Check::Dns, Check::ChainCurrentUser,
                                       Check::ChainLocalMachine};
const char* CheckName(Check check);  // JSON-style key: "os", "chain_current_user", ...
const char* CheckTitle(Check check);  // for people

struct RunRecord {
    std::string file;
    int run = 0;
    OptText start, end;
    bool ended = false;
    bool localSystem = false;
    bool promptSeen = false;
    FixFacts fix;
    OsFacts os;
    ProductFacts product;
    ClockFacts clock;
    Sha2Facts sha2;
    RootUpdateFacts rootAutoUpdate;
    ProxyFacts proxy;
    HostsFacts hosts;
    DnsFacts dns;
    ChainFacts chainCurrentUser, chainLocalMachine;
    std::vector<Cause> causes;
    std::vector<Unrecognised> unrecognised;
    std::uint64_t unrecognisedDropped = 0;
    // Which sections the run reached, and error/warning marks seen in each.
    bool seen[11] = {};
    int errorMarks[11] = {};
    int warningMarks[11] = {};
    // The run's own text, kept only when an output shows it.
    std::string raw;
    bool rawCut = false;

    Status StatusOf(Check check) const;
    std::string Verdict() const;  // "ok", "warning", "error" or "incomplete"
};

}  // namespace triage
