#include "core/support/text_characters.h"

#include "core/support/text.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace Text {

namespace {

struct CodePoint {
    char32_t value;
    size_t end;
};

CodePoint decode(std::string_view text, size_t offset)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(text.data());
    if (bytes[offset] < 0x80)
        return {bytes[offset], offset + 1};
    // A code point takes at most four bytes; the window keeps the index math in 32 bits.
    const auto window = static_cast<int32_t>(std::min<size_t>(text.size() - offset, 4));
    UChar32 c = 0;
    int32_t i = 0;
    U8_NEXT(bytes + offset, i, window, c);
    return {c < 0 ? U'\uFFFD' : static_cast<char32_t>(c), offset + static_cast<size_t>(i)};
}

int32_t breakProperty(char32_t c)
{
    // ASCII is never a mark or a prepended character; only its controls break specially.
    if (c < 0x80) {
        if (c == U'\r')
            return U_GCB_CR;
        if (c == U'\n')
            return U_GCB_LF;
        return (c < 0x20 || c == 0x7F) ? U_GCB_CONTROL : U_GCB_OTHER;
    }
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
}

bool isControl(int32_t property)
{
    return property == U_GCB_CONTROL || property == U_GCB_CR || property == U_GCB_LF;
}

bool extendsCharacter(int32_t property)
{
    return property == U_GCB_EXTEND || property == U_GCB_ZWJ || property == U_GCB_SPACING_MARK;
}

} // namespace

TextCharacter characterAt(std::string_view text, size_t offset)
{
    CodePoint current = decode(text, offset);
    TextCharacter result{.begin = offset, .end = current.end, .first = current.value};
    int32_t property = breakProperty(current.value);
    if (property == U_GCB_CR) {
        if (result.end < text.size() && text[result.end] == '\n') {
            ++result.end;
            result.singleCodePoint = false;
        }
        return result;
    }
    if (isControl(property))
        return result;

    // A prepended mark joins the next character unless that one is a control.
    while (property == U_GCB_PREPEND && result.end < text.size()) {
        const CodePoint next = decode(text, result.end);
        const int32_t nextProperty = breakProperty(next.value);
        if (isControl(nextProperty))
            return result;
        result.end = next.end;
        result.singleCodePoint = false;
        property = nextProperty;
    }
    while (result.end < text.size()) {
        const CodePoint next = decode(text, result.end);
        if (!extendsCharacter(breakProperty(next.value)))
            break;
        result.end = next.end;
        result.singleCodePoint = false;
    }
    return result;
}

bool isWellFormedUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const CodePoint c = decode(text, i);
        // U+FFFD stands for ill-formed bytes; the real one is three bytes long.
        if (c.value == U'\uFFFD' && text.compare(i, 3, "\xEF\xBF\xBD") != 0)
            return false;
        i = c.end;
    }
    return true;
}

std::string wellFormedUtf8(std::string_view text)
{
    if (isWellFormedUtf8(text))
        return std::string(text);
    return toUtf8(toUtf32(text));
}

} // namespace Text
