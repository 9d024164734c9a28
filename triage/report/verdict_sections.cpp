// The sections that end in a verdict of their own:
// - the clock: the system time line (clock.utc), then "OK" or the invalid
//   time line (clock.ok);
// - SHA-2: "OK" or one of the provider's errors (sha2.ok, sha2.error);
// - root auto update: the policy and component lines (rootAutoUpdate.policy,
//   component, every line in lines); a line that switches it off fails the
//   section for good, one that allows it passes it unless it failed before.

#include "log/report_texts.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"
#include "triage/text_util.h"

namespace triage {

namespace {

struct VerdictLines {
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
};

const VerdictLines& Known()
{
    static const VerdictLines lines;
    return lines;
}

}  // namespace

bool OpensClock(std::string_view line, SectionState& state)
{
    const LinePattern& systemTime = Known().systemTime;
    if (!StartsWith(line, systemTime.Lead()))
        return false;
    if (systemTime.Match(line, &state.fields))
        state.run.clock.utc = IsoTime(state.fields);
    return true;
}

bool ReadsClock(std::string_view line, SectionState& state)
{
    if (line == Lines().ok) {
        state.run.clock.ok = Verdict::Ok;
        return true;
    }
    if (line == Known().invalidTime) {
        state.run.clock.ok = Verdict::Failed;
        return true;
    }
    return false;
}

bool OpensSha2(std::string_view line, SectionState&)
{
    return line == Known().sha2Title;
}

bool ReadsSha2(std::string_view line, SectionState& state)
{
    if (line == Lines().ok) {
        state.run.sha2.ok = Verdict::Ok;
        return true;
    }
    for (const LinePattern& error : Known().sha2Errors) {
        if (error.Match(line)) {
            state.run.sha2.ok = Verdict::Failed;
            state.run.sha2.error = std::string(line);
            return true;
        }
    }
    return false;
}

bool OpensRootAutoUpdate(std::string_view line, SectionState&)
{
    return line == Known().rootTitle;
}

bool ReadsRootAutoUpdate(std::string_view line, SectionState& state)
{
    const VerdictLines& known = Known();
    RootUpdateFacts& root = state.run.rootAutoUpdate;
    std::vector<std::string>& f = state.fields;
    auto keep = [&](Verdict verdict) {
        root.lines.emplace_back(line);
        if (verdict != Verdict::NotSaid && !Failed(root.ok))
            root.ok = verdict;
        return true;
    };
    if (line == known.policyKeyMissing || line == known.policyValueMissing)
        return keep(Verdict::Ok);
    if (line == known.policyAllows) {
        root.policy = 0;
        return keep(Verdict::Ok);
    }
    if (known.policyDisables.Match(line, &f)) {
        root.policy = Number(f[0], 16);
        return keep(Verdict::Failed);
    }
    if (line == known.componentEnabled) {
        root.component = 1;
        return keep(Verdict::Ok);
    }
    if (known.componentDisabled.Match(line, &f)) {
        root.component = Number(f[0], 16);
        return keep(Verdict::Failed);
    }
    if (line == known.componentMissing || line == known.componentHint0 || line == known.componentHint1 ||
        known.setupKeyError.Match(line))
        return keep(Verdict::NotSaid);
    return false;
}

}  // namespace triage
