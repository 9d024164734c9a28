#pragma once

// The fourth layer: support's knowledge of the report, made executable. Each
// cause has an id, a severity, one line of finding with the value that proves
// it, and one line of advice to read to the user.

#include <vector>

#include "triage/report/record.h"

namespace triage {

// Causes in the order support works through them: whatever breaks the
// connection outright first, then what only informs.
std::vector<Cause> Diagnose(const RunRecord& record);

// The verify chain sections' causes, appended to `causes`; `importRan`: this
// run's /fix imported the root (chain_causes.cpp).
void AddChainCauses(const RunRecord& record, bool importRan, std::vector<Cause>& causes);

// What support should know but need not act on: a proxy left configured but
// switched off.
std::vector<std::string> Notes(const RunRecord& record);

// The hosts file's text is in the log with the lines that named a searched
// name, so each can be judged (an entry, a comment, a longer name); else only
// the report's own verdict is known (section_status.cpp).
bool HostsLinesJudged(const HostsFacts& hosts);

// After reading: derives the facts that need the whole run, diagnoses it and
// judges each check's status and the run's verdict (section_status.cpp).
void CompleteRecord(RunRecord& record);

// The completed run's verdict in words: its causes counted, with the most
// serious one's headline, and why the run is incomplete, where it is
// ("2 errors, 1 warning: the hosts file redirects the service host.").
std::string VerdictWords(const RunRecord& record);

}  // namespace triage
