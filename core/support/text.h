#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers shared by the whole core. All strings are UTF-8.
namespace Text {

// The words of a text split at white space, empty words dropped.
std::vector<std::string> words(std::string_view text);

// Removes leading and trailing white space and newlines (the Unicode White_Space set:
// includes NBSP, U+0085, U+2028 and U+2029).
std::string trimmed(std::string_view text);
// True when nothing is left after trimming.
bool isBlank(std::string_view text);
// True for one Unicode white-space or newline code point.
bool isWhitespace(char32_t c);

// The file-browser order for names: case-insensitive, digit runs compared by value,
// current locale. Returns <0, 0 or >0.
int localizedStandardCompare(std::string_view a, std::string_view b);
// A byte string whose plain order is localizedStandardCompare's order; for sorting large lists.
std::string localizedStandardKey(std::string_view text);
// Case-insensitive, locale-aware substring test; an empty needle is never contained.
bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle);
// True when the two texts are equal ignoring letter case (full case folding).
bool caseInsensitiveEquals(std::string_view a, std::string_view b);

// Full Unicode lower-casing (ICU, root locale).
std::string lowercased(std::string_view text);
// Full Unicode case folding, for case-insensitive keys.
std::string caseFolded(std::string_view text);

// The text in Unicode normalization form C. Ids and id references are brought to this form
// wherever they enter (files, imports, the entry paths), so canonically equivalent spellings
// ("Caf\u00e9" precomposed or with a combining accent) are one id and maps keyed by id can
// compare bytes. ASCII text is returned as it is without ICU.
std::string canonicalForm(std::string_view text);

// Plain code-point order, used for ids. UTF-8 byte order is code-point order.
inline bool codePointLess(std::string_view a, std::string_view b) { return a < b; }

// Decodes UTF-8 into code points; invalid bytes become U+FFFD.
std::u32string toUtf32(std::string_view text);
std::string toUtf8(std::u32string_view text);
// Number of user-perceived characters (extended grapheme clusters): a letter with its
// combining marks counts once, and so does CR LF.
size_t characterCount(std::string_view text);

} // namespace Text
