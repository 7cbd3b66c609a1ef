#pragma once

// Our JSON parser against the JSON library's SAX parser as the oracle, over the same bytes:
// shared by the parsing tests and the fuzz harness, so that both hold it to one standard.
#include "core/support/json_read.h"
#include "core/support/json_read_parser.h"
#include "core/support/strict_json_builder.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace JsonOracle {

using Json = nlohmann::json;

// What a parse came to: the byte it failed at (0: none), or the key it found repeated, or
// the value it read.
struct Result {
    std::size_t failure = 0;
    bool outOfRange = false;
    bool atNul = false; // a NUL byte where the text should have ended
    std::optional<std::string> repeatedKey; // as the message shows it: a long key is cut; "" is a key
    std::string value;       // dumped

    bool operator==(const Result &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const Result &result)
{
    return out << "failure " << result.failure << (result.outOfRange ? " (out of range)" : "")
               << (result.atNul ? " (at a NUL)" : "") << ", repeated "
               << (result.repeatedKey ? Json(*result.repeatedKey).dump() : "none") << ", value " << result.value;
}

// The key a repeated-key message shows.
inline std::string shownKey(const JsonRead::Error &repeated)
{
    const std::string message = repeated.what();
    const std::size_t open = message.find('"');
    return Json::parse(message.substr(open, message.find(" appears") - open)).get<std::string>();
}

// The library's parser, stopped at a repeated key as our builder is, over the text up to its
// first NUL (as the document reader fed it); a NUL after a whole value fails at the NUL.
class LibrarySax : public nlohmann::json_sax<Json> {
public:
    Result result;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t &) override { return true; }
    bool string(string_t &) override { return true; }
    bool binary(binary_t &) override { return true; }
    bool start_object(std::size_t) override
    {
        m_keys.emplace_back();
        return true;
    }
    bool start_array(std::size_t) override
    {
        m_keys.emplace_back();
        return true;
    }
    bool end_object() override
    {
        m_keys.pop_back();
        return true;
    }
    bool end_array() override
    {
        m_keys.pop_back();
        return true;
    }
    bool key(string_t &key) override
    {
        if (m_keys.back().insert(key).second)
            return true;
        result.repeatedKey = shownKey(JsonRead::repeatedKey(key, 0));
        return false;
    }
    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &error) override
    {
        result.failure = position;
        result.outOfRange = dynamic_cast<const nlohmann::detail::out_of_range *>(&error) != nullptr;
        return false;
    }

private:
    std::vector<std::set<std::string>> m_keys;
};

inline Result library(const std::string &text)
{
    const std::size_t nul = text.find('\0');
    const std::string head = text.substr(0, nul);
    LibrarySax sax;
    Json::sax_parse(head, &sax);
    if (sax.result.failure == 0 && !sax.result.repeatedKey) {
        if (nul != std::string::npos) {
            sax.result.failure = nul + 1;
            sax.result.atNul = true;
        } else {
            sax.result.value = Json::parse(head).dump();
        }
    }
    return sax.result;
}

// Our parser over `input` with `handler`, a StrictBuilder or a KeyChecker.
template <typename Handler>
Result ours(Handler &handler, const JsonRead::ParseInput &input)
{
    const JsonRead::ParseOutcome outcome = JsonRead::parseText(handler, input);
    Result result{.failure = outcome.failure.value_or(0), .outOfRange = outcome.outOfRange, .atNul = outcome.atNul};
    if (handler.repeated)
        result.repeatedKey = shownKey(*handler.repeated);
    else if constexpr (Handler::keepsValues)
        result.value = outcome.failure ? "" : handler.root.dump();
    return result;
}

template <typename Handler>
Result ours(const std::string &text)
{
    Handler handler;
    return ours(handler, {.data = text.data(), .available = text.size()});
}

// Our parser over a text that arrives in pieces: `first` bytes at the start, then `step()`
// bytes more beyond the byte the parser waits for. A byte that has not arrived yet reads
// as another one, so that a parser that looks past what has arrived reads another text.
template <typename Handler>
Result arriving(const std::string &text, std::size_t first, const std::function<std::size_t()> &step)
{
    std::string bytes = text;
    std::size_t arrived = std::min(first, text.size());
    for (std::size_t i = arrived; i < bytes.size(); ++i)
        bytes[i] = char(bytes[i] ^ 0x5A);
    Handler handler;
    return ours(handler, {.data = bytes.data(), .available = arrived, .more = [&](std::size_t offset) {
                              const std::size_t next = std::min(text.size(), std::max(arrived, offset + 1 + step()));
                              std::copy(text.begin() + std::ptrdiff_t(arrived), text.begin() + std::ptrdiff_t(next),
                                        bytes.begin() + std::ptrdiff_t(arrived));
                              arrived = next;
                              return arrived;
                          }});
}

// How our parser read `text` differently from the library, in every way the readers call it:
// with the builder and with the checker, whole and arriving as `first` and `step` say
// (nothing: not arriving). Empty when all read it alike.
inline std::string difference(const std::string &text, std::size_t first = 0,
                              const std::function<std::size_t()> &step = nullptr)
{
    const Result expected = library(text);
    Result checked = ours<JsonRead::KeyChecker>(text);
    checked.value = expected.value; // the checker keeps no value
    std::vector<std::pair<const char *, Result>> outcomes{{"builder", ours<JsonRead::StrictBuilder>(text)},
                                                          {"checker", checked}};
    if (step) {
        outcomes.emplace_back("arriving builder", arriving<JsonRead::StrictBuilder>(text, first, step));
        Result arrivingChecked = arriving<JsonRead::KeyChecker>(text, first, step);
        arrivingChecked.value = expected.value;
        outcomes.emplace_back("arriving checker", arrivingChecked);
    }
    std::ostringstream out;
    for (const auto &[who, result] : outcomes) {
        if (!(result == expected))
            out << "the " << who << ": " << result << "\n";
    }
    if (out.tellp() > 0)
        out << "the library: " << expected << "\n";
    return out.str();
}

} // namespace JsonOracle
