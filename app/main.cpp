#include "app/diagnostic_run.h"
#include "app/dll_search.h"

int wmain(int argc, wchar_t** argv)
{
    // Before anything can load a DLL: system DLLs load others by name too
    // (the crypto provider loads its helpers), and the program's folder is
    // often a downloads folder anyone can write to.
    RestrictDllSearchToSystem32();
    return RunDiagnostics(argc, argv);
}
