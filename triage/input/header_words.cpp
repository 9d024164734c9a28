#include "triage/input/header_words.h"

#include <utf8.h>

#include <cctype>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include "triage/input/code_pages.h"
#include "triage/input/transfer_digits.h"
#include "triage/text_util.h"

namespace triage {

namespace {

// Folding white space: blanks and the line ends of a folded header.
bool IsFoldingBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// `bytes` in `charset` as UTF-8; nothing for a charset not read here.
std::optional<std::string> InCharset(std::string_view charset, const std::string& bytes)
{
    std::string name = Lower(charset);
    if (const std::size_t language = name.find('*'); language != std::string::npos)
        name.resize(language);  // RFC 2231's "charset*language"
    if (name == "utf-8" || name == "us-ascii")
        return bytes;
    if (name != "iso-8859-1" && name != "latin1" && name != "windows-1252" && name != "cp1252")
        return std::nullopt;
    std::string text;
    for (char byte : bytes)
        utf8::append(CodePoint(CodePage::Windows1252, static_cast<unsigned char>(byte)), std::back_inserter(text));
    return text;
}

std::optional<std::string> DecodeBase64(std::string_view text)
{
    std::string bytes;
    std::uint32_t quantum = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=')
            break;
        const int value = Base64Value(c);
        if (value < 0)
            return std::nullopt;
        quantum = (quantum << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>(quantum >> bits));
            quantum &= (1u << bits) - 1;
        }
    }
    return bytes;
}

// The Q encoding: quoted-printable with '_' for a blank.
std::string DecodeQ(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            bytes.push_back(' ');
        } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

// The encoded word at the start of `text` ("=?charset?B?...?="): its length
// and its text, when it is one and its charset is read here.
std::optional<std::string> EncodedWord(std::string_view text, std::size_t& length)
{
    if (text.substr(0, 2) != "=?")
        return std::nullopt;
    const std::size_t charsetEnd = text.find('?', 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?')
        return std::nullopt;
    const std::size_t end = text.find("?=", charsetEnd + 3);
    if (end == std::string_view::npos)
        return std::nullopt;
    const std::string_view encoded = text.substr(charsetEnd + 3, end - charsetEnd - 3);
    for (char c : encoded)
        if (IsFoldingBlank(c))
            return std::nullopt;
    std::optional<std::string> bytes;
    const char method = static_cast<char>(std::toupper(static_cast<unsigned char>(text[charsetEnd + 1])));
    if (method == 'B')
        bytes = DecodeBase64(encoded);
    else if (method == 'Q')
        bytes = DecodeQ(encoded);
    if (!bytes)
        return std::nullopt;
    length = end + 2;
    return InCharset(text.substr(2, charsetEnd - 2), *bytes);
}

std::string PercentDecoded(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

// One "attribute=value" of a header's parameters: the value unquoted.
struct Parameter {
    std::string attribute;  // lower case
    std::string value;
};

// The parameters after a header value's first ';'. A value is a quoted
// string (backslash escapes a character) or runs to the next ';'.
std::vector<Parameter> Parameters(std::string_view value)
{
    std::vector<Parameter> parameters;
    std::size_t at = value.find(';');
    while (at != std::string_view::npos && at < value.size()) {
        ++at;  // past ';'
        const std::size_t equals = value.find_first_of("=;", at);
        if (equals == std::string_view::npos)
            break;
        if (value[equals] == ';') {
            at = equals;
            continue;
        }
        std::string_view attribute = value.substr(at, equals - at);
        while (!attribute.empty() && IsFoldingBlank(attribute.front()))
            attribute.remove_prefix(1);
        while (!attribute.empty() && IsFoldingBlank(attribute.back()))
            attribute.remove_suffix(1);
        std::size_t i = equals + 1;
        while (i < value.size() && IsFoldingBlank(value[i]))
            ++i;
        Parameter parameter{Lower(attribute), {}};
        if (i < value.size() && value[i] == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                parameter.value.push_back(value[i]);
            }
            at = value.find(';', i);
        } else {
            at = value.find(';', i);
            std::string_view token = value.substr(i, at == std::string_view::npos ? std::string_view::npos : at - i);
            while (!token.empty() && IsFoldingBlank(token.back()))
                token.remove_suffix(1);
            parameter.value.assign(token);
        }
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

}  // namespace

std::string DecodeEncodedWords(std::string_view text)
{
    std::string decoded;
    std::size_t blanksAfterWord = std::string::npos;  // where blanks after an encoded word start in `decoded`
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        if (std::optional<std::string> word = EncodedWord(text.substr(i), length)) {
            if (blanksAfterWord != std::string::npos)
                decoded.resize(blanksAfterWord);
            decoded += *word;
            blanksAfterWord = decoded.size();
            i += length;
            continue;
        }
        if (!IsFoldingBlank(text[i]))
            blanksAfterWord = std::string::npos;
        decoded.push_back(text[i]);
        ++i;
    }
    return decoded;
}

std::string HeaderParameter(std::string_view value, std::string_view name)
{
    const std::string plain(name);
    const std::string extended = plain + "*";
    std::optional<std::string> whole;
    std::map<int, std::pair<std::string, bool>> sections;  // number: value, extended
    std::optional<std::string> single;
    for (const Parameter& parameter : Parameters(value)) {
        if (parameter.attribute == plain) {
            single = parameter.value;
        } else if (parameter.attribute == extended) {
            whole = parameter.value;
        } else if (parameter.attribute.compare(0, extended.size(), extended) == 0) {
            // name*0, name*0*, name*1*, ...
            std::string number = parameter.attribute.substr(extended.size());
            const bool encoded = !number.empty() && number.back() == '*';
            if (encoded)
                number.pop_back();
            if (number.empty() || number.size() > 3 || number.find_first_not_of("0123456789") != std::string::npos)
                continue;
            sections.emplace(std::stoi(number), std::make_pair(parameter.value, encoded));
        }
    }
    std::string charset;
    std::string bytes;
    std::string raw;  // as it came, for a charset not read here
    if (whole) {
        raw = *whole;
        bytes = *whole;
        // charset'language'value
        const std::size_t first = bytes.find('\'');
        const std::size_t second = first == std::string::npos ? first : bytes.find('\'', first + 1);
        if (second == std::string::npos)
            return bytes;
        charset = bytes.substr(0, first);
        bytes = PercentDecoded(std::string_view(bytes).substr(second + 1));
    } else if (!sections.empty() && sections.begin()->first == 0) {
        int expected = 0;
        for (const auto& [number, section] : sections) {
            if (number != expected++)
                break;  // a gap: what follows it is not this value's
            std::string_view part = section.first;
            raw += part;
            if (section.second && number == 0) {
                const std::size_t first = part.find('\'');
                const std::size_t second = first == std::string_view::npos ? first : part.find('\'', first + 1);
                if (second != std::string_view::npos) {
                    charset.assign(part.substr(0, first));
                    part.remove_prefix(second + 1);
                }
            }
            bytes += section.second ? PercentDecoded(part) : std::string(part);
        }
    } else if (single) {
        return *single;
    } else {
        return {};
    }
    if (charset.empty())
        return bytes;
    std::optional<std::string> text = InCharset(charset, bytes);
    return text ? *text : raw;
}

}  // namespace triage
