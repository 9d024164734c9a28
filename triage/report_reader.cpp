#include "triage/report_reader.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "certs/chain_codes.h"
#include "log/report_texts.h"
#include "triage/diagnosis.h"
#include "triage/format_match.h"

namespace triage {

namespace {

enum class Section {
    None,  // between banners, or before the first section of a capture
    User,
    Fix,
    Os,
    Product,
    Clock,
    Sha2,
    RootAutoUpdate,
    Proxy,
    Hosts,
    Dns,
    ChainCurrentUser,
    ChainLocalMachine,
    Prompt,
    AfterEnd,
};

Check CheckOf(Section section)
{
    switch (section) {
    case Section::Fix: return Check::Fix;
    case Section::Product: return Check::Product;
    case Section::Clock: return Check::Clock;
    case Section::Sha2: return Check::Sha2;
    case Section::RootAutoUpdate: return Check::RootAutoUpdate;
    case Section::Proxy: return Check::Proxy;
    case Section::Hosts: return Check::Hosts;
    case Section::Dns: return Check::Dns;
    case Section::ChainCurrentUser: return Check::ChainCurrentUser;
    case Section::ChainLocalMachine: return Check::ChainLocalMachine;
    default: return Check::Os;
    }
}

bool HasCheck(Section section)
{
    return section != Section::None && section != Section::User && section != Section::Prompt &&
           section != Section::AfterEnd;
}

std::string Prefixed(const wchar_t* first, const wchar_t* second)
{
    return ToUtf8(first) + ToUtf8(second);
}

// Every line the reader knows, built once from the diagnostic's texts.
struct Patterns {
    std::string errorMark = ToUtf8(kErrorPrefix);
    std::string warningMark = ToUtf8(kWarningPrefix);
    std::string bannerRule = FixedLine(kStartBanner, 0);
    LinePattern startTime = FormatLine(kStartBanner, 1);
    LinePattern endTime = FormatLine(kEndBanner, 1);
    std::string startLead = startTime.Lead();
    std::string endLead = endTime.Lead();
    std::vector<LinePattern> logErrors = {FormatLine(kCannotSetFilePointer), FormatLine(kCannotWrite),
                                          FormatLine(kShortWrite), FormatLine(kCannotCloseFile)};

    std::string user = FixedLine(kLocalSystemUser);
    std::string afterImportRule = FixedLine(kTestAfterImportBanner, 0);
    std::string afterImport = FixedLine(kTestAfterImportBanner, 1);
    std::string prompt = FixedLine(kPrompt);

    std::string importing = FixedLine(kImportingCertificate);
    std::string importSubject = FixedLine(kImportSubject);
    std::string importSerial = FixedLine(kImportSerial);
    std::string importCannotOpen = FixedLine(kImportCannotOpenStore);
    LinePattern importAddFailed = FormatLine(kImportAddFailed);
    std::string importSucceeded = FixedLine(kImportSucceeded);

    LinePattern osVersion = FormatLine(kOsVersion);
    LinePattern platformError = FormatLine(kPlatformIdError);
    LinePattern architecture = LinePattern(FixedLine(kArchitecture) + "%s");
    std::string separator = ToUtf8(kValueSeparator);
    std::string nameValue = ToUtf8(kRegStringValue).substr(2, 2);  // ": " between a name and its value
    std::vector<std::string> buildValues = {ToUtf8(kWindowsBuildValues[0]), ToUtf8(kWindowsBuildValues[1]),
                                            ToUtf8(kWindowsBuildValues[2])};
    std::string productLine = FixedLine(kProductLine);
    std::vector<std::string> productValues = {ToUtf8(kProductValues[0]), ToUtf8(kProductValues[1]),
                                              ToUtf8(kProductValues[2])};

    std::string ok = FixedLine(kOk);
    LinePattern systemTime = FormatLine(kSystemTime);
    std::string invalidTime = FixedLine(kInvalidSystemTime);

    std::string sha2Title = FixedLine(kSha2Title);
    std::vector<LinePattern> sha2Errors = {FormatLine(kAcquireFailed), FormatLine(kAcquireNewKeysetFailed),
                                           FormatLine(kSha2Unsupported), FormatLine(kCreateHashFailed)};

    std::string rootTitle = FixedLine(kRootUpdateTitle);
    LinePattern setupKeyError = FormatLine(kSetupKeyOpenError);
    std::string componentMissing = FixedLine(kComponentMissing);
    std::string componentEnabled = FixedLine(kComponentEnabled);
    LinePattern componentDisabled = FormatLine(kComponentDisabled);
    std::string componentHint0 = FixedLine(kComponentHint, 0);
    std::string componentHint1 = FixedLine(kComponentHint, 1);
    std::string policyKeyMissing = FixedLine(kPolicyKeyMissing);
    std::string policyValueMissing = FixedLine(kPolicyValueMissing);
    std::string policyAllows = FixedLine(kPolicyAllows);
    LinePattern policyDisables = FormatLine(kPolicyDisables);

    std::string proxyTitle = FixedLine(kProxyTitle);
    LinePattern proxyOpenError = FormatLine(kProxyOpenError);
    LinePattern proxyEnabledKey = FormatLine(kProxyEnabled, 0);
    LinePattern proxyEnable = FormatLine(kProxyEnabled, 1);
    LinePattern proxyPerUserKey = FormatLine(kProxyPerUser, 0);
    LinePattern proxyPerUser = FormatLine(kProxyPerUser, 1);
    std::string administered = ToUtf8(kProxyAdministered);
    std::string infoLabel = ToUtf8(kProxyInfoLabel);
    LinePattern proxyServer = FormatLine(kProxyServerContinued);
    LinePattern proxyOverride = FormatLine(kProxyOverrideContinued);
    std::string localSystemKey = Prefixed(kUsersRootPrefix, kLocalSystemSettingsKey);

    LinePattern hostsTitle = FormatLine(kHostsTitle);
    std::vector<LinePattern> hostsErrors = {FormatLine(kHostsExpandError), FormatLine(kHostsOpenError),
                                            FormatLine(kHostsEmpty), FormatLine(kHostsOutOfMemory),
                                            FormatLine(kHostsReadFailed), FormatLine(kHostsShortRead),
                                            FormatLine(kHostsReadError)};
    LinePattern hostsServiceHost = FormatLine(kHostsServiceHostFound);
    LinePattern hostsDomain = FormatLine(kHostsDomainFound);
    std::string hostsRule = FixedLine(kHostsRule);

    std::string dnsTitle = FixedLine(kDnsTitle);
    std::string wsaStartupFailed = FixedLine(kWsaStartupFailed);
    LinePattern getAddrInfoFailed = FormatLine(kGetAddrInfoFailed);
    LinePattern addressToStringFailed = FormatLine(kAddressToStringFailed);
    LinePattern addressRecord = LinePattern(FixedLine(kAddressRecord) + "%s");
    std::string ipv4Lead = FixedLine(kIpv4Address).substr(0, FixedLine(kIpv4Address).find('%'));
    std::string ipv6Lead = FixedLine(kIpv6Address).substr(0, FixedLine(kIpv6Address).find('%'));
    std::string socketTypeLabel = ToUtf8(kSocketTypeLabel);
    LinePattern unknownAddress = FormatLine(kUnknownAddress, 0);
    std::string expectedAddresses = FixedLine(kUnknownAddress, 1);

    LinePattern chainTitle = FormatLine(kChainTitle);
    std::string currentUser = ToUtf8(kCurrentUserScope);
    std::string localMachine = ToUtf8(kLocalMachineScope);
    std::string problem0 = FixedLine(kProblemDetected, 0);
    std::string problem1 = FixedLine(kProblemDetected, 1);
    LinePattern lastApiError = FormatLine(kProblemDetected, 2);
    LinePattern faultingFunction = FormatLine(kFaultingFunction);
    LinePattern faultingFunctionNamed = LinePattern(FixedLine(kFaultingFunction) + ToUtf8(kFaultingFunctionName));
    LinePattern chainTrust = FormatLine(kChainTrust);
    LinePattern chainTrustClean = LinePattern(FixedLine(kChainTrust) + ToUtf8(kNoTrustError));
    LinePattern decodedRow = FormatLine(kDecodedRow);
    LinePattern chainPolicy = FormatLine(kChainPolicyStatus);
};

const Patterns& P()
{
    static const Patterns patterns;
    return patterns;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::int64_t Number(const std::string& text, int base = 10)
{
    return std::strtoll(text.c_str(), nullptr, base);
}

// "2026.12.08 05:23.35" as ISO 8601 UTC; masked or damaged times give nothing.
OptText IsoTime(const std::vector<std::string>& f)
{
    if (f.size() != 6)
        return std::nullopt;
    auto two = [](const std::string& s) { return s.size() == 1 ? "0" + s : s; };
    return f[0] + "-" + two(f[1]) + "-" + two(f[2]) + "T" + two(f[3]) + ":" + two(f[4]) + ":" + two(f[5]) + "Z";
}

// Values printed as "Name: value" between fixed separators; a value the
// diagnostic could not read leaves its place empty.
std::vector<OptText> NamedValues(std::string_view rest, const std::vector<std::string>& names,
                                 const std::string& separator, const std::string& nameValue)
{
    std::vector<OptText> values(names.size());
    std::size_t pos = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (!StartsWith(rest.substr(pos), separator))
                break;
            pos += separator.size();
        }
        const std::string lead = names[i] + nameValue;
        if (!StartsWith(rest.substr(pos), lead))
            continue;
        pos += lead.size();
        std::size_t end = std::string_view::npos;
        for (std::size_t j = i + 1; j < names.size() && end == std::string_view::npos; ++j)
            end = rest.find(separator + names[j] + nameValue, pos);
        if (end == std::string_view::npos) {
            // The later values are missing: only their separators follow.
            end = rest.size();
            const std::size_t missing = names.size() - 1 - i;
            for (std::size_t k = 0; k < missing && end >= pos + separator.size() &&
                                    rest.compare(end - separator.size(), separator.size(), separator) == 0;
                 ++k)
                end -= separator.size();
        }
        values[i] = std::string(rest.substr(pos, end - pos));
        pos = end;
    }
    return values;
}

}  // namespace

struct ReportReader::State {
    std::string fileName;
    RunSink sink;
    ReaderOptions options;
    int runs = 0;
    std::optional<RunRecord> run;
    bool capture = false;  // the current run began without a banner
    Section section = Section::None;
    int pendingMark = 0;  // 1 error, 2 warning: the line before ended with the log's prefix
    std::vector<std::string> fields;
    // Section details
    int proxyKey = -1;
    bool hostsFrame = false;
    std::optional<std::pair<std::string, std::uint64_t>> heldTitle;  // a title that may end the frame
    std::vector<std::string> hostsTail;  // the frame's last lines, which may be its end
    std::size_t hostsBytes = 0;
    std::size_t hostsLines = 0;
    enum class ChainPart { None, Trust, Policy } chainPart = ChainPart::None;

    void StartRun(OptText start, bool fromCapture)
    {
        std::vector<Unrecognised> carried;
        if (run) {
            if (capture && !AnySection()) {
                carried = std::move(run->unrecognised);  // stray text before the banner
            } else {
                Emit();
            }
        }
        run.emplace();
        run->file = fileName;
        run->start = std::move(start);
        run->unrecognised = std::move(carried);
        capture = fromCapture;
        section = Section::None;
        pendingMark = 0;
        proxyKey = -1;
        hostsFrame = false;
        heldTitle.reset();
        hostsTail.clear();
        hostsBytes = 0;
        chainPart = ChainPart::None;
    }

    bool AnySection() const
    {
        return std::any_of(std::begin(run->seen), std::end(run->seen), [](bool s) { return s; });
    }

    void Emit()
    {
        if (hostsFrame)
            CloseHostsFrame();
        run->run = ++runs;
        CompleteRecord(*run);
        sink(std::move(*run));
        run.reset();
    }

    void Enter(Section next)
    {
        if (hostsFrame)
            CloseHostsFrame();
        section = next;
        if (HasCheck(next))
            run->seen[static_cast<int>(CheckOf(next))] = true;
        chainPart = ChainPart::None;
    }

    void Unknown(std::string_view line, std::uint64_t number)
    {
        if (run->unrecognised.size() < options.maxUnrecognised)
            run->unrecognised.push_back({number, std::string(line)});
        else
            ++run->unrecognisedDropped;
    }

    void KeepRaw(std::string_view line)
    {
        if (!options.keepRaw || !run)
            return;
        if (run->raw.size() + line.size() + 1 > options.maxRawBytes) {
            run->rawCut = true;
            return;
        }
        run->raw.append(line);
        run->raw.push_back('\n');
    }

    void Line(std::string_view line, std::uint64_t number);
    bool Banner(std::string_view line);
    bool Title(std::string_view line);
    bool InSection(std::string_view line);
    bool FixLine(std::string_view line);
    bool OsLine(std::string_view line);
    bool ClockLine(std::string_view line);
    bool Sha2Line(std::string_view line);
    bool RootLine(std::string_view line);
    bool ProxyLine(std::string_view line);
    bool HostsLine(std::string_view line);
    bool FrameLine(std::string_view line, std::uint64_t number);
    void KeepFrameLine(std::string_view line);
    void CloseHostsFrame();
    void AppendHostsLine(const std::string& line);
    bool DnsLine(std::string_view line);
    bool ChainLine(std::string_view line, ChainFacts& chain);
    ProxyKey& KeyNamed(const std::string& name);
};

ReportReader::ReportReader(std::string fileName, RunSink sink, ReaderOptions options)
    : state_(std::make_unique<State>())
{
    state_->fileName = std::move(fileName);
    state_->sink = std::move(sink);
    state_->options = options;
}

ReportReader::~ReportReader() = default;

void ReportReader::Line(std::string_view line, std::uint64_t number)
{
    state_->Line(line, number);
}

int ReportReader::Finish()
{
    State& s = *state_;
    if (s.heldTitle) {
        auto [title, number] = std::move(*s.heldTitle);
        s.heldTitle.reset();
        s.CloseHostsFrame();
        s.Line(title, number);
    }
    if (s.run) {
        if (s.capture && !s.AnySection())
            s.run.reset();  // text without a report in it
        else
            s.Emit();
    }
    return s.runs;
}

bool ReportReader::State::Banner(std::string_view line)
{
    const Patterns& p = P();
    if (line == p.bannerRule)
        return true;
    if (StartsWith(line, p.startLead)) {
        StartRun(p.startTime.Match(line, &fields) ? IsoTime(fields) : std::nullopt, false);
        return true;
    }
    if (StartsWith(line, p.endLead) && run) {
        Enter(Section::AfterEnd);
        run->ended = true;
        run->end = p.endTime.Match(line, &fields) ? IsoTime(fields) : std::nullopt;
        return true;
    }
    return false;
}

void ReportReader::State::Line(std::string_view line, std::uint64_t number)
{
    const Patterns& p = P();
    if (run && (hostsFrame || heldTitle) && FrameLine(line, number))
        return;
    if (Banner(line)) {
        KeepRaw(line);
        return;
    }
    if (!run)
        StartRun(std::nullopt, true);
    KeepRaw(line);

    // The log's "error: " and "warning: " stand at the end of the line
    // before the message they mark.
    const int mark = pendingMark;
    pendingMark = 0;
    if (EndsWith(line, p.errorMark)) {
        pendingMark = 1;
        line.remove_suffix(p.errorMark.size());
    } else if (EndsWith(line, p.warningMark)) {
        pendingMark = 2;
        line.remove_suffix(p.warningMark.size());
    }
    if (line.empty()) {
        // An empty line passes an earlier mark on, unless it brings its own.
        if (pendingMark == 0)
            pendingMark = mark;
        return;
    }
    if (Title(line)) {
        return;
    }
    if (mark != 0 && HasCheck(section)) {
        const int check = static_cast<int>(CheckOf(section));
        ++(mark == 1 ? run->errorMarks[check] : run->warningMarks[check]);
    }
    for (const LinePattern& logError : p.logErrors) {
        if (logError.Match(line))
            return;
    }
    if (!InSection(line))
        Unknown(line, number);
}

namespace {

std::string_view WithoutMark(std::string_view line, const Patterns& p)
{
    for (const std::string* mark : {&p.errorMark, &p.warningMark}) {
        if (EndsWith(line, *mark))
            line.remove_suffix(mark->size());
    }
    return line;
}

// What the resolver's section starts with, after its title.
bool ResolverSectionStart(std::string_view line, const Patterns& p)
{
    line = WithoutMark(line, p);
    return line.empty() || p.addressRecord.Match(line) || p.getAddrInfoFailed.Match(line) ||
           line == p.wsaStartupFailed;
}

}  // namespace

// Inside the hosts frame the file's own text stands. The frame ends with a
// rule, an empty line and the next title; the resolver's title counts only
// when its section follows, since a hosts file may hold that title too. A
// banner ends the frame of a run cut short inside it. True when the line
// belongs to the frame.
bool ReportReader::State::FrameLine(std::string_view line, std::uint64_t number)
{
    const Patterns& p = P();
    const bool banner = StartsWith(line, p.startLead) || StartsWith(line, p.endLead);
    if (heldTitle) {
        auto [title, titleNumber] = std::move(*heldTitle);
        heldTitle.reset();
        if (banner || ResolverSectionStart(line, p)) {
            CloseHostsFrame();
            Line(title, titleNumber);
            return false;
        }
        KeepFrameLine(title);
    }
    if (banner) {
        while (!hostsTail.empty() && (hostsTail.back().empty() || hostsTail.back() == p.bannerRule))
            hostsTail.pop_back();
        CloseHostsFrame();
        return false;
    }
    const bool afterRule =
        hostsTail.size() >= 2 && hostsTail[hostsTail.size() - 2] == p.hostsRule && hostsTail.back().empty();
    if (afterRule) {
        const std::string_view title = WithoutMark(line, p);
        if (title == p.dnsTitle) {
            heldTitle.emplace(std::string(line), number);
            return true;
        }
        if (p.chainTitle.Match(title) || title == p.prompt) {
            CloseHostsFrame();
            return false;
        }
    }
    KeepFrameLine(line);
    return true;
}

void ReportReader::State::KeepFrameLine(std::string_view line)
{
    KeepRaw(line);
    hostsTail.emplace_back(line);
    if (hostsTail.size() > 2) {
        AppendHostsLine(hostsTail.front());
        hostsTail.erase(hostsTail.begin());
    }
}

// Lines that open a section, wherever they stand.
bool ReportReader::State::Title(std::string_view line)
{
    const Patterns& p = P();
    // A console window shows a second run after the first one's prompt.
    if (capture && run->promptSeen &&
        (line == p.user || line == p.importing || StartsWith(line, p.osVersion.Lead()) ||
         StartsWith(line, p.architecture.Lead())))
        StartRun(std::nullopt, true);
    if (line == p.user) {
        run->localSystem = true;
        Enter(Section::User);
        return true;
    }
    if (line == p.importing) {
        Enter(Section::Fix);
        run->fix.seen = true;
        return true;
    }
    if (StartsWith(line, p.osVersion.Lead()) && p.osVersion.Match(line, &fields)) {
        Enter(Section::Os);
        OsFacts& os = run->os;
        os.version = fields[0] + "." + fields[1] + "." + fields[2];
        os.servicePack = fields[5];
        os.platformId = Number(fields[6]);
        os.productType = Number(fields[7], 16);
        os.suiteMask = Number(fields[8], 16);
        return true;
    }
    if (StartsWith(line, p.architecture.Lead()) && p.architecture.Match(line, &fields)) {
        if (section != Section::Os)
            Enter(Section::Os);
        OsFacts& os = run->os;
        os.arch = fields[0];
        const auto values = NamedValues(fields[2], p.buildValues, p.separator, p.nameValue);
        os.buildLab = values[0];
        os.buildLabEx = values[1];
        os.productName = values[2];
        return true;
    }
    if (StartsWith(line, p.productLine)) {
        Enter(Section::Product);
        const auto values = NamedValues(line.substr(p.productLine.size()), p.productValues, p.separator, p.nameValue);
        run->product.type = values[0];
        run->product.version = values[1];
        run->product.language = values[2];
        return true;
    }
    if (StartsWith(line, p.systemTime.Lead())) {
        Enter(Section::Clock);
        if (p.systemTime.Match(line, &fields))
            run->clock.utc = IsoTime(fields);
        return true;
    }
    if (line == p.sha2Title) {
        Enter(Section::Sha2);
        return true;
    }
    if (line == p.rootTitle) {
        Enter(Section::RootAutoUpdate);
        return true;
    }
    if (line == p.proxyTitle) {
        Enter(Section::Proxy);
        proxyKey = -1;
        return true;
    }
    if (p.hostsTitle.Match(line)) {
        Enter(Section::Hosts);
        return true;
    }
    if (line == p.dnsTitle) {
        Enter(Section::Dns);
        return true;
    }
    if (StartsWith(line, p.chainTitle.Lead()) && p.chainTitle.Match(line, &fields)) {
        if (fields[0] == p.currentUser) {
            Enter(Section::ChainCurrentUser);
            return true;
        }
        if (fields[0] == p.localMachine) {
            Enter(Section::ChainLocalMachine);
            return true;
        }
    }
    if (line == p.prompt) {
        Enter(Section::Prompt);
        run->promptSeen = true;
        return true;
    }
    return false;
}

bool ReportReader::State::InSection(std::string_view line)
{
    switch (section) {
    case Section::Fix: return FixLine(line);
    case Section::Os: return OsLine(line);
    case Section::Clock: return ClockLine(line);
    case Section::Sha2: return Sha2Line(line);
    case Section::RootAutoUpdate: return RootLine(line);
    case Section::Proxy: return ProxyLine(line);
    case Section::Hosts: return HostsLine(line);
    case Section::Dns: return DnsLine(line);
    case Section::ChainCurrentUser: return ChainLine(line, run->chainCurrentUser);
    case Section::ChainLocalMachine: return ChainLine(line, run->chainLocalMachine);
    default: return false;
    }
}

bool ReportReader::State::FixLine(std::string_view line)
{
    const Patterns& p = P();
    FixFacts& fix = run->fix;
    if (line == p.importSubject || line == p.importSerial || line == p.afterImportRule || line == p.afterImport)
        return true;
    if (line == p.importSucceeded) {
        fix.imported = true;
        return true;
    }
    if (line == p.importCannotOpen || p.importAddFailed.Match(line)) {
        fix.imported = false;
        fix.error = std::string(line);
        return true;
    }
    return false;
}

bool ReportReader::State::OsLine(std::string_view line)
{
    if (P().platformError.Match(line, &fields)) {
        run->os.platformError = Number(fields[0]);
        return true;
    }
    return false;
}

bool ReportReader::State::ClockLine(std::string_view line)
{
    const Patterns& p = P();
    if (line == p.ok) {
        run->clock.ok = true;
        return true;
    }
    if (line == p.invalidTime) {
        run->clock.ok = false;
        return true;
    }
    return false;
}

bool ReportReader::State::Sha2Line(std::string_view line)
{
    const Patterns& p = P();
    if (line == p.ok) {
        run->sha2.ok = true;
        return true;
    }
    for (const LinePattern& error : p.sha2Errors) {
        if (error.Match(line)) {
            run->sha2.ok = false;
            run->sha2.error = std::string(line);
            return true;
        }
    }
    return false;
}

bool ReportReader::State::RootLine(std::string_view line)
{
    const Patterns& p = P();
    RootUpdateFacts& root = run->rootAutoUpdate;
    auto keep = [&](std::optional<bool> ok) {
        root.lines.emplace_back(line);
        if (ok && (!root.ok || *root.ok))
            root.ok = ok;
        return true;
    };
    if (line == p.policyKeyMissing || line == p.policyValueMissing)
        return keep(true);
    if (line == p.policyAllows) {
        root.policy = 0;
        return keep(true);
    }
    if (p.policyDisables.Match(line, &fields)) {
        root.policy = Number(fields[0], 16);
        return keep(false);
    }
    if (line == p.componentEnabled) {
        root.component = 1;
        return keep(true);
    }
    if (p.componentDisabled.Match(line, &fields)) {
        root.component = Number(fields[0], 16);
        return keep(false);
    }
    if (line == p.componentMissing || line == p.componentHint0 || line == p.componentHint1)
        return keep(std::nullopt);
    if (p.setupKeyError.Match(line))
        return keep(std::nullopt);
    return false;
}

ProxyKey& ReportReader::State::KeyNamed(const std::string& name)
{
    auto& keys = run->proxy.keys;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].key == name) {
            proxyKey = static_cast<int>(i);
            return keys[i];
        }
    }
    keys.push_back({});
    keys.back().key = name;
    proxyKey = static_cast<int>(keys.size() - 1);
    return keys.back();
}

bool ReportReader::State::ProxyLine(std::string_view line)
{
    const Patterns& p = P();
    ProxyFacts& proxy = run->proxy;
    if (line == p.ok) {
        proxy.ok = true;
        return true;
    }
    if (p.proxyOpenError.Match(line)) {
        proxy.errors.emplace_back(line);
        return true;
    }
    if (p.proxyEnabledKey.Match(line, &fields)) {
        KeyNamed(fields[0]);
        proxy.ok = false;
        return true;
    }
    if (p.proxyPerUserKey.Match(line, &fields)) {
        KeyNamed(fields[0]);
        return true;
    }
    if (StartsWith(line, p.infoLabel)) {
        KeyNamed(std::string(line.substr(p.infoLabel.size())));
        proxy.ok = false;
        return true;
    }
    if (proxyKey < 0)
        return false;
    ProxyKey& key = proxy.keys[static_cast<std::size_t>(proxyKey)];
    if (p.proxyEnable.Match(line, &fields)) {
        key.proxyEnable = Number(fields[0]);
        return true;
    }
    if (p.proxyPerUser.Match(line, &fields)) {
        key.proxySettingsPerUser = Number(fields[0]);
        return fields[1].empty() || fields[1] == p.administered;
    }
    if (p.proxyServer.Match(line, &fields)) {
        key.proxyServer = fields[0];
        return true;
    }
    if (p.proxyOverride.Match(line, &fields)) {
        key.proxyOverride = fields[0];
        return true;
    }
    return false;
}

bool ReportReader::State::HostsLine(std::string_view line)
{
    const Patterns& p = P();
    HostsFacts& hosts = run->hosts;
    if (line == p.ok) {
        hosts.ok = true;
        return true;
    }
    if (p.hostsServiceHost.Match(line, &fields)) {
        hosts.found.push_back(fields[0]);
        hosts.serviceHostFound = true;
        hosts.ok = false;
        return true;
    }
    if (p.hostsDomain.Match(line, &fields)) {
        hosts.found.push_back(fields[0]);
        hosts.ok = false;
        return true;
    }
    if (line == p.hostsRule && !hosts.found.empty() && !hosts.content) {
        hostsFrame = true;
        hostsTail.clear();
        hostsBytes = 0;
        hostsLines = 0;
        hosts.content.emplace();
        return true;
    }
    for (const LinePattern& error : p.hostsErrors) {
        if (error.Match(line)) {
            if (!hosts.error)
                hosts.error = std::string(line);
            return true;
        }
    }
    return false;
}

void ReportReader::State::CloseHostsFrame()
{
    // The frame ends with its rule; whatever stands before it is the file.
    const Patterns& p = P();
    hostsFrame = false;
    while (!hostsTail.empty() && hostsTail.back().empty())
        hostsTail.pop_back();
    if (!hostsTail.empty() && hostsTail.back() == p.hostsRule)
        hostsTail.pop_back();
    for (const std::string& line : hostsTail)
        AppendHostsLine(line);
    hostsTail.clear();
}

// The file's lines as it holds them: a line break between two lines, and one
// at the end when the file ended with one (an empty last line).
void ReportReader::State::AppendHostsLine(const std::string& line)
{
    std::string& content = *run->hosts.content;
    if (hostsLines > 0 && hostsBytes + line.size() + 1 <= options.maxHostsBytes) {
        content.push_back('\n');
    } else if (hostsLines > 0) {
        run->hosts.contentCut = true;
        return;
    }
    ++hostsLines;
    if (hostsBytes + line.size() + 1 > options.maxHostsBytes) {
        run->hosts.contentCut = true;
        return;
    }
    content.append(line);
    hostsBytes += line.size() + 1;
}

bool ReportReader::State::DnsLine(std::string_view line)
{
    const Patterns& p = P();
    DnsFacts& dns = run->dns;
    if (line == p.ok) {
        dns.ok = true;
        return true;
    }
    if (p.getAddrInfoFailed.Match(line, &fields)) {
        dns.errorCode = Number(fields[0]);
        dns.error = std::string(line);
        return true;
    }
    if (line == p.wsaStartupFailed) {
        dns.error = std::string(line);
        return true;
    }
    if (p.addressToStringFailed.Match(line))
        return true;
    if (p.unknownAddress.Match(line)) {
        dns.ok = false;
        return true;
    }
    if (StartsWith(line, p.expectedAddresses)) {
        std::string_view expected = line.substr(p.expectedAddresses.size());
        while (!expected.empty() && expected.front() == ' ')
            expected.remove_prefix(1);
        dns.expected = std::string(expected);
        return true;
    }
    if (StartsWith(line, p.socketTypeLabel))
        return true;  // a record line cut by a conversion error
    if (p.addressRecord.Match(line, &fields)) {
        const std::string& rest = fields[2];
        for (const std::string* lead : {&p.ipv4Lead, &p.ipv6Lead}) {
            const std::size_t at = rest.find(*lead);
            if (at == std::string::npos)
                continue;
            const std::size_t start = at + lead->size();
            const std::size_t end = rest.find(p.socketTypeLabel, start);
            dns.addresses.push_back(rest.substr(start, end == std::string::npos ? std::string::npos : end - start));
            break;
        }
        return true;
    }
    return false;
}

bool ReportReader::State::ChainLine(std::string_view line, ChainFacts& chain)
{
    const Patterns& p = P();
    if (line == p.ok) {
        chain.ok = true;
        return true;
    }
    if (line == p.problem0) {
        chain.ok = false;
        return true;
    }
    if (line == p.problem1)
        return true;
    if (p.lastApiError.Match(line, &fields)) {
        chain.lastApiError = Number(fields[0], 16);
        return true;
    }
    if (p.faultingFunction.Match(line, &fields)) {
        chain.faultingStep = Number(fields[0]);
        return true;
    }
    if (p.faultingFunctionNamed.Match(line, &fields)) {
        chain.faultingStep = Number(fields[0]);
        const wchar_t* name = FindCodeText(kFaultingFunctions, static_cast<std::uint32_t>(*chain.faultingStep));
        return name != nullptr && ToUtf8(name) == fields[1];
    }
    if (p.chainTrust.Match(line, &fields) || p.chainTrustClean.Match(line, &fields)) {
        chain.trustStatus = Number(fields[0], 16);
        chainPart = ChainPart::Trust;
        return true;
    }
    if (p.chainPolicy.Match(line, &fields)) {
        chain.policyStatus = Number(fields[0], 16);
        chainPart = ChainPart::Policy;
        return true;
    }
    if (p.decodedRow.Match(line, &fields)) {
        // A row is recognised only as the diagnostic's own table prints it.
        const auto code = static_cast<std::uint32_t>(Number(fields[0], 16));
        const wchar_t* text = nullptr;
        if (chainPart == ChainPart::Trust && chain.trustStatus &&
            (static_cast<std::uint32_t>(*chain.trustStatus) & code) == code)
            text = FindCodeText(kTrustStatusBits, code);
        else if (chainPart == ChainPart::Policy && chain.policyStatus &&
                 static_cast<std::uint32_t>(*chain.policyStatus) == code)
            text = FindCodeText(kPolicyStatusCodes, code);
        return text != nullptr && ToUtf8(text) == fields[1];
    }
    return false;
}

void CompleteRecord(RunRecord& record)
{
    for (ChainFacts* chain : {&record.chainCurrentUser, &record.chainLocalMachine}) {
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
    if (record.proxy.ok == std::nullopt && !record.proxy.keys.empty()) {
        const bool finding = std::any_of(record.proxy.keys.begin(), record.proxy.keys.end(),
                                         [](const ProxyKey& key) { return key.IsFinding(); });
        if (finding)
            record.proxy.ok = false;
    }
    record.causes = Diagnose(record);
}

}  // namespace triage
