#pragma once

#include <windows.h>

#include "certs/chain_verification.h"

// The "Verify chain test" section for one trust scope: the embedded service
// chain, with the embedded root offered as an extra certificate.
void RunVerifyChainTest(bool useLocalMachine);

// The verdict part of the section: "OK", or the developers' block with the
// four decoded fields.
void PrintChainTestOutcome(bool accepted, const ChainTestResult& result);

// Decoders of the developers' block, each from its fixed table.
void PrintFaultingFunction(int step);
// One row per table entry whose bits are all set, in table order. The
// 0xFFFFFFFF recorded when no chain was built therefore prints every row: a
// full list means "no chain", not every fault at once.
void PrintChainTrustStatus(DWORD status);
void PrintChainPolicyStatus(DWORD status);
