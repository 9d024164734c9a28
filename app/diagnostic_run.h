#pragma once

// One whole run of the program: log, optional /fix import, the tests in their
// fixed order, the closing prompt. Returns the process exit code.
int RunDiagnostics(int argc, const wchar_t* const* argv);

// The tests in the order of the report.
void RunTestSequence();
