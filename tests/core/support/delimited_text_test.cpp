#include "core/support/delimited_text.h"
#include "error_of.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows parse(std::string_view text, char32_t delimiter = U',')
{
    return TabularImport::csv(text, delimiter).rows;
}

} // namespace

TEST(DelimitedText, ParsesRecords)
{
    const std::pair<const char *, Rows> cases[] = {
        {"a,\"b,c\",d", {{"a", "b,c", "d"}}},
        {"\"line\n\"\"one\"\"\",x\rc\r\n\n", {{"line\n\"one\"", "x"}, {"c"}, {""}}},
        {"\xEF\xBB\xBF" " a , b ", {{" a ", " b "}}},
        {"a\xFF,b", {{"a\uFFFD", "b"}}},
        // A comma or quote carrying an accent is ordinary text.
        {"a,\u0301b,c", {{"a,\u0301b", "c"}}},
        {"\"a\"\u0301b\"", {{"a\"\u0301b"}}},
    };
    for (const auto &[text, rows] : cases)
        EXPECT_EQ(parse(text), rows) << text;
}

TEST(DelimitedText, RefusesMalformedQuoting)
{
    const std::pair<const char *, const char *> cases[] = {
        {"\xEF\xBB\xBF", "The file is empty."},
        {"a,\"b\nc", "CSV contains an unclosed quoted field."},
        {" \"a\"", "CSV quotes must surround the entire field."},
        {"\"a\" \"", "Unexpected text after a quoted CSV value."},
    };
    for (const auto &[text, message] : cases)
        EXPECT_EQ(errorOf([&] { parse(text); }), message) << text;
}

TEST(DelimitedText, DetectsDelimiterFromTheFirstTenLinesOfTheSample)
{
    const std::pair<std::string, char32_t> cases[] = {
        {"a;b;c;d,e\nf;g,h", U';'},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\na;b", U','},
        {"\"x\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\";a;b", U';'},
        {std::string(32000, 'x') + ";;;", U','},
    };
    for (const auto &[text, delimiter] : cases)
        EXPECT_EQ(TabularImport::detectedDelimiter(text), delimiter) << text.substr(0, 40);
    EXPECT_EQ(TabularImport::csv("a;b\n1;2", std::nullopt).rows, (Rows{{"a", "b"}, {"1", "2"}}));
}
