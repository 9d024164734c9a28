// crypt32 and ws2_32 are not KnownDLLs: loaded the ordinary way, a copy
// planted in the program's folder (often a downloads folder) would run with
// administrator rights. They are delay-loaded, and this hook loads each by
// its full System32 path; LOAD_WITH_ALTERED_SEARCH_PATH makes the DLLs they
// depend on come from System32 as well.
#include <windows.h>

#include <delayimp.h>

#include <cstdio>
#include <cwchar>

#include "app/dll_search.h"
#include "base/system_function.h"

namespace {

FARPROC WINAPI LoadFromSystemDirectory(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary)
        return nullptr;

    wchar_t path[MAX_PATH] = {};
    const UINT folderChars = GetSystemDirectoryW(path, MAX_PATH);
    HMODULE module = nullptr;
    if (folderChars > 0 && folderChars < MAX_PATH - 1) {
        path[folderChars] = L'\\';
        const int nameChars = MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, path + folderChars + 1,
                                                  MAX_PATH - static_cast<int>(folderChars) - 1);
        if (nameChars > 0)
            module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (module == nullptr) {
        // Returning null would let the helper search the program's folder.
        std::fputws(L"Fatal error: Cannot load a system library.", stdout);
        ExitProcess(1);
    }
    return reinterpret_cast<FARPROC>(module);
}

}  // namespace

void RestrictDllSearchToSystem32()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories =
        FindSystemFunction<SetDefaultDllDirectoriesFunction>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

extern "C" {
#if defined(_MSC_VER)
const PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemDirectory;
#else
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemDirectory;
#endif
}
