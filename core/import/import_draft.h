#pragma once

#include "core/import/import_field.h"
#include "core/support/import_sheet.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// An unfinished import, saved so that the user can correct the sheet later.
struct ImportDraft {
    ImportSheet sheet; // with the user's corrections and the reader's issues
    int headerRow = 0; // 0-based
    ImportMapping mapping;
    bool employeeReferences = true; // manager cells hold employee numbers, else Position IDs
    ImportMode mode = ImportMode::add;

    // Drafts larger than this are refused unread.
    static constexpr int64_t maximumFileSize = 52'428'800;

    // Compact JSON with the keys "sheet", "headerRow", "mapping" (field header and column,
    // alternating), "employeeReferences" and "mode". Never throws for any draft.
    std::string encode() const;

    // Reads a draft's bytes. Throws OrganizationError with "Correction draft exceeds 50 MB."
    // beyond maximumFileSize, or with the reason the JSON is not a draft. Columns, rows and
    // the header row are not checked here (see requireUsableBounds).
    static ImportDraft decode(std::string_view bytes);

    // Reads and decodes the file, stopping at maximumFileSize + 1 bytes so that a file
    // whose size is unknown or growing is refused all the same; then checks the bounds.
    // Throws OrganizationError.
    static ImportDraft readFile(const std::filesystem::path &path);

    // True when the sheet has at most 20,000 rows of at most 500 cells, the header row lies
    // inside it and every mapped column is in 0 to 499.
    bool hasUsableBounds() const;
    // Throws "Invalid correction draft dimensions or mapping." unless hasUsableBounds().
    void requireUsableBounds() const;

    bool operator==(const ImportDraft &) const = default;
};
