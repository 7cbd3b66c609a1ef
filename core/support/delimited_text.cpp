#include "core/support/delimited_text.h"

#include "core/support/organization_error.h"
#include "core/support/text.h"
#include "core/support/text_characters.h"

#include <algorithm>
#include <array>
#include <string>

namespace TabularImport {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void fail(const char *message)
{
    throw OrganizationError::invalid(message);
}

bool isRecordEnd(const Text::TextCharacter &c)
{
    return c.is(U'\r') || c.is(U'\n') || c.isCarriageReturnLineFeed();
}

// Line ends as the detection counts them: every Unicode newline, not only CR and LF.
bool isLineBreak(const Text::TextCharacter &c)
{
    if (c.isCarriageReturnLineFeed())
        return true;
    if (!c.singleCodePoint)
        return false;
    switch (c.first) {
    case U'\n': case U'\v': case U'\f': case U'\r': case U'\u0085': case U'\u2028': case U'\u2029':
        return true;
    default:
        return false;
    }
}

class Parser {
public:
    Parser(std::string_view text, char32_t delimiter) : m_text(text), m_delimiter(delimiter) {}

    std::vector<std::vector<std::string>> parse()
    {
        size_t offset = 0;
        while (offset < m_text.size()) {
            const Text::TextCharacter c = Text::characterAt(m_text, offset);
            offset = step(c);
        }
        if (m_quoteOpen)
            fail("CSV contains an unclosed quoted field.");
        if (!m_field.empty() || !m_row.empty() || m_afterQuote)
            endRecord();
        if (m_rows.empty())
            fail("The file is empty.");
        return std::move(m_rows);
    }

private:
    // Handles one character and returns the offset of the next one.
    size_t step(const Text::TextCharacter &c)
    {
        if (m_inQuotes) {
            if (!c.is(U'"')) {
                append(c);
                return c.end;
            }
            if (c.end < m_text.size()) {
                const Text::TextCharacter next = Text::characterAt(m_text, c.end);
                if (next.is(U'"')) {
                    m_field += '"';
                    return next.end;
                }
            }
            m_inQuotes = m_quoteOpen = false;
            m_afterQuote = m_fieldWasQuoted = true;
            return c.end;
        }
        if (c.is(m_delimiter)) {
            m_row.push_back(std::move(m_field));
            m_field.clear();
            m_afterQuote = m_fieldWasQuoted = false;
            return c.end;
        }
        if (isRecordEnd(c)) {
            endRecord();
            m_afterQuote = m_fieldWasQuoted = false;
            return c.end;
        }
        if (c.is(U'"')) {
            if (m_field.empty() && !m_fieldWasQuoted) {
                m_inQuotes = m_quoteOpen = true;
                return c.end;
            }
            if (!m_field.empty() && !m_afterQuote)
                fail("CSV quotes must surround the entire field.");
            fail("Unexpected text after a quoted CSV value.");
        }
        if (m_afterQuote) {
            // Spaces between a closing quote and the delimiter are dropped.
            if (!Text::isWhitespace(c.first))
                fail("Unexpected text after a quoted CSV value.");
            return c.end;
        }
        append(c);
        return c.end;
    }

    void append(const Text::TextCharacter &c) { m_field.append(m_text, c.begin, c.end - c.begin); }

    void endRecord()
    {
        m_row.push_back(std::move(m_field));
        m_field.clear();
        m_rows.push_back(std::move(m_row));
        m_row.clear();
    }

    std::string_view m_text;
    char32_t m_delimiter;
    std::string m_field;
    std::vector<std::string> m_row;
    std::vector<std::vector<std::string>> m_rows;
    bool m_inQuotes = false;
    bool m_quoteOpen = false;      // a quoted field was opened and not yet closed
    bool m_afterQuote = false;     // a closing quote ended the current field
    bool m_fieldWasQuoted = false; // the current field had a closing quote
};

} // namespace

char32_t detectedDelimiter(std::string_view text)
{
    constexpr std::array<char32_t, 3> candidates = {U',', U'\t', U';'};
    constexpr size_t sampleCharacters = 32000;
    constexpr int sampleLines = 10;

    std::array<size_t, 3> lineCounts{};
    std::array<size_t, 3> maxima{};
    auto closeLine = [&] {
        for (size_t i = 0; i < candidates.size(); ++i) {
            maxima[i] = std::max(maxima[i], lineCounts[i]);
            lineCounts[i] = 0;
        }
    };

    bool quoted = false;
    int lines = 0;
    size_t offset = 0;
    for (size_t examined = 0; examined < sampleCharacters && offset < text.size() && lines < sampleLines; ++examined) {
        const Text::TextCharacter c = Text::characterAt(text, offset);
        offset = c.end;
        if (c.is(U'"')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (isLineBreak(c)) {
            closeLine();
            ++lines;
            continue;
        }
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (c.is(candidates[i]))
                ++lineCounts[i];
        }
    }
    closeLine();

    const size_t greatest = *std::max_element(maxima.begin(), maxima.end());
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (maxima[i] == greatest)
            return candidates[i];
    }
    return U',';
}

ImportSheet csv(std::string_view text, std::optional<char32_t> delimiter)
{
    // Cells must be valid UTF-8 for everything downstream (ICU, JSON drafts).
    std::string repaired;
    std::string_view body = text;
    if (!Text::isWellFormedUtf8(text)) {
        repaired = Text::wellFormedUtf8(text);
        body = repaired;
    }
    if (body.starts_with(byteOrderMark))
        body.remove_prefix(byteOrderMark.size());
    const char32_t chosen = delimiter ? *delimiter : detectedDelimiter(body);
    return ImportSheet{.name = "CSV", .rows = Parser(body, chosen).parse(), .sourceIssues = std::vector<ImportCellIssue>{}};
}

} // namespace TabularImport
