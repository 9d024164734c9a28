#pragma once

// The fourth layer: support's knowledge of the report, made executable. Each
// cause has an id, a severity, one line of finding with the value that proves
// it, and one line of advice to read to the user.

#include <vector>

#include "triage/record.h"

namespace triage {

// Causes in the order support works through them: whatever breaks the
// connection outright first, then what only informs.
std::vector<Cause> Diagnose(const RunRecord& record);

// The verify chain's "OK" counts only when the chain was really built: where
// SHA-2 is refused, the diagnostic accepts the chain without building it.
bool ChainVerified(const RunRecord& record, const ChainFacts& chain);

}  // namespace triage
