// The shipped image's own hardening, read back from its PE headers: the
// program runs elevated, often from a folder any user can write to. What the
// image's bytes alone show (imports, versions, flags, checksum, size, CPU
// floor) is checked on the build host, by app/pe_image_test.py; these are
// the checks that read the linker map or ask Windows.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "zemlodiag_version.h"

namespace {

class ProductImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReadWholeFile(ProductExePath(), &image_));
        ASSERT_GT(image_.size(), 0x400u);
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        nt_ = At<IMAGE_NT_HEADERS>(static_cast<size_t>(dos->e_lfanew));
        ASSERT_EQ(nt_->Signature, IMAGE_NT_SIGNATURE);
        // The image is of this test's own architecture.
        ASSERT_EQ(nt_->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC);
    }

    template <typename T>
    const T* At(size_t offset) const
    {
        if (offset + sizeof(T) > image_.size()) {
            ADD_FAILURE() << "offset " << offset << " lies outside the image";
            static const T empty = {};
            return &empty;
        }
        return reinterpret_cast<const T*>(image_.data() + offset);
    }

    size_t FileOffset(DWORD rva) const
    {
        const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt_);
        for (WORD index = 0; index < nt_->FileHeader.NumberOfSections; ++index) {
            const IMAGE_SECTION_HEADER& section = sections[index];
            const DWORD extent = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + extent)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        ADD_FAILURE() << "RVA " << rva << " lies in no section";
        return 0;
    }

    const IMAGE_DATA_DIRECTORY& Directory(int index) const
    {
        return nt_->OptionalHeader.DataDirectory[index];
    }

    std::string image_;
    const IMAGE_NT_HEADERS* nt_ = nullptr;
};

// DependentLoadFlags, which GNU ld cannot set, is written into the load
// configuration after linking; this is where the loader finds it.
TEST_F(ProductImage, LoadConfigurationSearchesSystem32Only)
{
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    ASSERT_NE(directory.VirtualAddress, 0u) << "no load configuration";
    ASSERT_EQ(directory.Size, sizeof(IMAGE_LOAD_CONFIG_DIRECTORY));
    const auto* config = At<IMAGE_LOAD_CONFIG_DIRECTORY>(FileOffset(directory.VirtualAddress));
    EXPECT_EQ(config->Size, sizeof(IMAGE_LOAD_CONFIG_DIRECTORY));
    // Named DependentLoadFlags in current SDKs.
    EXPECT_EQ(config->Reserved1, LOAD_LIBRARY_SEARCH_SYSTEM32);
    EXPECT_EQ(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1), sizeof(void*) == 8 ? 0x4Eu : 0x36u);
}

// The stack protector's canary is the program's own, seeded at entry
// without loading a DLL; libssp's, which loads a crypto provider from a
// constructor, is not linked.
TEST_F(ProductImage, StackCanaryIsSeededAtTheProgramsOwnEntry)
{
    std::string map;
    ASSERT_TRUE(ReadWholeFile(ProductLinkerMapPath(), &map));
    EXPECT_EQ(map.find("libssp.a("), std::string::npos) << "a member of libssp is linked";
    const size_t guard = map.find("__stack_chk_guard");
    ASSERT_NE(guard, std::string::npos);
    const size_t object = map.rfind("stack_cookie.cpp.obj", guard);
    EXPECT_NE(object, std::string::npos) << "__stack_chk_guard comes from elsewhere";

    // The map shows x86 symbols without their leading underscore.
    const size_t entry = map.find(" ZemloProcessEntry\n");
    ASSERT_NE(entry, std::string::npos);
    const size_t addressAt = map.rfind("0x", entry);
    const ULONGLONG address = std::stoull(map.substr(addressAt), nullptr, 16);
    EXPECT_EQ(nt_->OptionalHeader.AddressOfEntryPoint, address - nt_->OptionalHeader.ImageBase);
}

TEST(ProductLinkerMap, SystemDllsOutsideTheKnownSetAreDelayLoaded)
{
    std::string map;
    ASSERT_TRUE(ReadWholeFile(ProductLinkerMapPath(), &map));
    EXPECT_NE(map.find("__delayLoadHelper2"), std::string::npos);
    EXPECT_NE(map.find("libcrypt32_delay.a"), std::string::npos);
    EXPECT_NE(map.find("libws2_32_delay.a"), std::string::npos);
}

// The release version reaches the version resource, which Windows shows in
// the file's properties and an IT department's inventory reads.
TEST(ProductVersionResource, CarriesTheReleaseVersion)
{
    const std::wstring path = ProductExePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, &data[0])) << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    ASSERT_GE(fixedSize, sizeof(VS_FIXEDFILEINFO));
    const unsigned expected[] = ZEMLO_VERSION_NUMBERS;
    const unsigned inResource[] = {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                                   HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
    for (int part = 0; part < 4; ++part)
        EXPECT_EQ(inResource[part], expected[part]) << "version part " << part;
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        wchar_t* text = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        ASSERT_TRUE(VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) << name;
        const std::string expectedText = ZEMLO_VERSION_TEXT;
        EXPECT_EQ(std::wstring(text), std::wstring(expectedText.begin(), expectedText.end())) << name;
    }
}

}  // namespace
