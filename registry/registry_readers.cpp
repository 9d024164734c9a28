#include "registry/registry_readers.h"

#include "base/heap_block.h"
#include "base/security_handles.h"
#include "log/report_texts.h"
#include "log/run_log.h"

bool ReadRegDword(HKEY key, const wchar_t* valueName, DWORD* out)
{
    DWORD type = 0;
    DWORD size = sizeof(DWORD);
    LSTATUS status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    if (type != REG_DWORD) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    // A value stored with fewer than four bytes fills only those: the rest stays zero.
    DWORD value = 0;
    size = sizeof(DWORD);
    status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    SetLastError(static_cast<DWORD>(status));
    if (status != ERROR_SUCCESS)
        return false;
    *out = value;
    return true;
}

bool ReadRegString(HKEY key, const wchar_t* valueName, wchar_t* buffer, DWORD capacityChars,
                   DWORD* outLengthChars)
{
    if (outLengthChars != nullptr)
        *outLengthChars = 0;

    DWORD type = 0;
    DWORD size = capacityChars * static_cast<DWORD>(sizeof(wchar_t));
    LSTATUS status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    if (outLengthChars != nullptr)
        *outLengthChars = size >> 1;
    // Compared in bytes: an odd byte count needs the character it half fills.
    if (static_cast<unsigned long long>(size) > static_cast<unsigned long long>(capacityChars) * sizeof(wchar_t)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

void PrintRegString(const wchar_t* subKey, const wchar_t* valueName)
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, kRegistryReadAccess, key.put()) != ERROR_SUCCESS)
        return;

    DWORD lengthChars = 0;
    ReadRegString(key.get(), valueName, nullptr, 0, &lengthChars);

    // A value of an odd byte count fills half of the character after its
    // length, the one meant as terminator: one more keeps the text terminated.
    const ScopedHeapBlock<wchar_t> value = ZeroedBlock<wchar_t>(static_cast<size_t>(lengthChars) + 2);
    if (!value)
        return;
    if (ReadRegString(key.get(), valueName, value.get(), lengthChars + 1, nullptr))
        LogPrint(kRegStringValue, valueName, value.get());
}
