#pragma once

// From here on, DLLs that the process or any DLL it loads asks for by name
// come from System32 only, never from the program's folder. Windows without
// SetDefaultDllDirectories (Vista, 7 without its update) keeps its default.
void RestrictDllSearchToSystem32();
