#include <emscripten/emscripten.h>

#include <cstdint>

#include "triage/input/code_page_converter.h"

// The browser's decoder of the page, kept per page; -1 when the browser
// has none (it reads no OEM page but 866). Replacement characters stand for
// what the page does not map, one per sequence.
// clang-format off
EM_JS(int, DecodeInBrowser, (unsigned number, const unsigned char* bytes, int size, std::uint32_t* out), {
    const decoders = Module.pageDecoders || (Module.pageDecoders = {});
    if (!(number in decoders)) {
        const labels = {874: "windows-874", 866: "ibm866", 932: "shift_jis", 936: "gbk", 949: "euc-kr", 950: "big5"};
        const label = labels[number] || (number > 1249 && number < 1259 ? "windows-" + number : "");
        try {
            decoders[number] = label && new TextDecoder(label);
        } catch (e) {
            decoders[number] = null;
        }
    }
    if (!decoders[number])
        return -1;
    let count = 0;
    for (const character of decoders[number].decode(HEAPU8.subarray(bytes, bytes + size)))
        HEAPU32[(out >> 2) + count++] = character.codePointAt(0);
    return count;
});
// clang-format on

namespace triage {

bool PlatformDecode(unsigned number, std::string_view bytes, CodePoints& out)
{
    // No page gives more characters than bytes.
    const std::size_t before = out.size();
    out.resize(before + bytes.size());
    const int count = DecodeInBrowser(number, reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()), out.data() + before);
    out.resize(before + static_cast<std::size_t>(count < 0 ? 0 : count));
    return count >= 0;
}

}  // namespace triage
