// Which Windows code page a stretch of 8-bit bytes is in: the page under
// which its characters read most like text.

#include <utf8.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>

#include "triage/input/code_pages.h"

namespace triage {

namespace {

constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

enum class Script : std::uint8_t { None, Latin, Greek, Cyrillic, Hebrew, Arabic, Thai, Han, Hangul };

Script ScriptOf(std::uint32_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return Script::Latin;
    if (c < 0x80)
        return Script::None;
    if ((c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || c == 0xAA || c == 0xBA || c == 0xB5 ||
        (c >= 0x1E00 && c <= 0x1EFF))
        return Script::Latin;
    if (c >= 0x370 && c <= 0x3FF && c != 0x37E && c != 0x387)
        return Script::Greek;
    if (c >= 0x400 && c <= 0x4FF)
        return Script::Cyrillic;
    if (c >= 0x5D0 && c <= 0x5F2)
        return Script::Hebrew;
    if ((c >= 0x620 && c <= 0x64A) || (c >= 0x66E && c <= 0x6D3))
        return Script::Arabic;
    if ((c >= 0xE01 && c <= 0xE30) || c == 0xE32 || c == 0xE33 || (c >= 0xE40 && c <= 0xE46))
        return Script::Thai;
    // Japanese mixes kanji and kana inside a word.
    if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F))
        return Script::Han;
    if ((c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F))
        return Script::Hangul;
    return Script::None;
}

// Marks that sit on the letter before them, and the script of the letters
// they sit on: accents (1258 writes them apart), Hebrew points, Arabic
// vowels, Thai vowels and tones; None for no mark.
Script MarkedScript(std::uint32_t c)
{
    if (c >= 0x300 && c <= 0x36F)
        return Script::Latin;
    if (c >= 0x591 && c <= 0x5C7)
        return Script::Hebrew;
    if (c >= 0x64B && c <= 0x65F)
        return Script::Arabic;
    if (c == 0xE31 || (c >= 0xE34 && c <= 0xE3A) || (c >= 0xE47 && c <= 0xE4E))
        return Script::Thai;
    return Script::None;
}

// Thai vowels written before the consonant they follow in speech.
bool IsThaiLeadingVowel(std::uint32_t c)
{
    return c >= 0xE40 && c <= 0xE44;
}

bool IsThaiConsonant(std::uint32_t c)
{
    return c >= 0xE01 && c <= 0xE2E;
}

// Punctuation that East Asian text is full of: the ideographic space, its
// brackets and stops, full-width forms.
bool IsEastAsianPunctuation(std::uint32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF65) || c == 0x30FB;
}

// Half-width katakana: old terminals' Japanese, rare in text since; the
// bytes of other double-byte pages' characters read as them in 932.
bool IsHalfWidthKana(std::uint32_t c)
{
    return c >= 0xFF61 && c <= 0xFF9F;
}

// Whether UTF-8 `letters` hold `c`.
bool Holds(std::string_view letters, std::uint32_t c)
{
    char encoded[4];
    const char* end = utf8::append(c, encoded);
    return letters.find(std::string_view(encoded, static_cast<std::size_t>(end - encoded))) != std::string_view::npos;
}

// Cyrillic letters that make a syllable, and the short i that follows one.
bool IsCyrillicVowel(std::uint32_t c)
{
    constexpr std::string_view kVowels =
        "\u0430\u0435\u0451\u0438\u043E\u0443\u044B\u044D\u044E\u044F\u0456\u0457\u0454";
    const std::uint32_t lower = c >= 0x410 && c <= 0x42F ? c + 0x20 : c >= 0x400 && c <= 0x40F ? c + 0x50 : c;
    return Holds(kVowels, lower);
}

enum class LetterCase : std::uint8_t { None, Upper, Lower };

LetterCase CaseOf(std::uint32_t c)
{
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB) || (c >= 0x386 && c <= 0x38F) ||
        (c >= 0x400 && c <= 0x42F))
        return LetterCase::Upper;
    if ((c >= 0xDF && c <= 0xFF && c != 0xF7) || (c >= 0x3AC && c <= 0x3CE) || (c >= 0x430 && c <= 0x45F))
        return LetterCase::Lower;
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? LetterCase::Upper : c >= 'a' && c <= 'z' ? LetterCase::Lower : LetterCase::None;
    return LetterCase::None;
}

// Latin letters outside ASCII, in lower case, that each family of languages
// writes: text in a Latin page reads as one of them, the same bytes under
// the wrong page as letters no one language has together.
constexpr std::string_view kAlphabets[] = {
    "\u00E4\u00F6\u00FC\u00DF\u00E9",                                                          // German
    "\u00E0\u00E2\u00E6\u00E7\u00E8\u00E9\u00EA\u00EB\u00EE\u00EF\u00F4\u0153\u00F9\u00FB\u00FC\u00FF",  // French
    "\u00E1\u00E9\u00ED\u00F1\u00F3\u00FA\u00FC\u00E0\u00E8\u00F2\u00E7\u00EF",               // Spanish, Catalan
    "\u00E0\u00E1\u00E2\u00E3\u00E7\u00E9\u00EA\u00ED\u00F3\u00F4\u00F5\u00FA",               // Portuguese
    "\u00E0\u00E8\u00E9\u00EC\u00ED\u00EE\u00F2\u00F3\u00F9",                                   // Italian
    "\u00E9\u00EB\u00EF\u00F3\u00F6\u00FC\u00E8",                                               // Dutch
    "\u00E6\u00F8\u00E5\u00E9\u00F3",                                                           // Danish, Norwegian
    "\u00E5\u00E4\u00F6\u00E9\u0161\u017E",                                                     // Swedish, Finnish
    "\u00E1\u00F0\u00E9\u00ED\u00F3\u00FA\u00FD\u00FE\u00E6\u00F6",                             // Icelandic
    "\u00E1\u010D\u010F\u00E9\u011B\u00ED\u0148\u00F3\u0159\u0161\u0165\u00FA\u016F\u00FD\u017E",  // Czech
    "\u00E1\u00E4\u010D\u010F\u00E9\u00ED\u013A\u013E\u0148\u00F3\u00F4\u0155\u0161\u0165\u00FA\u00FD\u017E",  // Slovak
    "\u0105\u0107\u0119\u0142\u0144\u00F3\u015B\u017A\u017C",                                   // Polish
    "\u00E1\u00E9\u00ED\u00F3\u00F6\u0151\u00FA\u00FC\u0171",                                   // Hungarian
    "\u010D\u0107\u0111\u0161\u017E",                                                           // Croatian, Slovenian
    "\u0103\u00E2\u00EE\u0219\u021B\u015F\u0163",                                               // Romanian
    "\u00E7\u00EB",                                                                             // Albanian
    "\u0105\u010D\u0119\u0117\u012F\u0161\u0173\u016B\u017E",                                   // Lithuanian
    "\u0101\u010D\u0113\u0123\u012B\u0137\u013C\u0146\u0161\u016B\u017E",                       // Latvian
    "\u00E4\u00F6\u00F5\u00FC\u0161\u017E",                                                     // Estonian
    "\u00E7\u011F\u0131\u00F6\u015F\u00FC\u00E2\u00EE\u00FB",                                   // Turkish
    // Vietnamese as 1258 writes it: other letters take their tone as a mark apart.
    "\u00E0\u00E1\u00E2\u0103\u00E8\u00E9\u00EA\u00ED\u00F3\u00F4\u01A1\u00F9\u00FA\u01B0\u0111",
};

// Latin-1 and Latin Extended-A letters in lower case; others as they are.
std::uint32_t LowerLatin(std::uint32_t c)
{
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    if (c == 0x130)
        return 0x131;  // Turkish capital I with dot, as the dotless small i's alphabet
    const bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
        return c + 1;
    if (c == 0x178)
        return 0xFF;
    if (c == 0x218 || c == 0x21A)
        return c + 1;
    return c;
}

// The Latin letters a decoding shows, as few as one alphabet holds all.
class LatinLetters {
public:
    void Add(std::uint32_t c)
    {
        c = LowerLatin(c);
        if (c >= 0xC0 && c < 0xC0 + kRange)
            seen_[c - 0xC0] = true;
    }
    // Letters that the alphabet holding most of them lacks.
    int Strangers() const
    {
        int fewest = static_cast<int>(std::count(seen_.begin(), seen_.end(), true));
        if (fewest == 0)
            return 0;
        for (const std::string_view alphabet : kAlphabets) {
            int missing = 0;
            for (std::size_t i = 0; i < kRange; ++i) {
                if (seen_[i] && !Holds(alphabet, static_cast<std::uint32_t>(0xC0 + i)))
                    ++missing;
            }
            fewest = std::min(fewest, missing);
        }
        return fewest;
    }

private:
    static constexpr std::size_t kRange = 0x220 - 0xC0;
    std::array<bool, kRange> seen_{};
};

// The cost of a decoding, character by character: nothing for a letter,
// more for a symbol, most for a character the page does not have; a word
// that changes script, or from small letters to a capital outside ASCII,
// is a wrong page.
class Implausibility {
public:
    void Add(std::uint32_t c)
    {
        if (c < 0x80 && !IsAsciiLetter(c)) {
            EndWord();
            return;
        }
        if (const Script marked = MarkedScript(c); marked != Script::None) {
            // A mark on no letter, on another script's letter, or on a Thai
            // vowel that comes before its consonant.
            const bool onLetter = previous_ == Script::Latin || previous_ == Script::Greek ||
                                  previous_ == Script::Cyrillic;
            const bool onItsLetter = marked == Script::Latin ? onLetter : previous_ == marked;
            if (!onItsLetter || IsThaiLeadingVowel(previousLetter_))
                total_ += 1;
            thaiConsonants_ = 0;
            return;
        }
        const Script script = ScriptOf(c);
        if (c >= 0x80) {
            if (c == kReplacementCharacter)
                total_ += 4;
            else if (c >= 0x2500 && c <= 0x25FF)  // box drawing and blocks: no report draws
                total_ += 2;
            else if ((script == Script::None && c != 0xA0 && !IsEastAsianPunctuation(c)) || IsHalfWidthKana(c))
                total_ += 1;
        }
        if (script == Script::None) {
            EndWord();
            return;
        }
        if (previous_ != Script::None && script != previous_)
            total_ += 2;
        const LetterCase letterCase = CaseOf(c);
        if (c >= 0x80 && previous_ == script) {
            // "abC" and "ABc" outside ASCII: letters of another script's page.
            if (letterCase == LetterCase::Upper && previousCase_ == LetterCase::Lower)
                total_ += 1;
            if (letterCase == LetterCase::Lower && capitals_ >= 2)
                total_ += 1;
        }
        if (previousLetter_ == 0x3C2 && previous_ == Script::Greek)
            total_ += 1;  // the final sigma ends a word
        if (script == Script::Cyrillic) {
            // The short i follows a vowel; Hebrew's yod read as it follows anything.
            if (c == 0x439 && previousCyrillic_ && !IsCyrillicVowel(previousLetter_))
                total_ += 1;
            vowels_ += IsCyrillicVowel(c) ? 1 : 0;
            ++cyrillicLetters_;
            lowerCyrillic_ |= letterCase == LetterCase::Lower;
        }
        if (script == Script::Latin && c >= 0x80)
            latin_.Add(c);
        // Thai writes a vowel or a mark within a few consonants; the bytes of
        // Korean or Chinese text read as Thai run on without.
        thaiConsonants_ = IsThaiConsonant(c) ? thaiConsonants_ + 1 : 0;
        if (thaiConsonants_ == 4)
            total_ += 1;
        capitals_ = letterCase == LetterCase::Upper ? capitals_ + 1 : 0;
        previousCyrillic_ = script == Script::Cyrillic;
        previousLetter_ = c;
        previous_ = script;
        previousCase_ = letterCase;
    }
    int Total()
    {
        EndWord();
        return total_ + 2 * latin_.Strangers();
    }

private:
    static bool IsAsciiLetter(std::uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

    void EndWord()
    {
        // A word of small Cyrillic letters without a vowel is no word.
        if (cyrillicLetters_ >= 2 && vowels_ == 0 && lowerCyrillic_)
            total_ += 1;
        previous_ = Script::None;
        previousCase_ = LetterCase::None;
        capitals_ = 0;
        previousCyrillic_ = false;
        cyrillicLetters_ = 0;
        vowels_ = 0;
        lowerCyrillic_ = false;
        thaiConsonants_ = 0;
    }

    int total_ = 0;
    Script previous_ = Script::None;
    LetterCase previousCase_ = LetterCase::None;
    std::uint32_t previousLetter_ = 0;
    int capitals_ = 0;
    bool previousCyrillic_ = false;
    int cyrillicLetters_ = 0;
    int vowels_ = 0;
    bool lowerCyrillic_ = false;
    int thaiConsonants_ = 0;
    LatinLetters latin_;
};

// Where each double-byte page keeps its everyday characters, by lead byte:
// its punctuation, and its syllables or the level of its most frequent
// ideographs. Text of another such page reads as their rarer levels.
struct EverydayLeads {
    CodePage page;
    unsigned char punctuationFrom, punctuationTo;
    unsigned char from, to;
};
constexpr EverydayLeads kEverydayLeads[] = {
    {CodePage::Windows932, 0x81, 0x83, 0x88, 0x98},  // symbols and kana; level 1 kanji
    {CodePage::Windows949, 0xA1, 0xA3, 0xB0, 0xC8},  // symbols; Hangul
    {CodePage::Windows950, 0xA1, 0xA3, 0xA4, 0xC6},  // symbols; frequent hanzi
    {CodePage::Windows936, 0xA1, 0xA3, 0xB0, 0xD7},  // symbols; level 1 hanzi (trail bytes from 0xA1)
};

int RareCharacters(CodePage page, std::string_view bytes)
{
    const auto* leads = std::find_if(std::begin(kEverydayLeads), std::end(kEverydayLeads),
                                     [page](const EverydayLeads& row) { return row.page == page; });
    int rare = 0;
    for (std::size_t at = 0; at + 1 < bytes.size(); ++at) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const auto trail = static_cast<unsigned char>(bytes[at + 1]);
        if (!LeadByte(page, lead) || trail < kLowestTrail)
            continue;
        const bool everyday = (lead >= leads->punctuationFrom && lead <= leads->punctuationTo) ||
                              (lead >= leads->from && lead <= leads->to &&
                               (page != CodePage::Windows936 || trail >= 0xA1));
        rare += everyday ? 0 : 1;
        ++at;
    }
    return rare;
}

int ImplausibilityOf(CodePage page, std::string_view bytes)
{
    Implausibility score;
    if (RowOf(page).doubleByte) {
        for (const std::uint32_t c : DecodeDoubleBytes(page, bytes))
            score.Add(c);
        return score.Total() + RareCharacters(page, bytes);
    }
    for (const char byte : bytes)
        score.Add(CodePoint(page, static_cast<unsigned char>(byte)));
    return score.Total();
}

}  // namespace

CodePage MostPlausibleCodePage(std::string_view bytes)
{
    CodePage best = kCodePages[0].page;
    int bestCost = ImplausibilityOf(best, bytes);
    for (const CodePageRow& row : kCodePages) {
        if (bestCost == 0)
            break;  // nothing reads better than text without a fault
        if (row.page == best || !CodePageAvailable(row.page))
            continue;
        const int cost = ImplausibilityOf(row.page, bytes);
        if (cost < bestCost) {
            best = row.page;
            bestCost = cost;
        }
    }
    return best;
}

}  // namespace triage
