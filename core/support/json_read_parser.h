#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The strict JSON parser under every reader of JSON text. It keeps nothing of the text but
// the values it hands on: white space is passed over, a string is checked before it is
// copied, once, at its size, and a string, number or literal where none can stand is only
// checked. It fails where the parser of the JSON library fails, at the same byte (its
// messages name bytes, and files written before must keep giving the same ones).
namespace JsonRead {

// The bytes to parse. They lie at `data` and never change once there.
struct ParseInput {
    const char *data = nullptr;
    std::size_t available = 0; // bytes there when parsing starts
    // Waits for bytes beyond `offset` and gives how many are there; as many as before when
    // no more will come. Null when all bytes are there from the start.
    std::function<std::size_t(std::size_t offset)> more;
    // Arrays whose elements are read elsewhere, sorted: the '[' at `first` is read as an
    // empty array closed by the ']' at `second`.
    std::vector<std::pair<std::size_t, std::size_t>> skipped;
};

struct ParseOutcome {
    // The 1-based byte the text failed at, counted as the library counts: a text that ends
    // too early fails one byte past its end.
    std::optional<std::size_t> failure;
    bool outOfRange = false; // the failure is a number too large for a double ("1e400")
    bool atNul = false;      // the failure is a NUL byte where the text should have ended
};

// Parses one JSON value followed only by white space, handing each part to `handler` in
// order as the library's SAX parser does (null(), boolean(), number_integer(),
// number_unsigned(), number_float(), string(), start_object(), key(), end_object(),
// start_array(), end_array()), except that key() is also given the offset of the key's
// opening quote. A handler call that returns false stops parsing, with no failure. Linear
// in the text; holds no more than the value being handed on. Handlers: StrictBuilder and
// KeyChecker (strict_json_builder.h).
template <typename Handler>
ParseOutcome parseText(Handler &handler, const ParseInput &input);

// The first offset from `from` on, below `end`, whose byte is not JSON white space, or `end`.
// Long runs (a file padded with spaces) go 16 bytes at a time.
std::size_t skipWhiteSpace(const char *data, std::size_t from, std::size_t end);

} // namespace JsonRead
