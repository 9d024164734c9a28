#include "tests/harness/prefix_seed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t ch : text)
        narrow += ch < 0x80 ? static_cast<char>(ch) : '?';
    return narrow;
}

}  // namespace

REGSAM RegViewFlag(RegView view)
{
    return view == RegView::Native64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

bool SeedRegValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName, DWORD type,
                  const void* data, DWORD sizeBytes, RegView view)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | RegViewFlag(view), nullptr,
                                     &key, nullptr);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "RegCreateKeyExW " << Narrow(subKey) << " failed with " << status;
        return false;
    }
    // The registry adds a terminator to string data that lacks one when the
    // memory right after it holds a zero character; non-zero bytes after the
    // data make it store exactly the bytes given.
    std::vector<BYTE> stored(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + sizeBytes);
    stored.insert(stored.end(), {0xFF, 0xFF, 0xFF});
    status = RegSetValueExW(key, valueName.c_str(), 0, type, stored.data(), sizeBytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "RegSetValueExW " << Narrow(valueName) << " failed with " << status;
        return false;
    }
    return true;
}

bool SeedRegDword(HKEY root, const std::wstring& subKey, const std::wstring& valueName, DWORD value, RegView view)
{
    return SeedRegValue(root, subKey, valueName, REG_DWORD, &value, sizeof(value), view);
}

bool SeedRegString(HKEY root, const std::wstring& subKey, const std::wstring& valueName, const std::wstring& value,
                   DWORD type, RegView view)
{
    return SeedRegValue(root, subKey, valueName, type, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), view);
}

bool SeedRegKey(HKEY root, const std::wstring& subKey, RegView view)
{
    HKEY key = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_READ | RegViewFlag(view), nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "RegCreateKeyExW " << Narrow(subKey) << " failed with " << status;
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool DeleteRegTree(HKEY root, const std::wstring& subKey, RegView view)
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | RegViewFlag(view), &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "RegOpenKeyExW " << Narrow(subKey) << " failed with " << status;
        return false;
    }
    status = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS)
        status = RegDeleteKeyExW(root, subKey.c_str(), RegViewFlag(view), 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        ADD_FAILURE() << "deleting " << Narrow(subKey) << " failed with " << status;
        return false;
    }
    return true;
}

bool RegValueExists(HKEY root, const std::wstring& subKey, const std::wstring& valueName, RegView view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | RegViewFlag(view), &key) != ERROR_SUCCESS)
        return false;
    const LSTATUS status = RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool SetWineWindowsVersion(const std::wstring& version)
{
    // Read by each new process's ntdll at start; HKCU\Software is one key for both views.
    return SeedRegString(HKEY_CURRENT_USER, L"Software\\Wine", L"Version", version);
}

bool SeedWindowsBuildStrings(const std::wstring& buildLab, const std::wstring& buildLabEx,
                             const std::wstring& productName)
{
    const wchar_t key[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    return SeedRegString(HKEY_LOCAL_MACHINE, key, L"BuildLab", buildLab) &&
           SeedRegString(HKEY_LOCAL_MACHINE, key, L"BuildLabEx", buildLabEx) &&
           SeedRegString(HKEY_LOCAL_MACHINE, key, L"ProductName", productName);
}

bool SeedProductIdentity(const std::wstring& productType, const std::wstring& productVersion,
                         const std::wstring& languageCode)
{
    const wchar_t key[] = L"SOFTWARE\\ZEMLO\\ZEMLO Security\\CurrentVersion\\Info";
    return SeedRegString(HKEY_LOCAL_MACHINE, key, L"ProductType", productType) &&
           SeedRegString(HKEY_LOCAL_MACHINE, key, L"ProductVersion", productVersion) &&
           SeedRegString(HKEY_LOCAL_MACHINE, key, L"LanguageCode", languageCode);
}

bool SeedUsualInternetSettingsKeys()
{
    const wchar_t settings[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    return SeedRegKey(HKEY_LOCAL_MACHINE, settings) && SeedRegKey(HKEY_CURRENT_USER, settings) &&
           SeedRegKey(HKEY_USERS, std::wstring(L"S-1-5-18\\") + settings);
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "CreateFileW " << Narrow(path) << " failed with " << GetLastError();
        return false;
    }
    size_t offset = 0;
    bool written = true;
    while (offset < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1u << 24));
        DWORD done = 0;
        if (!WriteFile(file, bytes.data() + offset, chunk, &done, nullptr) || done != chunk) {
            ADD_FAILURE() << "WriteFile " << Narrow(path) << " failed with " << GetLastError();
            written = false;
            break;
        }
        offset += chunk;
    }
    CloseHandle(file);
    return written;
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes)
{
    bytes->clear();
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<char> chunk(1 << 16);
    DWORD done = 0;
    bool ok = true;
    for (;;) {
        if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &done, nullptr)) {
            ok = false;
            break;
        }
        if (done == 0)
            break;
        bytes->append(chunk.data(), done);
    }
    CloseHandle(file);
    return ok;
}

std::wstring HostsFilePath()
{
    wchar_t path[MAX_PATH + 1] = {};
    ExpandEnvironmentStringsW(L"%SystemRoot%\\System32\\drivers\\etc\\hosts", path, MAX_PATH);
    return path;
}

bool WriteHostsFile(const std::string& bytes)
{
    return WriteWholeFile(HostsFilePath(), bytes);
}

bool DeleteHostsFile()
{
    if (DeleteFileW(HostsFilePath().c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
        return true;
    ADD_FAILURE() << "DeleteFileW hosts failed with " << GetLastError();
    return false;
}

std::wstring UnixToWindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char ch : unixPath)
        path += ch == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(ch));
    return path;
}

bool SetResolverHosts(const std::string& hostsLines)
{
    const char* resolverHosts = std::getenv("ZEMLO_RESOLVER_HOSTS");
    if (resolverHosts == nullptr) {
        ADD_FAILURE() << "ZEMLO_RESOLVER_HOSTS is not set: run the test through tests/harness/wine-run.sh";
        return false;
    }
    return WriteWholeFile(UnixToWindowsPath(resolverHosts), "127.0.0.1 localhost\n" + hostsLines);
}
