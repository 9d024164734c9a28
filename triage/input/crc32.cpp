#include "triage/input/crc32.h"

#ifdef __EMSCRIPTEN__
#include <array>
#else
#include <zlib.h>

#include <climits>
#endif

namespace triage {

#ifdef __EMSCRIPTEN__

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320;  // reflected

constexpr std::array<std::uint32_t, 256> MakeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ kPolynomial : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

std::uint32_t UpdateCrc32(std::uint32_t crc, const char* data, std::size_t size)
{
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = kTable[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

#else

std::uint32_t UpdateCrc32(std::uint32_t crc, const char* data, std::size_t size)
{
    while (size > 0) {
        const uInt piece = size > UINT_MAX ? UINT_MAX : static_cast<uInt>(size);
        crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(data), piece));
        data += piece;
        size -= piece;
    }
    return crc;
}

#endif

}  // namespace triage
