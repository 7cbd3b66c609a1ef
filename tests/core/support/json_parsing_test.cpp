// Every reader of JSON text runs our own parser, which keeps nothing of the text it passes
// over. Its messages name the byte where a text fails, as the JSON library's parser placed
// it, and files must keep failing at the same bytes: the library's SAX parser is the oracle
// here, for hand-picked faults and for thousands of randomly broken texts.
#include "json_oracle.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using Json = nlohmann::json;
using JsonOracle::difference;

namespace {

// Bytes to break texts with: what the parser branches on.
const std::string breakers = std::string("{}[]:,\"\\/ \t\n\rutfnlrsea0123456789-+.eEbxD\x7f") +
                             "\x80\xBF\xC2\xC3\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF\x01\x1F" + std::string(1, '\0');

std::string randomValue(std::mt19937 &random, int depth)
{
    static const std::vector<std::string> scalars{
        "0", "-0", "12", "-7", "1.5", "-0.0", "1e5", "2E-3", "1.25e+300", "1e400", "-1e400", "1e-400",
        "18446744073709551615", "18446744073709551616", "-9223372036854775808", "-9223372036854775809",
        "123456789012345678901234567890", "0.000000000000000000001", "true", "false", "null", "\"\"",
        "\"plain\"", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"", "\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"",
        "\"\\u00e9\\u20AC\\ud83d\\ude00\\u0000\"", "\"a\\u0041b\""};
    switch (depth > 3 ? 0 : random() % 4) {
    case 0:
    case 1: return scalars[random() % scalars.size()];
    case 2: {
        std::string text = "{";
        for (int n = int(random() % 4); n > 0; --n)
            text += (text.size() > 1 ? ", " : "") + ("\"k" + std::to_string(random() % 3) + "\": ") +
                    randomValue(random, depth + 1);
        return text + "}";
    }
    default: {
        std::string text = "[";
        for (int n = int(random() % 4); n > 0; --n)
            text += (text.size() > 1 ? ",\n " : "") + randomValue(random, depth + 1);
        return text + "]";
    }
    }
}

std::string broken(std::string text, std::mt19937 &random)
{
    for (int edits = int(random() % 4); edits > 0 && !text.empty(); --edits) {
        const size_t at = random() % text.size();
        const char with = breakers[random() % breakers.size()];
        switch (random() % 5) {
        case 0: text[at] = with; break;
        case 1: text.insert(text.begin() + std::ptrdiff_t(at), with); break;
        case 2: text.erase(at, 1); break;
        case 3: text.erase(at, 1 + random() % 8); break; // a token, or a value after its key
        default: text.resize(at); break;
        }
    }
    return text;
}

} // namespace

// Faults of every kind the parser tells apart, each where the library placed it.
TEST(JsonParsing, FaultsFailAtTheLibrarysByte)
{
    const std::vector<std::string> texts{
        "", " ", "\xEF\xBB\xBF{}", "\xEF\xBB", "\xEF\xBBx{}", "\xEFx", "x", "tru", "trUe", "nul", "falsy", "[true false]",
        "{", "{\"a\"", "{\"a\":", "{\"a\":}", "{\"a\":]", "[[}", "{\"a\":1,\"b\":}", "{\"a\":1", "{\"a\":1,", "{\"a\" 1}", "{1:2}", "{\"a\":1,}", "{,}", "[", "[1", "[1,", "[1,]",
        "[,1]", "[1 2]", "[1}", "{\"a\":1]", "{} x", "{} \"x\"", "{} 123", "{} tru", "[] []", "-", "-x", "01", "1.", "1.e3",
        "1e", "1e+", "1E-x", "[1e400]", "[-1e400]", "[1e-400]", "{\"n\": 1.5e999999999999}", "[00]", "\"abc", "\"a\\", "\"a\\x\"",
        "\"\\u12\"", "\"\\u12G4\"", "\"\\ud800\"", "\"\\ud800\\u\"", "\"\\ud800x\"", "\"\\ud800\\ud800\"", "\"\\udc00\"",
        "\"\x01\"", "\"\t\"", "\"\x7f\"", "\"\x80\"", "\"\xC2\"", "\"\xC2\x7f\"", "\"\xE0\x80\x80\"", "\"\xED\xA0\x80\"",
        "\"\xF0\x80\x80\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xF5\"", "\"\xFF\"", "\"\xE2\x82\"", "{\"a\":1,\"a\":2}",
        "{\"\":1,\"\":2}", "{\"" + std::string(70, 'k') + "\":1,\"" + std::string(70, 'k') + "\":2}",
        "{\"a\":{\"b\":1},\"b\":[{\"b\":1,\"c\":2,\"b\":3}]}", std::string("{\"a\":1}\0x", 9), std::string("[1\0]", 4),
        std::string("\"a\0\"", 4), std::string("tr\0e", 4), std::string("\0", 1)};
    for (const std::string &text : texts)
        EXPECT_EQ(difference(text), "") << ::testing::PrintToString(text);
}

// Random values, whole and broken by random edits, read alike: the same value, or a failure
// at the same byte, or the same repeated key.
TEST(JsonParsing, RandomTextsReadAsTheLibraryReadsThem)
{
    std::mt19937 random(29);
    int failures = 0;
    for (int round = 0; round < 6000; ++round) {
        const std::string whole = randomValue(random, 0);
        const std::string text = round % 5 == 0 ? whole : broken(whole, random);
        failures += JsonOracle::library(text).failure ? 1 : 0;
        ASSERT_EQ(difference(text), "") << ::testing::PrintToString(text);
    }
    EXPECT_GT(failures, 2000); // most broken texts fail, somewhere
}

// A text that arrives in pieces reads as the whole text, whatever the pieces; and arrays
// whose elements are read elsewhere read as empty ones.
TEST(JsonParsing, ArrivingTextsAndSkippedArrays)
{
    std::mt19937 random(31);
    for (int round = 0; round < 500; ++round) {
        const std::string text = broken(randomValue(random, 0), random);
        const size_t first = random() % (text.size() + 1);
        EXPECT_EQ(difference(text, first, [&] { return size_t(random() % 3); }), "") << ::testing::PrintToString(text);
    }
    const std::string text = R"({"a": [1, {"b": [2]}], "b": [[3], "]"], "c": [4]})";
    JsonRead::StrictBuilder builder;
    const size_t a = text.find('[');
    const size_t b = text.find("[[");
    JsonRead::parseText(builder, {.data = text.data(),
                                  .available = text.size(),
                                  .skipped = {{a, text.find("],") + 0}, {b, text.find("\"]\"]") + 3}}});
    EXPECT_EQ(builder.root, Json::parse(R"({"a": [], "b": [], "c": [4]})"));
}

// The library's messages for values it reads: a number too large for a double, a key given
// twice, a NUL anywhere.
TEST(JsonParsing, MessagesOfTheStrictReader)
{
    const auto error = [](const std::string &text) {
        try {
            JsonRead::parse(text);
        } catch (const JsonRead::Error &failure) {
            return std::string(failure.what());
        }
        return std::string("read");
    };
    EXPECT_EQ(error("[1, 1e400]"), "The data holds a number that is out of range.");
    EXPECT_EQ(error("[1, 1e-400]"), "read");
    EXPECT_EQ(error("{\"a\": 1, \"a\": 2}"), "The key \"a\" appears twice in one object (at byte 10).");
    EXPECT_EQ(error(std::string("[1, x\0]", 7)), "The data is not valid JSON (at byte 6).");
    EXPECT_EQ(error("[1, x]"), "The data is not valid JSON (at byte 5).");
    EXPECT_EQ(error("[1, "), "The data is not valid JSON (at byte 4).");
    EXPECT_EQ(JsonRead::parse("\"\\ud83d\\ude00 caf\\u00e9\""), Json("\xF0\x9F\x98\x80 caf\xC3\xA9"));
    EXPECT_EQ(JsonRead::parse("[-0, 0, -5, 5, 1.0]").dump(), "[0,0,-5,5,1.0]");
}
