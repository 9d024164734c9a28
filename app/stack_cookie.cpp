// The stack protector's canary, seeded at process entry from clocks, counters
// and ids, as the MS runtime seeds its own security cookie. The toolchain's
// libssp instead asks a crypto provider for random bytes from a constructor:
// that loads crypt32, rsaenh and bcrypt before wmain can restrict the DLL
// search, and on XP, which has no such restriction, from wherever the loader
// looks first. Nothing here loads a DLL.
#if !defined(_MSC_VER)

#include <windows.h>

#include <cstdint>

namespace {

// Used only until the entry seeds it; a fixed value must never stay.
constexpr std::uintptr_t kUnseededCookie = static_cast<std::uintptr_t>(0x2B992DDFA232ULL);

// Must not itself carry the canary: its frame would be checked against a
// value that changed under it.
__attribute__((no_stack_protector)) std::uintptr_t MakeStackCookie()
{
    FILETIME systemTime = {};
    GetSystemTimeAsFileTime(&systemTime);
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);

    std::uint64_t seed = (static_cast<std::uint64_t>(systemTime.dwHighDateTime) << 32) | systemTime.dwLowDateTime;
    seed ^= static_cast<std::uint64_t>(counter.QuadPart);
    seed ^= static_cast<std::uint64_t>(GetCurrentProcessId()) << 32;
    seed ^= GetCurrentThreadId();
    seed ^= static_cast<std::uint64_t>(GetTickCount()) << 16;
    // The stack's own address differs per process where ASLR is on.
    seed ^= static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&seed));

    std::uintptr_t cookie = static_cast<std::uintptr_t>(seed);
    if (sizeof(cookie) < sizeof(seed))
        cookie ^= static_cast<std::uintptr_t>(seed >> 32);
    if (cookie == kUnseededCookie)
        ++cookie;
    return cookie;
}

}  // namespace

extern "C" {

std::uintptr_t __stack_chk_guard = kUnseededCookie;

// As the MS runtime does on a broken cookie: no handler, no unwinding, no
// message from a process whose stack can no longer be trusted.
[[noreturn]] void __stack_chk_fail()
{
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

int mainCRTStartup();

// The image's entry point (linked with -e): seeds the canary before the C
// runtime, its constructors or any protected function runs.
__attribute__((no_stack_protector)) int ZemloProcessEntry()
{
    __stack_chk_guard = MakeStackCookie();
    return mainCRTStartup();
}

}  // extern "C"

#endif
