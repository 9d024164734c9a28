#include "network/hosts_file.h"

#include <cctype>
#include <cstring>

#include "base/heap_block.h"
#include "log/report_texts.h"
#include "log/run_log.h"
#include "network/service_names.h"

namespace {

constexpr wchar_t kHostsPathSource[] = L"%SystemRoot%\\System32\\drivers\\etc\\hosts";
constexpr DWORD kPathBufferChars = 521;
constexpr DWORD kPathExpansionChars = 520;


}  // namespace

void ReportFailedFileClose()
{
    LogError(kCannotCloseFile);
}

bool ReadHostsBytes(HANDLE file, char* buffer, DWORD size)
{
    DWORD bytesRead = 0;
    if (!ReadFile(file, buffer, size, &bytesRead, nullptr)) {
        LogError(kHostsReadFailed, GetLastError());
        return false;
    }
    if (bytesRead != size) {
        LogError(kHostsShortRead, static_cast<int>(size),
                 static_cast<int>(bytesRead));
        return false;
    }
    return true;
}

void ReportHostsMentions(const char* contents, char* searchCopy, DWORD size)
{
    std::memcpy(searchCopy, contents, size);
    // The "C" locale changes A to Z only; every other byte stays as it is.
    for (DWORD at = 0; at < size; ++at)
        searchCopy[at] = static_cast<char>(std::tolower(static_cast<unsigned char>(searchCopy[at])));

    bool found = false;
    if (std::strstr(searchCopy, kServiceHostA) != nullptr) {
        LogError(kHostsServiceHostFound, kServiceHostA);
        found = true;
    }
    if (std::strstr(searchCopy, kPrimaryDomainA) != nullptr) {
        LogWarning(kHostsDomainFound, kPrimaryDomainA);
        found = true;
    }
    if (std::strstr(searchCopy, kRegionalDomainA) != nullptr) {
        LogWarning(kHostsDomainFound, kRegionalDomainA);
        found = true;
    }

    if (found) {
        LogPrint(kHostsRule);
        LogPrint(kHostsContents, contents);
        LogPrint(kHostsClosingRule);
    } else {
        LogPrint(kOk);
    }
}

void CheckHostsFile()
{
    LogPrint(kHostsTitle);

    wchar_t path[kPathBufferChars] = {};
    const DWORD expanded = ExpandEnvironmentStringsW(kHostsPathSource, path, kPathExpansionChars);
    // A result above the allowed size means the path was cut short: as unusable as no path.
    if (expanded == 0 || expanded > kPathExpansionChars) {
        LogError(kHostsExpandError);
        return;
    }

    // Declared before the buffers: they are freed first, the file closed last.
    ScopedFileHandle file(
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogError(kHostsOpenError, path);
        return;
    }

    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == 0 || size == INVALID_FILE_SIZE) {
        LogWarning(kHostsEmpty, path);
        return;
    }

    const ScopedHeapBlock<char> contents = ZeroedBlock<char>(static_cast<size_t>(size) + 1);
    const ScopedHeapBlock<char> searchCopy = ZeroedBlock<char>(static_cast<size_t>(size) + 1);
    if (!contents || !searchCopy) {
        LogError(kHostsOutOfMemory);
        return;
    }

    const bool readWhole = ReadHostsBytes(file.get(), contents.get(), size);
    // Nothing stays open while the findings are written.
    file.Close();
    if (!readWhole) {
        LogError(kHostsReadError, path);
        return;
    }

    ReportHostsMentions(contents.get(), searchCopy.get(), size);
}
