#include "certs/chain_report.h"

#include "certs/chain_codes.h"
#include "log/report_texts.h"
#include "log/run_log.h"

void PrintFaultingFunction(int step)
{
    LogPrint(kFaultingFunction, step);
    if (step == 0)
        return;
    if (const wchar_t* function = FindCodeText(kFaultingFunctions, static_cast<DWORD>(step)))
        LogPrint(kFaultingFunctionName, function);
}

void PrintChainTrustStatus(DWORD status)
{
    LogPrint(kChainTrust, status);
    if (status == 0) {
        LogPrint(kNoTrustError);
        return;
    }
    for (const CodeText& row : kTrustStatusBits) {
        if ((status & row.code) == row.code)
            LogPrint(kDecodedRow, row.code, row.text);
    }
}

void PrintChainPolicyStatus(DWORD status)
{
    LogPrint(kChainPolicyStatus, status);
    if (const wchar_t* text = FindCodeText(kPolicyStatusCodes, status))
        LogPrint(kDecodedRow, status, text);
}

void PrintChainTestOutcome(bool accepted, const ChainTestResult& result)
{
    if (accepted) {
        LogPrint(kOk);
        return;
    }
    LogError(kProblemDetected, result.lastApiError);
    PrintFaultingFunction(static_cast<int>(result.faultingStep));
    PrintChainTrustStatus(result.chainTrustStatus);
    PrintChainPolicyStatus(result.chainPolicyStatus);
}

void RunVerifyChainTest(bool useLocalMachine)
{
    LogPrint(kChainTitle, useLocalMachine ? kLocalMachineScope : kCurrentUserScope);
    // The root is offered for building only; it is trusted only where the
    // scope's own root store holds it.
    const CertBlob extraCerts = kRootCertBlob;
    ChainTestResult result = {0, 0, 0, 0};
    const bool accepted = VerifyEmbeddedChain(kServiceChainBlob, &extraCerts, &result, useLocalMachine);
    PrintChainTestOutcome(accepted, result);
}
