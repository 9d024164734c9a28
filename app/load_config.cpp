// The program runs elevated, often from a downloads folder that any user can
// write to: a DLL dropped beside it must never be loaded. The load
// configuration's DependentLoadFlags make the loader resolve the program's
// imports from System32 only.
#include <windows.h>

#if defined(_MSC_VER)
// The MSVC runtime brings its own load configuration; the linker sets the
// flag (/DEPENDENTLOADFLAG, see app/CMakeLists.txt).
#else
// GNU ld fills the image's load-configuration directory from this symbol
// and its leading size field; the headers still call DependentLoadFlags by
// its old name, Reserved1.
namespace {
// Evaluated by the compiler: the loader reads the structure before any code runs.
constexpr IMAGE_LOAD_CONFIG_DIRECTORY MakeLoadConfig()
{
    IMAGE_LOAD_CONFIG_DIRECTORY config = {};
    config.Size = sizeof(config);
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}
}  // namespace

extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;
constexpr IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = MakeLoadConfig();
}
#endif
