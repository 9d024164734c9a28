#include "triage/outputs.h"

namespace triage {

HtmlRun ForHtml(const RunRecord& record)
{
    HtmlRun run;
    run.record = RecordJson(record);
    for (Check check : kAllChecks)
        run.tiles.emplace_back(CheckTitle(check), StatusName(record.StatusOf(check)));
    run.verdict = record.Verdict();
    run.raw = record.raw;
    run.rawCut = record.rawCut;
    return run;
}

void WriteHtml(std::ostream& out, const std::vector<HtmlRun>& runs)
{
    out << "<!DOCTYPE html><html><body>" << runs.size() << "</body></html>\n";
}

}  // namespace triage
