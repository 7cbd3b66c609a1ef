#include "core/support/json_read.h"

#include "core/support/json_read_parser.h"
#include "core/support/strict_json_builder.h"

#include <algorithm>
#include <cmath>

namespace JsonRead {

namespace {

[[noreturn]] void missing(const std::string &key)
{
    throw Error("No value for the key \"" + key + "\".");
}

[[noreturn]] void mismatch(const std::string &what, const char *expected)
{
    throw Error("The value of \"" + what + "\" is not " + expected + ".");
}

const Json &require(const Json &object, const std::string &key)
{
    const Json *value = find(object, key);
    if (!value)
        missing(key);
    return *value;
}

} // namespace

const Json &requireObject(const Json &value, const std::string &what)
{
    if (!value.is_object())
        mismatch(what, "an object");
    return value;
}

const Json *find(const Json &object, const std::string &key)
{
    if (!object.is_object())
        return nullptr;
    auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
}

std::string asString(const Json &value, const std::string &what)
{
    if (!value.is_string())
        mismatch(what, "a string");
    return value.get<std::string>();
}

double asNumber(const Json &value, const std::string &what)
{
    if (!value.is_number())
        mismatch(what, "a number");
    return value.get<double>();
}

int64_t asInteger(const Json &value, const std::string &what)
{
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
            mismatch(what, "a 64-bit integer");
        return value.get<int64_t>();
    }
    if (value.is_number_float()) {
        // A float that is exactly a representable integer (2.0) is accepted; 1.5 and 1e30 are not.
        const double d = value.get<double>();
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return static_cast<int64_t>(d);
    }
    mismatch(what, "an integer");
}

bool asBoolean(const Json &value, const std::string &what)
{
    if (!value.is_boolean())
        mismatch(what, "a boolean");
    return value.get<bool>();
}

std::string string(const Json &object, const std::string &key) { return asString(require(object, key), key); }
double number(const Json &object, const std::string &key) { return asNumber(require(object, key), key); }
int64_t integer(const Json &object, const std::string &key) { return asInteger(require(object, key), key); }
bool boolean(const Json &object, const std::string &key) { return asBoolean(require(object, key), key); }

const Json &array(const Json &object, const std::string &key)
{
    const Json &value = require(object, key);
    if (!value.is_array())
        mismatch(key, "an array");
    return value;
}

const Json &object(const Json &object, const std::string &key)
{
    return requireObject(require(object, key), key);
}

std::vector<std::string> strings(const Json &object, const std::string &key)
{
    std::vector<std::string> result;
    for (const Json &item : array(object, key))
        result.push_back(asString(item, key));
    return result;
}

std::optional<std::string> optionalString(const Json &object, const std::string &key)
{
    const Json *value = find(object, key);
    return value ? std::optional(asString(*value, key)) : std::nullopt;
}

std::string takeString(Json &object, const std::string &key)
{
    if (!find(object, key))
        missing(key);
    return *takeOptionalString(object, key);
}

std::optional<std::string> takeOptionalString(Json &object, const std::string &key)
{
    const Json *value = find(object, key);
    if (!value)
        return std::nullopt;
    if (!value->is_string())
        mismatch(key, "a string");
    return std::move(object[key].get_ref<std::string &>());
}

std::optional<double> optionalNumber(const Json &object, const std::string &key)
{
    const Json *value = find(object, key);
    return value ? std::optional(asNumber(*value, key)) : std::nullopt;
}

std::optional<int64_t> optionalInteger(const Json &object, const std::string &key)
{
    const Json *value = find(object, key);
    return value ? std::optional(asInteger(*value, key)) : std::nullopt;
}

std::optional<bool> optionalBoolean(const Json &object, const std::string &key)
{
    const Json *value = find(object, key);
    return value ? std::optional(asBoolean(*value, key)) : std::nullopt;
}

void refuseNul(std::string_view text)
{
    if (const size_t at = text.find('\0'); at != std::string_view::npos)
        throw malformedAt(at + 1, text.size());
}

Error malformedAt(std::size_t byte, std::size_t end)
{
    return Error("The data is not valid JSON (at byte " + std::to_string(std::min(byte, std::max<std::size_t>(end, 1))) +
                 ").");
}

Json parsePart(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        throw malformedAt(1, text.size());
    return parse(text);
}

Error repeatedKey(std::string_view key, std::size_t quote)
{
    // A key is any text: a long one is cut, at the start of a UTF-8 sequence.
    constexpr std::size_t shownBytes = 60;
    std::string shown(key.substr(0, shownBytes));
    if (key.size() > shownBytes) {
        while (!shown.empty() && (static_cast<unsigned char>(key[shown.size()]) & 0xC0) == 0x80)
            shown.pop_back();
        shown += "\u2026";
    }
    return Error("The key " + Json(shown).dump() + " appears twice in one object (at byte " +
                 std::to_string(quote + 1) + ").");
}

Json parse(std::string_view text)
{
    refuseNul(text);
    StrictBuilder builder;
    const ParseOutcome outcome = parseText(builder, ParseInput{.data = text.data(), .available = text.size()});
    if (outcome.outOfRange)
        throw Error("The data holds a number that is out of range.");
    if (outcome.failure)
        throw malformedAt(*outcome.failure, text.size());
    if (builder.repeated)
        throw *builder.repeated;
    return std::move(builder.root);
}

} // namespace JsonRead
