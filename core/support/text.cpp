#include "core/support/text.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace Text {

namespace {

char32_t decodeAt(std::string_view text, size_t &index)
{
    UChar32 c = 0;
    int32_t i = static_cast<int32_t>(index);
    U8_NEXT(reinterpret_cast<const uint8_t *>(text.data()), i, static_cast<int32_t>(text.size()), c);
    index = static_cast<size_t>(i);
    return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

icu::UnicodeString fromUtf8(std::string_view text)
{
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string utf8(const icu::UnicodeString &text)
{
    std::string out;
    text.toUTF8String(out);
    return out;
}

// The collator is costly to open; one per thread, since ICU collators are not thread-safe.
icu::Collator &standardCollator()
{
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // The C and POSIX locales give ICU's en_US_POSIX, whose collation puts every upper-case
        // letter before every lower-case one; the root collation is the neutral order there.
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getVariant()) == "POSIX")
            locale = icu::Locale::getRoot();
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !c) {
            status = U_ZERO_ERROR;
            c.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        c->setStrength(icu::Collator::SECONDARY);
        c->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        return c;
    }();
    return *collator;
}

} // namespace

bool isWhitespace(char32_t c)
{
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

std::string trimmed(std::string_view text)
{
    size_t begin = 0;
    while (begin < text.size()) {
        size_t next = begin;
        if (!isWhitespace(decodeAt(text, next)))
            break;
        begin = next;
    }
    size_t end = text.size();
    while (end > begin) {
        int32_t i = static_cast<int32_t>(end);
        UChar32 c = 0;
        U8_PREV(reinterpret_cast<const uint8_t *>(text.data()), static_cast<int32_t>(begin), i, c);
        if (c < 0 || !isWhitespace(static_cast<char32_t>(c)))
            break;
        end = static_cast<size_t>(i);
    }
    return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> result;
    size_t i = 0;
    size_t wordBegin = std::string_view::npos;
    while (i < text.size()) {
        const size_t at = i;
        if (isWhitespace(decodeAt(text, i))) {
            if (wordBegin != std::string_view::npos)
                result.emplace_back(text.substr(wordBegin, at - wordBegin));
            wordBegin = std::string_view::npos;
        } else if (wordBegin == std::string_view::npos) {
            wordBegin = at;
        }
    }
    if (wordBegin != std::string_view::npos)
        result.emplace_back(text.substr(wordBegin));
    return result;
}

bool isBlank(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        if (!isWhitespace(decodeAt(text, i)))
            return false;
    }
    return true;
}

int localizedStandardCompare(std::string_view a, std::string_view b)
{
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = standardCollator().compareUTF8(
        icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
        icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status))
        return a < b ? -1 : (a == b ? 0 : 1);
    return result == UCOL_LESS ? -1 : (result == UCOL_EQUAL ? 0 : 1);
}

namespace {

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

std::string collationKey(std::string_view text)
{
    const icu::UnicodeString source = fromUtf8(text);
    icu::Collator &collator = standardCollator();
    std::string key(64, '\0');
    int32_t length = collator.getSortKey(source, reinterpret_cast<uint8_t *>(key.data()),
                                         static_cast<int32_t>(key.size()));
    if (length > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<size_t>(length));
        length = collator.getSortKey(source, reinterpret_cast<uint8_t *>(key.data()), length);
    }
    // The key ends with a terminating zero byte that plain comparison does not need.
    key.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    return key;
}

} // namespace

std::string localizedStandardKey(std::string_view text)
{
    // People are sorted again after every edit, mostly by the same names: each thread keeps
    // the keys it made, up to a bound that a whole district's names fit in.
    constexpr size_t kept = 200'000;
    thread_local std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> keys;
    if (const auto found = keys.find(text); found != keys.end())
        return found->second;
    if (keys.size() >= kept)
        keys.clear();
    return keys.emplace(std::string(text), collationKey(text)).first->second;
}

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle)
{
    if (needle.empty())
        return false;
    const std::string h = caseFolded(haystack);
    const std::string n = caseFolded(needle);
    return h.find(n) != std::string::npos;
}

bool caseInsensitiveEquals(std::string_view a, std::string_view b)
{
    return caseFolded(a) == caseFolded(b);
}

std::string lowercased(std::string_view text)
{
    icu::UnicodeString s = fromUtf8(text);
    s.toLower(icu::Locale::getRoot());
    return utf8(s);
}

std::string caseFolded(std::string_view text)
{
    icu::UnicodeString s = fromUtf8(text);
    s.foldCase();
    return utf8(s);
}

std::u32string toUtf32(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size())
        out.push_back(decodeAt(text, i));
    return out;
}

std::string toUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        uint8_t buffer[4];
        int32_t length = 0;
        UBool error = false;
        U8_APPEND(buffer, length, 4, static_cast<UChar32>(c), error);
        if (error) {
            out += "\xEF\xBF\xBD";
            continue;
        }
        out.append(reinterpret_cast<const char *>(buffer), static_cast<size_t>(length));
    }
    return out;
}

std::string canonicalForm(std::string_view text)
{
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return std::string(text);
    const icu::UnicodeString source = fromUtf8(text);
    if (nfc->isNormalized(source, status) && U_SUCCESS(status))
        return std::string(text);
    status = U_ZERO_ERROR;
    const icu::UnicodeString normalized = nfc->normalize(source, status);
    return U_FAILURE(status) ? std::string(text) : utf8(normalized);
}

size_t characterCount(std::string_view text)
{
    const bool plainASCII = std::all_of(text.begin(), text.end(), [](char c) { return c > 0 && c < 0x7F && c != '\r'; });
    if (plainASCII)
        return text.size();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
        return toUtf32(text).size();
    const icu::UnicodeString source = fromUtf8(text);
    characters->setText(source);
    size_t count = 0;
    characters->first();
    while (characters->next() != icu::BreakIterator::DONE)
        ++count;
    return count;
}

} // namespace Text
