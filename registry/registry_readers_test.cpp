// The registry readers against the real registry of the prefix, every value
// seeded in the 64-bit view only, the view the readers always open.

#include "registry/registry_readers.h"

#include <gtest/gtest.h>

#include <string>

#include "base/security_handles.h"
#include "tests/harness/log_capture.h"
#include "tests/harness/prefix_seed.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kReaderKey = L"SOFTWARE\\ZemloReaderTest";

std::string Bytes(const wchar_t* text, size_t byteCount)
{
    return std::string(reinterpret_cast<const char*>(text), byteCount);
}

std::string DwordBytes(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

struct SeededValue {
    const char* name;
    DWORD type;
    std::string data;
};

// One value per row, named after the row.
const SeededValue kSeededValues[] = {
    {"Dword", REG_DWORD, DwordBytes(0x12345678)},
    {"DwordEightBytes", REG_DWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
    {"DwordTwoBytes", REG_DWORD, std::string("\x12\x34", 2)},
    {"DwordBigEndian", REG_DWORD_BIG_ENDIAN, DwordBytes(1)},
    {"Qword", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8)},
    {"Binary", REG_BINARY, DwordBytes(1)},
    {"String", REG_SZ, Bytes(L"abc", 8)},
    {"StringUnterminated", REG_SZ, Bytes(L"abc", 6)},
    {"StringOddBytes", REG_SZ, Bytes(L"ab", 5)},
    {"StringOddByteNotZero", REG_SZ, Bytes(L"abc", 5)},
    {"StringTerminatorOnly", REG_SZ, Bytes(L"", 2)},
    {"StringNoData", REG_SZ, std::string()},
    {"Expandable", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\\x", 30)},
    {"Multi", REG_MULTI_SZ, Bytes(L"a\0b\0", 10)},
};

std::wstring Wide(const char* text)
{
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

class RegistryReaders : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const SeededValue& value : kSeededValues) {
            ASSERT_TRUE(SeedRegValue(HKEY_LOCAL_MACHINE, kReaderKey, Wide(value.name), value.type, value.data.data(),
                                     static_cast<DWORD>(value.data.size())));
            // The 32-bit view must not have it, or the x86 build would prove nothing.
            ASSERT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, kReaderKey, Wide(value.name), RegView::Wow32));
        }
    }
    static void TearDownTestSuite() { DeleteRegTree(HKEY_LOCAL_MACHINE, kReaderKey); }

    void SetUp() override
    {
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kReaderKey.c_str(), 0, kRegistryReadAccess, key_.put()),
                  ERROR_SUCCESS);
    }

    ScopedRegKey key_;
};

TEST_F(RegistryReaders, ReadRegDwordAcceptsOnlyDwordsThatFit)
{
    struct Case {
        const wchar_t* valueName;
        bool read;
        DWORD lastError;
        DWORD value;  // what `out` holds afterwards
    };
    const Case cases[] = {
        {L"Dword", true, ERROR_SUCCESS, 0x12345678},
        {L"DwordEightBytes", false, ERROR_MORE_DATA, 0xFFFFFFFF},
        {L"DwordTwoBytes", true, ERROR_SUCCESS, 0x3412},  // the missing bytes read as zero
        {L"DwordBigEndian", false, ERROR_INVALID_DATA, 0xFFFFFFFF},
        {L"Qword", false, ERROR_INVALID_DATA, 0xFFFFFFFF},
        {L"Binary", false, ERROR_INVALID_DATA, 0xFFFFFFFF},
        {L"String", false, ERROR_INVALID_DATA, 0xFFFFFFFF},
        {L"Missing", false, ERROR_FILE_NOT_FOUND, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Printable(c.valueName));
        DWORD value = 0xFFFFFFFF;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(ReadRegDword(key_.get(), c.valueName, &value), c.read);
        EXPECT_EQ(GetLastError(), c.lastError);
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(RegistryReaders, ReadRegStringFollowsTheTwoCallProtocol)
{
    struct Case {
        const wchar_t* valueName;
        // first call: no buffer, capacity 0
        bool sizeRead;
        DWORD sizeError;
        DWORD lengthChars;
        // second call into a zero-filled buffer of this capacity
        DWORD capacityChars;
        bool read;
        DWORD readError;
        const wchar_t* text;  // the characters read
    };
    const Case cases[] = {
        {L"String", false, ERROR_INSUFFICIENT_BUFFER, 4, 4, true, ERROR_SUCCESS, L"abc"},
        {L"StringUnterminated", false, ERROR_INSUFFICIENT_BUFFER, 3, 3, true, ERROR_SUCCESS, L"abc"},
        {L"StringOddBytes", false, ERROR_INSUFFICIENT_BUFFER, 2, 2, false, ERROR_INSUFFICIENT_BUFFER, L""},
        {L"StringOddBytes", false, ERROR_INSUFFICIENT_BUFFER, 2, 3, true, ERROR_SUCCESS, L"ab"},
        {L"StringTerminatorOnly", false, ERROR_INSUFFICIENT_BUFFER, 1, 1, true, ERROR_SUCCESS, L""},
        {L"StringNoData", true, ERROR_SUCCESS, 0, 1, true, ERROR_SUCCESS, L""},
        {L"Expandable", false, ERROR_INSUFFICIENT_BUFFER, 15, 16, true, ERROR_SUCCESS, L"%SystemRoot%\\x"},
        {L"Multi", false, ERROR_INVALID_DATA, 0, 8, false, ERROR_INVALID_DATA, L""},
        {L"Qword", false, ERROR_INVALID_DATA, 0, 8, false, ERROR_INVALID_DATA, L""},
        {L"DwordBigEndian", false, ERROR_INVALID_DATA, 0, 8, false, ERROR_INVALID_DATA, L""},
        {L"Dword", false, ERROR_INVALID_DATA, 0, 8, false, ERROR_INVALID_DATA, L""},
        {L"Missing", false, ERROR_FILE_NOT_FOUND, 0, 8, false, ERROR_FILE_NOT_FOUND, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Printable(c.valueName) + " capacity " + std::to_string(c.capacityChars));
        DWORD lengthChars = 0xFFFFFFFF;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(ReadRegString(key_.get(), c.valueName, nullptr, 0, &lengthChars), c.sizeRead);
        EXPECT_EQ(GetLastError(), c.sizeError);
        EXPECT_EQ(lengthChars, c.lengthChars);

        // One guard character past the capacity shows that nothing is written beyond it.
        std::wstring buffer(c.capacityChars + 1, L'\0');
        buffer[c.capacityChars] = L'#';
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(ReadRegString(key_.get(), c.valueName, &buffer[0], c.capacityChars, nullptr), c.read);
        EXPECT_EQ(GetLastError(), c.readError);
        EXPECT_EQ(buffer[c.capacityChars], L'#');
        if (c.read) {
            // The stored bytes, then the zeros the buffer started with.
            std::wstring stored = c.text;
            stored.resize(c.capacityChars, L'\0');
            EXPECT_EQ(buffer.substr(0, c.capacityChars), stored);
        }
    }
}

TEST_F(RegistryReaders, ReadRegStringCopiesTheStoredBytesWithoutAddingATerminator)
{
    wchar_t buffer[4] = {L'x', L'x', L'x', L'x'};
    ASSERT_TRUE(ReadRegString(key_.get(), L"StringUnterminated", buffer, 4, nullptr));
    EXPECT_EQ(std::wstring(buffer, 4), L"abcx");
}

TEST_F(RegistryReaders, PrintRegStringPrintsNameAndValueOrNothing)
{
    struct Case {
        const wchar_t* subKey;
        const wchar_t* valueName;
        const wchar_t* printed;
    };
    const std::wstring missingKey = kReaderKey + L"\\Missing";
    const Case cases[] = {
        {kReaderKey.c_str(), L"String", L"String: abc"},
        {kReaderKey.c_str(), L"StringUnterminated", L"StringUnterminated: abc"},
        {kReaderKey.c_str(), L"StringOddBytes", L"StringOddBytes: ab"},
        // The odd byte shows as a character of its own, and the text still ends.
        {kReaderKey.c_str(), L"StringOddByteNotZero", L"StringOddByteNotZero: abc"},
        {kReaderKey.c_str(), L"StringTerminatorOnly", L"StringTerminatorOnly: "},
        {kReaderKey.c_str(), L"StringNoData", L"StringNoData: "},
        {kReaderKey.c_str(), L"Expandable", L"Expandable: %SystemRoot%\\x"},
        {kReaderKey.c_str(), L"Dword", L""},
        {kReaderKey.c_str(), L"Multi", L""},
        {kReaderKey.c_str(), L"Missing", L""},
        {missingKey.c_str(), L"String", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Printable(c.valueName));
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        PrintRegString(c.subKey, c.valueName);
        EXPECT_EQ(log.Text(), c.printed);
    }
}

}  // namespace
