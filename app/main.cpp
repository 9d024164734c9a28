#include "app/diagnostic_run.h"

int wmain(int argc, wchar_t** argv)
{
    return RunDiagnostics(argc, argv);
}
