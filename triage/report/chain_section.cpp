// The two verify chain sections (current user, local machine) and the
// closing prompt. A chain section sets its ChainFacts: "OK" or the problem
// lines (ok), LastApiError, the faulting step, chainTrust and
// chainPolicyStatus; a decoded row is known only as the diagnostic's own
// table prints it for the status above it.

#include "certs/chain_codes.h"
#include "log/report_texts.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"

namespace triage {

namespace {

struct ChainLines {
    LinePattern title = FormatLine(kChainTitle);
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

const ChainLines& Known()
{
    static const ChainLines lines;
    return lines;
}

bool OpensScope(std::string_view line, SectionState& state, const std::string& scope)
{
    const LinePattern& title = Known().title;
    return line.compare(0, title.Lead().size(), title.Lead()) == 0 && title.Match(line, &state.fields) &&
           state.fields[0] == scope;
}

ChainFacts& ChainOf(SectionState& state)
{
    return state.section == Section::ChainLocalMachine ? state.run.chainLocalMachine : state.run.chainCurrentUser;
}

}  // namespace

bool IsChainTitle(std::string_view line)
{
    return Known().title.Match(line);
}

bool OpensChainCurrentUser(std::string_view line, SectionState& state)
{
    return OpensScope(line, state, Known().currentUser);
}

bool OpensChainLocalMachine(std::string_view line, SectionState& state)
{
    return OpensScope(line, state, Known().localMachine);
}

bool OpensPrompt(std::string_view line, SectionState& state)
{
    if (line != Lines().prompt)
        return false;
    state.run.promptSeen = true;
    return true;
}

bool ReadsChain(std::string_view line, SectionState& state)
{
    const ChainLines& known = Known();
    ChainFacts& chain = ChainOf(state);
    std::vector<std::string>& f = state.fields;
    if (line == Lines().ok) {
        chain.ok = Verdict::Ok;
        return true;
    }
    if (line == known.problem0) {
        chain.ok = Verdict::Failed;
        return true;
    }
    if (line == known.problem1)
        return true;
    if (known.lastApiError.Match(line, &f)) {
        chain.lastApiError = Number(f[0], 16);
        return true;
    }
    if (known.faultingFunction.Match(line, &f)) {
        chain.faultingStep = Number(f[0]);
        return true;
    }
    if (known.faultingFunctionNamed.Match(line, &f)) {
        chain.faultingStep = Number(f[0]);
        const wchar_t* name = FindCodeText(kFaultingFunctions, static_cast<std::uint32_t>(*chain.faultingStep));
        return name != nullptr && ToUtf8(name) == f[1];
    }
    if (known.chainTrust.Match(line, &f) || known.chainTrustClean.Match(line, &f)) {
        chain.trustStatus = Number(f[0], 16);
        state.chainPart = SectionState::ChainPart::Trust;
        return true;
    }
    if (known.chainPolicy.Match(line, &f)) {
        chain.policyStatus = Number(f[0], 16);
        state.chainPart = SectionState::ChainPart::Policy;
        return true;
    }
    if (known.decodedRow.Match(line, &f)) {
        // A row is recognised only as the diagnostic's own table prints it.
        const auto code = static_cast<std::uint32_t>(Number(f[0], 16));
        const wchar_t* text = nullptr;
        if (state.chainPart == SectionState::ChainPart::Trust && chain.trustStatus &&
            (static_cast<std::uint32_t>(*chain.trustStatus) & code) == code)
            text = FindCodeText(kTrustStatusBits, code);
        else if (state.chainPart == SectionState::ChainPart::Policy && chain.policyStatus &&
                 static_cast<std::uint32_t>(*chain.policyStatus) == code)
            text = FindCodeText(kPolicyStatusCodes, code);
        return text != nullptr && ToUtf8(text) == f[1];
    }
    return false;
}

}  // namespace triage
