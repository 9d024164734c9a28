// The causes the two verify chain sections give: a chain Windows does not
// accept (its trust bits and policy status named, the advice following what
// else the run shows), and a certificate function that failed (before a chain
// was built, or the policy call on a built and trusted one). A value the
// report does not hold, as in a run cut short, is never shown.

#include <algorithm>
#include <string>

#include "certs/chain_codes.h"
#include "log/report_texts.h"
#include "triage/diagnosis/diagnosis.h"
#include "triage/diagnosis/error_words.h"
#include "triage/report/format_match.h"
#include "triage/text_util.h"

namespace triage {

namespace {

// What support calls the trust bits it meets most.
std::string TrustNames(const std::vector<std::uint32_t>& bits)
{
    static const struct {
        std::uint32_t bit;
        const char* name;
    } kNames[] = {{CERT_TRUST_IS_NOT_TIME_VALID, "not time valid"},
                  {CERT_TRUST_IS_REVOKED, "revoked"},
                  {CERT_TRUST_IS_UNTRUSTED_ROOT, "untrusted root"},
                  {CERT_TRUST_IS_PARTIAL_CHAIN, "partial chain: no root found"},
                  {CERT_TRUST_IS_EXPLICIT_DISTRUST, "explicitly distrusted"}};
    std::vector<std::string> names;
    for (const auto& known : kNames) {
        if (std::find(bits.begin(), bits.end(), known.bit) != bits.end())
            names.emplace_back(known.name);
    }
    return names.empty() ? std::string() : " (" + Joined(names, ", ") + ")";
}

std::string PolicyStatusText(std::int64_t status)
{
    std::string text = Hex8(status);
    if (const wchar_t* name = FindCodeText(kPolicyStatusCodes, static_cast<std::uint32_t>(status))) {
        std::string words = ToUtf8(name);
        if (!words.empty() && words.back() == '.')
            words.pop_back();
        text += " (" + words + ")";
    }
    return text;
}

std::string ScopeName(const RunRecord& record, const ChainFacts& chain)
{
    return &chain == &record.chainCurrentUser ? "CurrentUser" : "LocalMachine";
}

}  // namespace

void AddChainCauses(const RunRecord& r, bool importRan, std::vector<Cause>& causes)
{
    auto add = [&](const char* id, const char* severity, std::string finding, std::string advice) {
        causes.push_back({id, severity, std::move(finding), std::move(advice)});
    };
    std::vector<std::string> untrusted;
    std::vector<std::string> apiFailures;     // before a chain was built
    std::vector<std::string> policyFailures;  // the policy call on a built, trusted chain
    std::uint32_t bits = 0;
    std::int64_t policy = -1;
    for (const ChainFacts* chain : {&r.chainCurrentUser, &r.chainLocalMachine}) {
        if (!Failed(chain->ok))
            continue;
        const std::string scope = ScopeName(r, *chain);
        // A value the report does not hold (a run cut short) is not shown.
        const std::string lastError =
            chain->lastApiError ? ", LastApiError " + HexWithWord(static_cast<std::uint32_t>(*chain->lastApiError)) : "";
        const std::string trust =
            chain->trustStatus ? "chainTrust " + Hex8(*chain->trustStatus) + TrustNames(chain->trustBits) : "";
        if (chain->faultingStep && *chain->faultingStep == kStepVerifyPolicy) {
            policyFailures.push_back(scope + ": CertVerifyCertificateChainPolicy failed" + lastError +
                                     " after the chain was built and passed its trust check" +
                                     (trust.empty() ? "" : " (" + trust + ")"));
            continue;
        }
        if (chain->faultingStep && *chain->faultingStep != kStepNone) {
            const wchar_t* name = FindCodeText(kFaultingFunctions, static_cast<std::uint32_t>(*chain->faultingStep));
            apiFailures.push_back(scope + ": " + (name ? ToUtf8(name) : "step " + std::to_string(*chain->faultingStep)) +
                                  " failed" + lastError);
            continue;
        }
        std::string text = scope + ": " + (trust.empty() ? "problem detected; the report stops before its chainTrust line" : trust);
        if (chain->policyStatus && *chain->policyStatus != kNoChainStatus)
            text += ", chainPolicyStatus " + PolicyStatusText(*chain->policyStatus);
        untrusted.push_back(text);
        for (std::uint32_t bit : chain->trustBits)
            bits |= bit;
        if (chain->policyStatus && *chain->policyStatus != kNoChainStatus)
            policy = *chain->policyStatus;
    }
    if (!untrusted.empty()) {
        std::string advice;
        if ((bits & CERT_TRUST_IS_NOT_TIME_VALID) && r.clock.ok == Verdict::Ok)
            advice = "The clock is right (its section passed), so a certificate of the chain itself is outside its "
                     "validity: escalate with the chainTrust value; do not change the PC's clock. ";
        else if (bits & CERT_TRUST_IS_NOT_TIME_VALID)
            advice = "A certificate is outside its validity: fix the PC's clock first. ";
        if (bits & CERT_TRUST_IS_EXPLICIT_DISTRUST)
            advice += "A certificate of the chain was put into the Untrusted store on purpose: remove it from there. ";
        if ((bits & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) && importRan)
            advice += "The chain's root is missing or not trusted, and this run's /fix import did not help: this "
                      "release's service chain does not lead to the root it imports. Allow root auto update, or have "
                      "the administrator install the chain's own root. ";
        else if (bits & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
            advice += "The chain's root is missing or not trusted: allow root auto update, or run zemlodiag.exe /fix "
                      "as administrator, which helps only where this release's service chain ends in the root it "
                      "imports. ";
        if (policy == PlatformCode(CERT_E_CN_NO_MATCH))
            advice += "The certificate does not name the service host: escalate. ";
        if (advice.empty())
            advice = "Escalate with the chainTrust and chainPolicyStatus values. ";
        const bool oneScope = r.chainCurrentUser.ok == Verdict::Ok || r.chainLocalMachine.ok == Verdict::Ok;
        if (oneScope)
            advice += "Only one scope fails: look at that scope's own certificate stores.";
        while (!advice.empty() && advice.back() == ' ')
            advice.pop_back();
        add("chain-untrusted", "error", "Windows does not accept the service chain: " + Joined(untrusted, "; ") + ".", advice);
    }
    if (!apiFailures.empty() || !policyFailures.empty()) {
        std::vector<std::string> findings;
        std::string advice;
        if (!apiFailures.empty()) {
            findings.push_back(Joined(apiFailures, "; ") +
                               "; the chainTrust 0xffffffff lines after it are start values, not findings");
            advice = "A Windows certificate function failed before a chain was built: the cryptographic subsystem is "
                     "damaged. ";
        }
        if (!policyFailures.empty()) {
            findings.push_back(Joined(policyFailures, "; "));
            advice += "The SSL policy check of Windows failed on a chain it had built and trusted. ";
        }
        add("chain-api-failure", "error", Joined(findings, "; ") + ".",
            advice + "Escalate with LastApiError and the faulting function.");
    }
}

}  // namespace triage
