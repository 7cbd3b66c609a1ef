#pragma once

#include "core/support/import_sheet.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What every worksheet of one .xlsx workbook shares while it is read.
struct XlsxWorkbookContext {
    std::vector<std::string> sharedStrings;
    // Per cell-format index: the width of its number format when that format is made of
    // zeros only (an employee number format such as 00000), else 0.
    std::vector<size_t> zeroPadWidths;

    // Bounds over the whole workbook, so that a small hostile file cannot fill memory by
    // padding rows or by repeating a long shared string.
    static constexpr size_t cellLimit = 1'000'000;
    static constexpr size_t textLimit = 32'000'000;
    size_t storedCells = 0;
    size_t storedTextBytes = 0;
};

// Reads one worksheet part, streaming, into rows of cell texts and the issues found in them.
// Throws OrganizationError for the row and column limits, a bad shared string, the workbook
// bounds of `context`, and the XML limits. Linear in the size of `xml`.
struct XlsxWorksheet {
    std::vector<std::vector<std::string>> rows;
    std::vector<ImportCellIssue> issues;

    static XlsxWorksheet read(std::string_view xml, XlsxWorkbookContext &context);
};

