// The shipped image's own hardening, read back from its PE headers: the
// program runs elevated, often from a folder any user can write to.

#include <gtest/gtest.h>

#include <windows.h>

#include <imagehlp.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "zemlodiag_version.h"

#ifndef ZEMLO_SOURCE_DIR_UNIX_PATH
#error "ZEMLO_SOURCE_DIR_UNIX_PATH names the source tree that holds app/imports"
#endif

namespace {

#ifdef _WIN64
constexpr char kArch[] = "x64";
#else
constexpr char kArch[] = "x86";
#endif

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char ch) { return static_cast<char>(::tolower(ch)); });
    return text;
}

// One line per entry, blank lines and '#' comments skipped.
std::set<std::string> ReadLines(const std::string& sourceRelativePath)
{
    std::string bytes;
    const std::wstring path = UnixToWindowsPath(std::string(ZEMLO_SOURCE_DIR_UNIX_PATH) + "/" + sourceRelativePath);
    EXPECT_TRUE(ReadWholeFile(path, &bytes)) << sourceRelativePath;
    std::set<std::string> lines;
    std::istringstream stream(bytes);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            lines.insert(line);
    }
    return lines;
}

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

    std::string CString(size_t offset) const
    {
        const size_t end = image_.find('\0', offset);
        return end == std::string::npos ? std::string() : image_.substr(offset, end - offset);
    }

    // "<kind> <dll> <function>" for each entry of a thunk array of names.
    void AddThunkNames(const char* kind, const std::string& dll, size_t thunkOffset,
                       std::set<std::string>* imports) const
    {
        for (;; thunkOffset += sizeof(ULONG_PTR)) {
            const ULONG_PTR thunk = *At<ULONG_PTR>(thunkOffset);
            if (thunk == 0)
                break;
            std::string function;
            if (IMAGE_SNAP_BY_ORDINAL(thunk))
                function = "#" + std::to_string(IMAGE_ORDINAL(thunk));
            else
                function = CString(FileOffset(static_cast<DWORD>(thunk)) + offsetof(IMAGE_IMPORT_BY_NAME, Name));
            imports->insert(std::string(kind) + " " + Lower(dll) + " " + function);
        }
    }

    // Every function the image imports at start-up and through the
    // delay-load helper. GNU ld leaves the delay-import directory empty, so
    // the delay descriptors are found by their symbols in the linker map.
    std::set<std::string> Imports() const
    {
        std::set<std::string> imports;
        const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
        for (size_t offset = FileOffset(directory.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
            if (descriptor->Name == 0)
                break;
            const DWORD names = descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk
                                                                   : descriptor->FirstThunk;
            AddThunkNames("load", CString(FileOffset(descriptor->Name)), FileOffset(names), &imports);
        }

        std::string map;
        EXPECT_TRUE(ReadWholeFile(ProductLinkerMapPath(), &map));
        std::istringstream lines(map);
        size_t delayDescriptors = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("DELAY_IMPORT_DESCRIPTOR_") == std::string::npos || line.find("0x") == std::string::npos)
                continue;
            const ULONGLONG address = std::stoull(line.substr(line.find("0x")), nullptr, 16);
            const auto rva = static_cast<DWORD>(address - nt_->OptionalHeader.ImageBase);
            const auto* descriptor = At<IMAGE_DELAYLOAD_DESCRIPTOR>(FileOffset(rva));
            EXPECT_TRUE(descriptor->Attributes.RvaBased) << line;
            AddThunkNames("delay", CString(FileOffset(descriptor->DllNameRVA)),
                          FileOffset(descriptor->ImportNameTableRVA), &imports);
            ++delayDescriptors;
        }
        EXPECT_EQ(delayDescriptors, 2u) << "crypt32 and ws2_32 are delay-loaded";
        return imports;
    }

    std::string image_;
    const IMAGE_NT_HEADERS* nt_ = nullptr;
};

// XP SP2 and Server 2003 refuse to start an image that imports a function
// their DLLs lack ("The procedure entry point ... could not be located"),
// and Wine, which exports everything, never shows it. A new import fails
// here until someone has checked that those systems export it and added it
// to the list.
TEST_F(ProductImage, ImportsExactlyTheFunctionsCheckedForXpAndServer2003)
{
    const std::set<std::string> checked = ReadLines(std::string("app/imports/") + kArch + ".txt");
    const std::set<std::string> imported = Imports();
    for (const std::string& entry : imported)
        EXPECT_TRUE(checked.count(entry)) << "imported but not checked: " << entry;
    for (const std::string& entry : checked)
        EXPECT_TRUE(imported.count(entry)) << "checked but no longer imported: " << entry;
}

TEST(CheckedImports, AreExportedByXpSp2AndServer2003)
{
    const std::set<std::string> checked = ReadLines(std::string("app/imports/") + kArch + ".txt");
    EXPECT_GT(checked.size(), 50u);
    for (const std::string& entry : checked) {
        std::istringstream fields(entry);
        std::string kind, dll, function;
        fields >> kind >> dll >> function;
        ASSERT_TRUE(kind == "load" || kind == "delay") << entry;
        const std::set<std::string> exports = ReadLines(std::string("app/imports/nt5-exports/") + kArch + "/" +
                                                        dll.substr(0, dll.find('.')) + ".txt");
        EXPECT_TRUE(exports.count(Lower(function))) << entry << " is not exported by the " << kArch
                                                     << " system DLLs of XP SP2 / Server 2003";
    }
}

// Older loaders refuse an image that asks for a newer subsystem version.
TEST_F(ProductImage, SubsystemVersionLetsXpAndServer2003LoadIt)
{
    const IMAGE_OPTIONAL_HEADER& header = nt_->OptionalHeader;
    EXPECT_EQ(header.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
    EXPECT_EQ(header.MajorSubsystemVersion, 5);
    EXPECT_EQ(header.MinorSubsystemVersion, sizeof(void*) == 8 ? 2 : 1);
    EXPECT_EQ(header.MajorOperatingSystemVersion, 5);
    EXPECT_EQ(header.MinorOperatingSystemVersion, sizeof(void*) == 8 ? 2 : 1);
}

// Terminal-server aware: without the flag a terminal server applies its
// compatibility shims, which redirect some of the registry and file reads the
// report is made of.
TEST_F(ProductImage, AslrDepAndTerminalServerAwarenessAreOn)
{
    const WORD characteristics = nt_->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE);
#ifdef _WIN64
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
#endif
    // A relocatable image keeps its relocations, or ASLR cannot move it.
    EXPECT_FALSE(nt_->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_NE(Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u);
}

// Scanners take a wrong checksum for a sign of an altered image; the build
// changes the image after linking, so it must have recomputed it. A signed
// copy carries the one its signer wrote over the signed image.
TEST_F(ProductImage, ChecksumIsTheOneOfTheFinalImage)
{
    DWORD inHeader = 0;
    DWORD computed = 0;
    ASSERT_EQ(MapFileAndCheckSumW(ProductExePath().c_str(), &inHeader, &computed), CHECKSUM_SUCCESS);
    EXPECT_EQ(inHeader, nt_->OptionalHeader.CheckSum);
    EXPECT_NE(computed, 0u);
    EXPECT_EQ(inHeader, computed);
}

// The C++ runtime's exception machinery (unwinder, terminate handler, name
// demangler) is about 90 KiB of each image and the program throws nothing;
// these limits are today's sizes and a third more. An Authenticode signature
// appended to the image does not count.
TEST_F(ProductImage, StaysSmall)
{
    const size_t signature = Directory(IMAGE_DIRECTORY_ENTRY_SECURITY).Size;
    ASSERT_LE(signature, image_.size());
    const size_t limit = sizeof(void*) == 8 ? 88 * 1024 : 84 * 1024;
    EXPECT_LE(image_.size() - signature, limit);
}

// Only KnownDLLs are imported at start-up: Windows never takes those from the
// program's folder. Everything else is delay-loaded from System32.
TEST_F(ProductImage, ImportsOnlyKnownSystemDlls)
{
    const IMAGE_DATA_DIRECTORY& imports = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(imports.Size, 0u);
    std::set<std::string> names;
    for (size_t offset = FileOffset(imports.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
        if (descriptor->Name == 0)
            break;
        std::string name = image_.c_str() + FileOffset(descriptor->Name);
        std::transform(name.begin(), name.end(), name.begin(), [](char ch) { return static_cast<char>(::tolower(ch)); });
        names.insert(name);
    }
    const std::set<std::string> knownDlls = {"advapi32.dll", "kernel32.dll", "msvcrt.dll"};
    for (const std::string& name : names)
        EXPECT_TRUE(knownDlls.count(name)) << name << " is imported at start-up";
    EXPECT_TRUE(names.count("kernel32.dll"));
}

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
