#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// A problem a workbook reader found in one source cell.
struct ImportCellIssue {
    int row = 0;    // index into ImportSheet::rows
    int column = 0; // index into that row
    std::string value;   // the text the reader produced for the cell
    std::string message; // what was wrong, for the user

    bool operator==(const ImportCellIssue &) const = default;
};

// The most rows and columns a worksheet read for import may have. The header row counts.
struct SheetLimits {
    size_t rows = 0;
    size_t columns = 0;
};
inline constexpr SheetLimits worksheetLimits{.rows = 20'000, .columns = 500};

// One worksheet read as text. Rows keep their own lengths; nothing is trimmed.
struct ImportSheet {
    std::string name; // delimited text is always "CSV"
    std::vector<std::vector<std::string>> rows;
    // Absent when the reader reports nothing at all; delimited text gives an empty list.
    std::optional<std::vector<ImportCellIssue>> sourceIssues;

    const std::string &id() const { return name; }

    bool operator==(const ImportSheet &) const = default;
};
