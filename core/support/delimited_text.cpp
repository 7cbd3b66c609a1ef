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

[[noreturn]] void fail(std::string message)
{
    throw OrganizationError::invalid(std::move(message));
}

// 20000 as "20,000".
std::string grouped(size_t number)
{
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
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

constexpr SheetLimits unlimited{.rows = SIZE_MAX, .columns = SIZE_MAX};

class Parser {
public:
    Parser(std::string_view text, char32_t delimiter, SheetLimits limits)
        : m_text(text), m_delimiter(delimiter), m_limits(limits)
    {
        m_cells.reserve(text.size());
    }

    std::vector<std::vector<std::string>> parse()
    {
        size_t offset = 0;
        while (offset < m_text.size()) {
            const Text::TextCharacter c = Text::characterAt(m_text, offset);
            offset = step(c);
        }
        if (m_quoteOpen)
            fail("CSV contains an unclosed quoted field.");
        if (fieldLength() > 0 || cellsInRow() > 0 || m_afterQuote)
            endRecord();
        if (m_rowEnds.empty())
            fail("The file is empty.");
        return rows();
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
                    m_cells += '"';
                    return next.end;
                }
            }
            m_inQuotes = m_quoteOpen = false;
            m_afterQuote = m_fieldWasQuoted = true;
            return c.end;
        }
        if (c.is(m_delimiter)) {
            if (cellsInRow() + 1 >= m_limits.columns)
                fail("Imports support up to " + grouped(m_limits.columns) + " worksheet columns.");
            endField();
            m_afterQuote = m_fieldWasQuoted = false;
            return c.end;
        }
        if (isRecordEnd(c)) {
            endRecord();
            m_afterQuote = m_fieldWasQuoted = false;
            return c.end;
        }
        if (c.is(U'"')) {
            if (fieldLength() == 0 && !m_fieldWasQuoted) {
                m_inQuotes = m_quoteOpen = true;
                return c.end;
            }
            if (fieldLength() > 0 && !m_afterQuote)
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

    void append(const Text::TextCharacter &c) { m_cells.append(m_text, c.begin, c.end - c.begin); }

    size_t fieldStart() const { return m_cellEnds.empty() ? 0 : m_cellEnds.back(); }
    size_t fieldLength() const { return m_cells.size() - fieldStart(); }
    size_t cellsInRow() const { return m_cellEnds.size() - (m_rowEnds.empty() ? 0 : m_rowEnds.back()); }
    void endField() { m_cellEnds.push_back(m_cells.size()); }

    void endRecord()
    {
        if (m_rowEnds.size() >= m_limits.rows)
            fail("Imports support up to " + grouped(m_limits.rows) + " worksheet rows.");
        endField();
        m_rowEnds.push_back(m_cellEnds.size());
    }

    // The grid, each cell allocated once at its final size.
    std::vector<std::vector<std::string>> rows() const
    {
        std::vector<std::vector<std::string>> result(m_rowEnds.size());
        size_t cell = 0;
        size_t start = 0;
        for (size_t r = 0; r < m_rowEnds.size(); ++r) {
            result[r].reserve(m_rowEnds[r] - cell);
            for (; cell < m_rowEnds[r]; ++cell) {
                result[r].emplace_back(m_cells, start, m_cellEnds[cell] - start);
                start = m_cellEnds[cell];
            }
        }
        return result;
    }

    std::string_view m_text;
    char32_t m_delimiter;
    SheetLimits m_limits;
    // Cells are held compactly while parsing: every cell's bytes in one buffer (never longer
    // than the text), the end of each cell in it, and the end of each row in cells.
    std::string m_cells;
    std::vector<size_t> m_cellEnds;
    std::vector<size_t> m_rowEnds;
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
    return csv(text, delimiter, unlimited);
}

ImportSheet csv(std::string_view text, std::optional<char32_t> delimiter, SheetLimits limits)
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
    return ImportSheet{.name = "CSV", .rows = Parser(body, chosen, limits).parse(), .sourceIssues = std::vector<ImportCellIssue>{}};
}

} // namespace TabularImport
