#pragma once

#include "core/organization.h"

#include <optional>
#include <string>
#include <vector>

enum class ImportMessageKind { error, warning };

// The outcome of reviewing a sheet. Messages about a row begin "Row <n>: ", n being the
// 1-based row of the sheet (the header row and rows above it counted).
struct ImportReview {
    std::optional<Organization> organization; // present exactly when there is no error
    std::vector<std::string> errors;          // block the import
    std::vector<std::string> warnings;        // do not

    // The errors or warnings about row `row` (1-based), in review order. Row 1 never
    // collects the messages of row 10.
    std::vector<std::string> messages(int row, ImportMessageKind kind) const;
};
