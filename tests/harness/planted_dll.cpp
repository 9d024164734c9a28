// A stand-in for a DLL that an attacker drops beside the program: loading it
// leaves a marker file behind, so a test can tell whether it was loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(module, path, MAX_PATH);
        wchar_t marker[MAX_PATH + 16] = L"C:\\planted-loaded-";
        const wchar_t* name = path;
        for (const wchar_t* at = path; *at != L'\0'; ++at) {
            if (*at == L'\\')
                name = at + 1;
        }
        lstrcatW(marker, name);
        lstrcatW(marker, L".txt");
        const HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return TRUE;
}
