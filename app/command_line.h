#pragma once

// True exactly when the command line is the program path and one argument
// "/fix" in any letter case; every other command line runs the tests only.
bool IsFixCommandLine(int argc, const wchar_t* const* argv);
