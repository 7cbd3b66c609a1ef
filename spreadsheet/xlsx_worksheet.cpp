#include "spreadsheet/xlsx_worksheet.h"

#include "core/support/number_text.h"
#include "core/support/organization_error.h"
#include "spreadsheet/xml_stream.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace {

constexpr long long rowLimit = 20'000;
constexpr size_t columnLimit = 500;

[[noreturn]] void fail(std::string message)
{
    throw OrganizationError::invalid(std::move(message));
}

// The 0-based column of a reference such as "B7" or "sf12"; a reference without leading
// letters continues the row. Stops folding as soon as the column is out of range, so a
// reference of any length cannot overflow.
size_t columnIndex(std::string_view reference, size_t rowLength)
{
    size_t value = 0;
    size_t letters = 0;
    for (char c : reference) {
        const char upper = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        if (upper < 'A' || upper > 'Z')
            break;
        ++letters;
        value = value * 26 + size_t(upper - 'A' + 1);
        if (value > columnLimit)
            fail("Imports support up to 500 worksheet columns.");
    }
    const size_t index = letters == 0 ? rowLength : value - 1;
    if (index >= columnLimit)
        fail("Imports support up to 500 worksheet columns.");
    return index;
}

// The stored number as an employee number under a format of zeros: whole, finite and
// below 10^15, left-padded to the format's width. A stored "-0" reads as zero.
std::optional<std::string> zeroPadded(std::string_view value, size_t width)
{
    if (!value.empty() && value.front() == '+') {
        value.remove_prefix(1);
        if (!value.empty() && value.front() == '-')
            return std::nullopt;
    }
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || value.empty())
        return std::nullopt;
    if (!std::isfinite(number) || number < 0 || number >= 1e15 || number != std::floor(number))
        return std::nullopt;
    std::string digits = std::to_string(static_cast<long long>(number));
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

struct Cell {
    size_t rowIndex = 0;
    std::string reference;
    std::string type = "n";
    std::optional<long long> style;
    bool hasFormula = false;
    bool valueSeen = false;
    std::string value;
    std::string inlineText;
};

// What an open element means to the reader; character data goes to the innermost one.
enum class Frame : unsigned char { other, row, cell, value, textRun, phonetic };

class WorksheetHandler : public XmlHandler {
public:
    explicit WorksheetHandler(XlsxWorkbookContext &context) : m_context(context) {}

    void startElement(std::string_view name, const XmlAttributes &attributes) override
    {
        const Frame parent = m_frames.empty() ? Frame::other : m_frames.back();
        if (name == "row") {
            startRow(attributes);
            m_frames.push_back(Frame::row);
        } else if (name == "c" && parent == Frame::row) {
            startCell(attributes);
            m_frames.push_back(Frame::cell);
        } else if (parent == Frame::cell && name == "v" && !m_cells.back().valueSeen) {
            // Only the first value element counts.
            m_cells.back().valueSeen = true;
            m_frames.push_back(Frame::value);
        } else if (parent == Frame::cell && name == "f") {
            m_cells.back().hasFormula = true;
            m_frames.push_back(Frame::other);
        } else if (name == "rPh" && !m_cells.empty()) {
            ++m_phoneticDepth;
            m_frames.push_back(Frame::phonetic);
        } else if (name == "t" && !m_cells.empty() && m_phoneticDepth == 0) {
            m_frames.push_back(Frame::textRun);
        } else {
            m_frames.push_back(Frame::other);
        }
    }

    void endElement() override
    {
        const Frame frame = m_frames.back();
        m_frames.pop_back();
        switch (frame) {
        case Frame::row:
            m_rowIndices.pop_back();
            break;
        case Frame::cell:
            finishCell(m_cells.back());
            m_cells.pop_back();
            break;
        case Frame::phonetic:
            --m_phoneticDepth;
            break;
        default:
            break;
        }
    }

    void characters(std::string_view text) override
    {
        if (m_frames.empty())
            return;
        if (m_frames.back() == Frame::value)
            m_cells.back().value.append(text);
        else if (m_frames.back() == Frame::textRun)
            m_cells.back().inlineText.append(text);
    }

    XlsxWorksheet result() { return {std::move(m_rows), std::move(m_issues)}; }

private:
    void startRow(const XmlAttributes &attributes)
    {
        std::optional<long long> number;
        if (auto attribute = attributes.value("r"))
            number = NumberText::wholeNumber(*attribute);
        if (number && *number < 1)
            fail("Imports support up to 20,000 worksheet rows.");
        const long long rowNumber = number ? *number : static_cast<long long>(m_rows.size()) + 1;
        if (rowNumber > rowLimit)
            fail("Imports support up to 20,000 worksheet rows.");
        if (m_rows.size() < size_t(rowNumber))
            m_rows.resize(size_t(rowNumber));
        m_rowIndices.push_back(size_t(rowNumber - 1));
    }

    void startCell(const XmlAttributes &attributes)
    {
        Cell &cell = m_cells.emplace_back();
        cell.rowIndex = m_rowIndices.back();
        if (auto reference = attributes.value("r"))
            cell.reference = *reference;
        if (auto type = attributes.value("t"))
            cell.type = *type;
        if (auto style = attributes.value("s"))
            cell.style = NumberText::wholeNumber(*style);
    }

    void finishCell(Cell &cell)
    {
        std::vector<std::string> &row = m_rows[cell.rowIndex];
        const size_t column = columnIndex(cell.reference, row.size());
        if (row.size() <= column) {
            m_context.storedCells += column + 1 - row.size();
            if (m_context.storedCells > XlsxWorkbookContext::cellLimit)
                fail("The workbook exceeds the one-million-cell import limit.");
            row.resize(column + 1);
        }
        store(row[column], cellText(cell, column));
    }

    std::string cellText(Cell &cell, size_t column)
    {
        if (cell.hasFormula && cell.value.empty()) {
            addIssue(cell, column, "#NO_SAVED_RESULT",
                     "Formula has no saved result. Enter a value here or recalculate and save the workbook in Excel.");
            return "#NO_SAVED_RESULT";
        }
        if (cell.type == "s")
            return sharedString(cell);
        if (cell.type == "inlineStr")
            return std::move(cell.inlineText);
        if (cell.type == "b")
            return cell.value == "1" ? "true" : "false";
        if (cell.type == "e") {
            std::string text = cell.value.empty() ? "#EXCEL_ERROR" : cell.value;
            addIssue(cell, column, text, "Excel error " + text + ". Enter a corrected value.");
            return text;
        }
        if (cell.style && *cell.style >= 0 && size_t(*cell.style) < m_context.zeroPadWidths.size()) {
            if (const size_t width = m_context.zeroPadWidths[size_t(*cell.style)]) {
                if (auto padded = zeroPadded(cell.value, width))
                    return *padded;
            }
        }
        return std::move(cell.value);
    }

    const std::string &sharedString(const Cell &cell) const
    {
        const std::optional<long long> index = NumberText::wholeNumber(cell.value);
        if (!index || *index < 0 || size_t(*index) >= m_context.sharedStrings.size())
            fail("Invalid shared string in row " + std::to_string(cell.rowIndex + 1) + ".");
        return m_context.sharedStrings[size_t(*index)];
    }

    void addIssue(const Cell &cell, size_t column, std::string value, std::string message)
    {
        m_issues.push_back(
            {.row = int(cell.rowIndex), .column = int(column), .value = std::move(value), .message = std::move(message)});
    }

    void store(std::string &slot, std::string text)
    {
        m_context.storedTextBytes = m_context.storedTextBytes - slot.size() + text.size();
        if (m_context.storedTextBytes > XlsxWorkbookContext::textLimit)
            fail("The workbook exceeds the 32 MB import limit for cell text.");
        slot = std::move(text);
    }

    XlsxWorkbookContext &m_context;
    std::vector<std::vector<std::string>> m_rows;
    std::vector<ImportCellIssue> m_issues;
    std::vector<Frame> m_frames;
    std::vector<size_t> m_rowIndices; // rows may (wrongly) nest; the innermost takes cells
    std::vector<Cell> m_cells;
    size_t m_phoneticDepth = 0;
};

} // namespace

XlsxWorksheet XlsxWorksheet::read(std::string_view xml, XlsxWorkbookContext &context)
{
    WorksheetHandler handler(context);
    XmlStream::parse(xml, handler);
    return handler.result();
}
