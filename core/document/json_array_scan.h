#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

class ArrivingBytes;

// Arrays in a JSON text found by following strings and brackets only, so that their elements
// can be read apart, on several threads. A fast path only: when the text is not plain enough
// to be sure, nothing is found, and the whole text is then read as usual.
namespace JsonArrayScan {

// Where an array lies in a JSON text, and its elements' texts.
struct ArraySpans {
    std::size_t open = 0;  // the '['
    std::size_t close = 0; // the ']'
    std::vector<std::string_view> elements;
};

// Called with each element of an array found as soon as it ends, and with nothing when the
// array ends; `path` is the index of the path that names it.
using ElementFound = std::function<void(std::size_t path, std::optional<std::string_view> element)>;

// The arrays that `paths` name in `text`, one JSON object: the value of its key path[0], or
// of key path[1] inside that object, and so on; paths start with different keys. With
// `arriving`, the text is followed as its bytes arrive, from `text.data()`. Nothing inside
// the arrays' elements is checked. Nothing when the text is not plain enough to be sure: not
// one object, a key along a path spelt with an escape or given twice, a value of the wrong
// kind, an empty element, an unterminated string, a NUL byte anywhere up to where the scan
// ends (it stops at the first); an array that is not there is nothing in its place. Linear
// in the text. `malformed`, when given, is set when the text is no JSON text, sure to be
// refused: a NUL byte, an end inside a string or the object, a key along a path given twice,
// a bracket of the wrong kind where the scan follows the structure, an empty element (the
// scan then finds nothing), or anything but white space after the object (the scan stops at
// that byte, and what it found stands). Throws ArrivingBytes::Abandoned.
std::optional<std::vector<std::optional<ArraySpans>>> findArrays(std::string_view text, ArrivingBytes *arriving,
                                                                 std::vector<std::vector<std::string_view>> paths,
                                                                 const ElementFound &found, bool *malformed = nullptr);

// The one array that `path` names in the whole `text`; nothing when the text is malformed.
std::optional<ArraySpans> findArray(std::string_view text, std::vector<std::string_view> path);

} // namespace JsonArrayScan
