#pragma once

// What zemlotriage knows about one run of the diagnostic: the facts read from
// its sections, then what the diagnosis judges of them (causes, each check's
// status, the run's verdict). The field names follow the JSON record, which
// other tools read.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "triage/report/checks.h"

namespace triage {

using OptNumber = std::optional<std::int64_t>;
using OptText = std::optional<std::string>;

// What a section said of itself: nothing (yet), its "OK", or a failure.
enum class Verdict : unsigned char { NotSaid, Ok, Failed };
inline bool Failed(Verdict verdict) { return verdict == Verdict::Failed; }

struct FixFacts {  // where the /fix import ran (Reached(Check::Fix))
    Verdict imported = Verdict::NotSaid;
    OptText error;
    bool testAfterImport = false;  // its "Test after import" banner was read: the OS line is next
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
    Verdict ok = Verdict::NotSaid;
};

struct Sha2Facts {
    Verdict ok = Verdict::NotSaid;
    OptText error;
};

struct RootUpdateFacts {
    Verdict ok = Verdict::NotSaid;
    OptNumber policy, component;
    std::vector<std::string> lines;
};

struct ProxyKey {
    std::string key;
    OptNumber proxyEnable, proxySettingsPerUser;
    OptText proxyServer, proxyOverride;
    // A proxy switched on, a server or a bypass list: what the section counts.
    bool IsFinding() const { return (proxyEnable && *proxyEnable != 0) || proxyServer || proxyOverride; }
    // Switched on: a server or bypass list under ProxyEnable=0 (which the
    // report does not print) is a leftover that only informs.
    bool IsActive() const { return proxyEnable && *proxyEnable != 0; }
};

struct ProxyFacts {
    Verdict ok = Verdict::NotSaid;
    std::vector<ProxyKey> keys;
    std::vector<std::string> errors;
};

// What a hosts line that names a searched name really is: the search is
// textual, so it also matches comments and longer names.
enum class HostsMatchKind : unsigned char {
    ServiceHost,   // an active entry for exactly the service host
    VendorDomain,  // an active entry for another name under the vendor's domains
    Comment,       // the name stands only after '#'
    OtherText,     // inside a longer name outside the vendor's domains, or no entry at all
};
const char* HostsMatchKindName(HostsMatchKind kind);

struct HostsMatch {
    std::uint64_t line;  // in the hosts file, from 1
    std::string text;
    HostsMatchKind kind = HostsMatchKind::OtherText;  // judged by CompleteRecord
};

struct HostsFacts {
    Verdict ok = Verdict::NotSaid;
    std::vector<std::string> found;
    bool serviceHostFound = false;  // by the error line, not by a domain's warning
    OptText error;
    OptText content;
    bool contentCut = false;
    // Every line of the framed file naming a searched name, also past the
    // content's limit.
    std::vector<HostsMatch> matches;
    bool matchesCut = false;
};

struct DnsFacts {
    Verdict ok = Verdict::NotSaid;
    std::vector<std::string> addresses;
    OptNumber errorCode;
    OptText error;
    std::string expected;  // the known addresses, as the warning lists them
};

struct ChainFacts {
    Verdict ok = Verdict::NotSaid;
    OptNumber lastApiError, faultingStep, trustStatus, policyStatus;
    std::vector<std::uint32_t> trustBits;
    bool verified = false;  // "OK" after a chain was really built
};

struct Cause {
    std::string id;
    std::string severity;  // "error", "warning" or "info" (explains, judges nothing)
    std::string finding;
    std::string advice;
};

struct Unrecognised {
    std::uint64_t line;
    std::string text;
};

// How the run's text ends: complete with its end banner, complete at the key
// prompt without it, a console capture (no banners) up to its prompt, or cut
// short inside a section.
enum class Ending : unsigned char { EndBanner, ClosedAtPrompt, ConsoleCapture, CutShort };
const char* EndingName(Ending ending);  // "end-banner", "closed-at-prompt", ...

// The run as a whole, as the summary, the CSV and the page show it.
enum class RunVerdict : unsigned char { Ok, Warning, Error, Incomplete };
const char* RunVerdictName(RunVerdict verdict);  // "ok", "warning", "error", "incomplete"

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
    // Which sections the run reached, error/warning marks seen in each, and
    // lines of each that could not be placed.
    bool seen[kCheckCount] = {};
    int errorMarks[kCheckCount] = {};
    int warningMarks[kCheckCount] = {};
    int unplacedLines[kCheckCount] = {};
    // The run's own text, kept only when an output shows it.
    std::string raw;
    bool rawCut = false;
    // Judged once the run is read (CompleteRecord).
    Status status[kCheckCount] = {};
    RunVerdict verdict = RunVerdict::Incomplete;
    // What informs without being a cause, one line each.
    std::vector<std::string> notes;
    bool consoleCapture = false;  // no banners: text copied from the console
    // The encoding of the stretch of the file the run was read from.
    std::string encoding;
    // For a saved mail, the MIME part the run was read from: its number as
    // IMAP counts parts ("1" for a mail's only body, "2.1" for the first part
    // of a message forwarded as part 2), then the attachment's file name when
    // it has one ("2 zemlodiag.txt"). Empty for anything else.
    std::string part;
    Ending ending = Ending::CutShort;
    // Report titles the hosts frame had to keep as the file's text; the
    // sections they open could not be read.
    std::vector<Unrecognised> unplaced;
    bool titleUnplaced[kCheckCount] = {};
    // The input's last line when it had no line end: it may be cut inside a
    // value, so it was not read.
    std::optional<Unrecognised> cutLine;
    // Report lines read with blanks taken off their ends that a value there
    // may have had: the value is kept without them.
    std::uint64_t endBlanksTakenOff = 0;

    bool Reached(Check check) const { return seen[Index(check)]; }
    Status StatusOf(Check check) const { return status[Index(check)]; }
};

// A trial reading a line on a copy of the run's facts (a mail client's wrap
// may be undone): the copy leaves out the run's text, its unrecognised lines
// and the hosts file, which no section line changes; PutFacts takes the trial's
// facts back with them.
void CopyFacts(RunRecord& facts, RunRecord& record);
void PutFacts(RunRecord& record, RunRecord&& facts);

}  // namespace triage
