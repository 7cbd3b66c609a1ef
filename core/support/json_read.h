#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Strict, typed reading of decoded JSON. A key holding null counts as absent, unknown keys
// are ignored, and a value of the wrong type fails: an integer field given 1.5, 1e30 or
// true fails, a boolean field given a number fails. Parsing refuses an object that repeats a
// key, which the parser alone would read as the last of its values.
namespace JsonRead {

using Json = nlohmann::json;

// A failed read; the message names the key and what was wrong.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const Json &requireObject(const Json &value, const std::string &what);
// The value at `key`, or nullptr when the key is missing or null.
const Json *find(const Json &object, const std::string &key);

std::string string(const Json &object, const std::string &key);
double number(const Json &object, const std::string &key);
int64_t integer(const Json &object, const std::string &key);
bool boolean(const Json &object, const std::string &key);
const Json &array(const Json &object, const std::string &key);
const Json &object(const Json &object, const std::string &key);
std::vector<std::string> strings(const Json &object, const std::string &key);

std::optional<std::string> optionalString(const Json &object, const std::string &key);
// string() and optionalString(), moving the text out of `object`.
std::string takeString(Json &object, const std::string &key);
std::optional<std::string> takeOptionalString(Json &object, const std::string &key);
std::optional<double> optionalNumber(const Json &object, const std::string &key);
std::optional<int64_t> optionalInteger(const Json &object, const std::string &key);
std::optional<bool> optionalBoolean(const Json &object, const std::string &key);

// Conversions of one value, for array elements; `what` names it in the error.
std::string asString(const Json &value, const std::string &what);
double asNumber(const Json &value, const std::string &what);
int64_t asInteger(const Json &value, const std::string &what);
bool asBoolean(const Json &value, const std::string &what);

// Parses text; malformed JSON throws Error with the parser's position, an object that repeats
// a key with the key and the byte where it is repeated.
Json parse(std::string_view text);

// The message for an object that repeats `key`, whose second opening quote is at offset
// `quote` of the text.
Error repeatedKey(std::string_view key, std::size_t quote);

// Throws the parser's error for a raw NUL byte, which valid JSON never holds, wherever it
// lies: parse() does this first, whatever comes before the NUL.
void refuseNul(std::string_view text);

// The message for malformed JSON found by the parser at 1-based byte `byte` of a text whose
// end is `end` bytes in. The parser counts the end of the text as one more byte; a text that
// stops short is reported at its last byte instead, never past it.
Error malformedAt(std::size_t byte, std::size_t end);

// Parses a part cut out of a larger text, as parse() would read it there: also a byte-order
// mark at its start is refused, which the parser skips only at the start of a whole text.
// The error's byte is the part's own, so callers that report errors read the whole text.
Json parsePart(std::string_view text);

} // namespace JsonRead
