#pragma once

// Seeding the throwaway Wine prefix a test runs in. Every helper acts through
// the real Win32 API of the prefix (registry, files), so what the product
// later reads is real state. Helpers report their own failures to GoogleTest
// and return false, so callers write ASSERT_TRUE(Seed...).

#include <windows.h>

#include <string>

enum class RegView {
    Native64,  // the 64-bit view, which the product always reads
    Wow32,     // the 32-bit view (WOW6432Node) only
};

// The access flag that opens a key in that view.
REGSAM RegViewFlag(RegView view);

// Stores exactly `sizeBytes` bytes, also string data without a terminator.
bool SeedRegValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName, DWORD type,
                  const void* data, DWORD sizeBytes, RegView view = RegView::Native64);
bool SeedRegDword(HKEY root, const std::wstring& subKey, const std::wstring& valueName, DWORD value,
                  RegView view = RegView::Native64);
// Stored with its terminating zero, as applications usually write strings.
bool SeedRegString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                   const std::wstring& value, DWORD type = REG_SZ, RegView view = RegView::Native64);
// Creates the key without any value.
bool SeedRegKey(HKEY root, const std::wstring& subKey, RegView view = RegView::Native64);
// Removes a key with everything below it; a missing key is no failure.
bool DeleteRegTree(HKEY root, const std::wstring& subKey, RegView view = RegView::Native64);
bool RegValueExists(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                    RegView view = RegView::Native64);

// The Windows version that Wine reports to processes started from now on in
// this prefix (its per-prefix setting, e.g. L"winxp", L"win10", L"win98").
bool SetWineWindowsVersion(const std::wstring& version);

// The build strings and product name that Windows keeps about itself, in the
// 64-bit view of HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion.
bool SeedWindowsBuildStrings(const std::wstring& buildLab, const std::wstring& buildLabEx,
                             const std::wstring& productName);
// The security product's identity values in the 64-bit view, as its setup
// writes them.
bool SeedProductIdentity(const std::wstring& productType, const std::wstring& productVersion,
                         const std::wstring& languageCode);
// The Internet Settings keys of the machine, the current user and LocalSystem,
// which every Windows installation has (a Wine prefix lacks the LocalSystem
// one), without any value.
bool SeedUsualInternetSettingsKeys();

// Whole files in the prefix, byte for byte.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool ReadWholeFile(const std::wstring& path, std::string* bytes);

// %SystemRoot%\System32\drivers\etc\hosts, expanded as the product expands it.
std::wstring HostsFilePath();
bool WriteHostsFile(const std::string& bytes);
bool DeleteHostsFile();

// The answer of the host's resolver for the run: lines in /etc/hosts syntax
// (e.g. "192.0.2.10 service.zemlo.example\n"). Without a call, the service
// host does not resolve.
bool SetResolverHosts(const std::string& hostsLines);

// A Unix path as the prefix sees it through drive Z:.
std::wstring UnixToWindowsPath(const std::string& unixPath);
