#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Walking UTF-8 text by user-perceived characters, for readers whose separators must not
// split a character: a comma followed by a combining accent is a different character from
// a comma, and a carriage return followed by a line feed is one character.
namespace Text {

struct TextCharacter {
    size_t begin = 0;
    size_t end = 0;          // one past the last byte
    char32_t first = 0;      // the first code point; U+FFFD for an ill-formed byte sequence
    bool singleCodePoint = true;

    // True when the character is exactly the code point `c`.
    bool is(char32_t c) const { return singleCodePoint && first == c; }
    bool isCarriageReturnLineFeed() const { return first == U'\r' && !singleCodePoint; }
};

// The character that starts at byte `offset` (< text.size()). Follows the grapheme cluster
// rules that can join a separator to its neighbours (CR LF, extending and spacing marks,
// zero width joiner, prepended concatenation marks); other joins (Hangul syllables, emoji
// sequences, flags) only ever join ordinary letters and are left out. Constant time per
// code point.
TextCharacter characterAt(std::string_view text, size_t offset);

// True when the bytes are well-formed UTF-8.
bool isWellFormedUtf8(std::string_view text);
// The text with each ill-formed byte sequence replaced by U+FFFD.
std::string wellFormedUtf8(std::string_view text);

} // namespace Text
