#include "core/support/delimited_text.h"
#include "error_of.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows parse(std::string_view text, std::optional<char32_t> delimiter = U',')
{
    return TabularImport::csv(text, delimiter).rows;
}

} // namespace

TEST(DelimitedText, SheetIsNamedCSVWithAnEmptyIssueList)
{
    const ImportSheet sheet = TabularImport::csv("a,b,c", std::nullopt);
    EXPECT_EQ(sheet.name, "CSV");
    EXPECT_EQ(sheet.rows, (Rows{{"a", "b", "c"}}));
    ASSERT_TRUE(sheet.sourceIssues.has_value());
    EXPECT_TRUE(sheet.sourceIssues->empty());
}

TEST(DelimitedText, ParsesRecords)
{
    struct Case {
        const char *text;
        Rows rows;
    };
    const Case cases[] = {
        {"a,\"b,c\",d", {{"a", "b,c", "d"}}},
        {"\"say \"\"hi\"\"\"", {{"say \"hi\""}}},
        {"\"line\none\",x\n", {{"line\none", "x"}}},
        {"\"a\"   \nb", {{"a"}, {"b"}}},
        {"a\rb\rc", {{"a"}, {"b"}, {"c"}}},
        {"a\nb\nc", {{"a"}, {"b"}, {"c"}}},
        {"a\r\nb\r\nc", {{"a"}, {"b"}, {"c"}}},
        {"a\n\nb", {{"a"}, {""}, {"b"}}},
        {"a\n", {{"a"}}},
        {"a\n\n", {{"a"}, {""}}},
        {"a,", {{"a", ""}}},
        {"a,\"\"", {{"a", ""}}},
        {"\"\"", {{""}}},
        {" a , b ", {{" a ", " b "}}},
        {"a,b\nc", {{"a", "b"}, {"c"}}},
        {"a\u2028b,c", {{"a\u2028b", "c"}}},
        {"\xEF\xBB\xBF" "a,b", {{"a", "b"}}},
        {"\"a\"\t,b", {{"a", "b"}}},
        {"\"line\n\"\"one\"\"\",x\rc\r\n\n", {{"line\n\"one\"", "x"}, {"c"}, {""}}},
        {"\xEF\xBB\xBF" " a , b ", {{" a ", " b "}}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parse(c.text), c.rows) << c.text;
}

TEST(DelimitedText, RefusesMalformedQuoting)
{
    struct Case {
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {"", "The file is empty."},
        {"\xEF\xBB\xBF", "The file is empty."},
        {"\"abc", "CSV contains an unclosed quoted field."},
        {"a,\"b\nc", "CSV contains an unclosed quoted field."},
        {"ab\"c", "CSV quotes must surround the entire field."},
        {" \"a\"", "CSV quotes must surround the entire field."},
        {"\"a\"b", "Unexpected text after a quoted CSV value."},
        {"\"a\" \"", "Unexpected text after a quoted CSV value."},
        {"\"\"\"", "CSV contains an unclosed quoted field."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(errorOf([&] { parse(c.text); }), c.message) << c.text;
}

TEST(DelimitedText, SeparatorWithCombiningMarkIsOrdinaryText)
{
    // A comma carrying an accent is a different character from the delimiter.
    EXPECT_EQ(parse("a,\u0301b,c"), (Rows{{"a,\u0301b", "c"}}));
    // A quote carrying an accent does not close the quoted field.
    EXPECT_EQ(parse("\"a\"\u0301b\""), (Rows{{"a\"\u0301b"}}));
}

TEST(DelimitedText, IllFormedBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(parse("a\xFF,b"), (Rows{{"a\uFFFD", "b"}}));
}

TEST(DelimitedText, TabDelimiterKeepsCommas)
{
    EXPECT_EQ(parse("a,b\tc", U'\t'), (Rows{{"a,b", "c"}}));
}

TEST(DelimitedText, DetectsDelimiter)
{
    struct Case {
        const char *text;
        char32_t delimiter;
    };
    const Case cases[] = {
        {"a;b;c;d,e\nf;g,h", U';'},
        {"a,b;c", U','},
        {"a\tb\tc\nd,e", U'\t'},
        {"\"a,b,c\";d", U';'},
        {"", U','},
        {"plain", U','},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\na;b", U','},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\na;b", U';'},
        {"1\v2\f3\u00854\u20285\u20296\r\n7\n8\n9\n10\na;b", U','},
        {"\"x\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\";a;b", U';'},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TabularImport::detectedDelimiter(c.text), c.delimiter) << c.text;
}

TEST(DelimitedText, DetectionLooksOnlyAtTheSample)
{
    std::string text(32000, 'x');
    text += ";;;";
    EXPECT_EQ(TabularImport::detectedDelimiter(text), U',');
    EXPECT_EQ(TabularImport::csv("a;b\n1;2", std::nullopt).rows, (Rows{{"a", "b"}, {"1", "2"}}));
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
