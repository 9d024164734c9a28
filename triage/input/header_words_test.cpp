// What mail programs other than the one the mail tests write with put into
// a header's parameters: sections out of order or missing, escapes in quoted
// strings, charsets this reader does not decode.

#include "triage/input/header_words.h"

#include <gtest/gtest.h>

namespace triage {
namespace {

TEST(HeaderWords, ParametersReadAsMailProgramsWriteThem)
{
    const struct {
        const char* value;
        const char* name;
        const char* expected;
    } cases[] = {
        {R"(attachment; filename="a \"quoted\" name; kept.txt")", "filename", R"(a "quoted" name; kept.txt)"},
        {"attachment; filename=zemlodiag.txt", "name", ""},
        {"text/plain; name*1*=%20zwei.txt; name*0*=UTF-8''kopie%C3%BC", "name", "kopie\xC3\xBC zwei.txt"},
        {"attachment; filename*0=kopie; filename*2=lost.txt", "filename", "kopie"},
        {"attachment; filename*=iso-8859-1'de'%E4%80.txt", "filename", "\xC3\xA4\xE2\x82\xAC.txt"},
        {"attachment; filename*=koi8-r''%D6%D5.txt", "filename", "koi8-r''%D6%D5.txt"},
        {"attachment; filename*=UTF-8''new.txt; filename=old.txt", "filename", "new.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeaderParameter(c.value, c.name), c.expected) << c.value;
}

TEST(HeaderWords, EncodedWordsDecodeAndTheBlanksBetweenThemGo)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"=?UTF-8?B?0LbRg9GA0L3QsNC7?=\r\n =?utf-8?q?_zemlodiag=2Etxt?=", "\xD0\xB6\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB zemlodiag.txt"},
        {"=?utf-8?q?a?= and =?utf-8?q?b?=", "a and b"},
        {"=?koi8-r?b?1tXSzsHM?= =?utf-8?q?x?=", "=?koi8-r?b?1tXSzsHM?= x"},
        {"=?utf-8?b?not base64?=", "=?utf-8?b?not base64?="},
        {"=?utf-8?x?abc?= =?utf-8?q?", "=?utf-8?x?abc?= =?utf-8?q?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeEncodedWords(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace triage
