#include "app/command_line.h"

#include <cwchar>

bool IsFixCommandLine(int argc, const wchar_t* const* argv)
{
    return argc == 2 && argv[1] != nullptr && _wcsicmp(argv[1], L"/fix") == 0;
}
