#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "triage/input/code_page_converter.h"

namespace triage {

namespace {

struct IconvClose {
    void operator()(void* descriptor) const { iconv_close(static_cast<iconv_t>(descriptor)); }
};
using IconvHandle = std::unique_ptr<void, IconvClose>;

// glibc names every Windows page "CP" and its number.
IconvHandle Open(unsigned number)
{
    const std::string name = "CP" + std::to_string(number);
    const iconv_t descriptor = iconv_open("UTF-32LE", name.c_str());
    if (descriptor == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return IconvHandle(descriptor);
}

}  // namespace

bool PlatformDecode(unsigned number, std::string_view bytes, CodePoints& out)
{
    const IconvHandle converter = Open(number);
    if (!converter)
        return false;
    const auto descriptor = static_cast<iconv_t>(converter.get());
    char* in = const_cast<char*>(bytes.data());  // iconv's signature; it only reads
    std::size_t inLeft = bytes.size();
    unsigned char buffer[4096];
    const auto take = [&](const unsigned char* end) {
        for (const unsigned char* at = buffer; at + 4 <= end; at += 4)
            out.push_back(at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24));
    };
    const auto convert = [&](char** from, std::size_t* fromLeft) {
        char* outAt = reinterpret_cast<char*>(buffer);
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(descriptor, from, fromLeft, &outAt, &outLeft);
        const int error = done == static_cast<std::size_t>(-1) ? errno : 0;
        take(reinterpret_cast<unsigned char*>(outAt));
        return error;
    };
    while (inLeft > 0) {
        const int error = convert(&in, &inLeft);
        if (error == 0 || error == E2BIG)
            continue;
        // An unmapped byte, or a character cut off at the end: one U+FFFD,
        // and on from the next byte.
        out.push_back(0xFFFD);
        if (error == EINVAL)
            break;
        ++in;
        --inLeft;
    }
    // What a composing page (1258) still holds.
    convert(nullptr, nullptr);
    return true;
}

}  // namespace triage
