#pragma once

#include "core/import/import_field.h"
#include "core/model/organization.h"

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

enum class ImportMessageKind { error, warning };

// The outcome of reviewing a sheet. Messages about a row begin "Row <n>: ", n being the
// 1-based row of the sheet (the header row and rows above it counted).
struct ImportReview {
    std::optional<Organization> organization; // present exactly when there is no error
    std::vector<std::string> errors;          // block the import
    std::vector<std::string> warnings;        // do not
    // In every mode, rows whose employee number no stored person has but differs from a
    // stored one only by leading zeros, each also named by a warning.
    int leadingZeroRows = 0;
    // In every mode, rows whose Position ID names no stored position but differs from one
    // only by leading zeros, each also named by a warning.
    int leadingZeroIDRows = 0;
    // Updating, the rows that name a stored position.
    int updatingRows = 0;

    // The errors or warnings about row `row` (1-based), in review order. Row 1 never
    // collects the messages of row 10.
    std::vector<std::string> messages(int row, ImportMessageKind kind) const;
};

struct ImportSheet;

namespace TabularImport {

// Reads every non-blank row below `headerRow` (0-based) through `mapping` into positions,
// merges them with `existing` as `mode` says (replace ignores it), resolves managers by
// `references`, and checks what the model requires. Updating, a row that names a stored
// position takes the stored value of every field the mapping leaves out, and the checks see
// that merged position; one that then shows it unchanged (TabularImport::isUnchanged) keeps
// it as stored and in its place; a changed one moves to the end. Updating also warns, before
// the rows' warnings, when no row names a stored position and when a mapped column blank in
// every row clears a field of stored positions; a row whose blank FTE replaces a stored one
// is warned about on its row. In every mode, replacing too, so is a row whose Position ID or
// employee number is not stored but differs from a stored one only by leading zeros, either
// way round; a manager reference not found names the id or number it differs from only by
// leading zeros, where there is one. Never throws: every problem becomes a message. Pure.
// Linear in the sheet's cells and the positions, using hash indexes by id, employee number
// and stored value without leading zeros; one primary chain link is followed once.
ImportReview review(const ImportSheet &sheet, int headerRow, const ImportMapping &mapping,
                    ManagerReferences references, ImportMode mode, const Organization &existing);

// The 1-based rows named by messages that begin "Row <n>:".
std::unordered_set<int> issueRows(const std::vector<std::string> &messages);

// The 0-based indexes of the non-blank rows below the header that `filter` keeps, ascending:
// all of them, those named by an error or by a warning, or those whose Primary Manager ID
// cell is blank, missing or unmapped.
std::vector<int> filteredRows(const ImportSheet &sheet, int headerRow, const ImportMapping &mapping,
                              const ImportReview &review, ImportRowFilter filter);

} // namespace TabularImport
