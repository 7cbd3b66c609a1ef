#pragma once

#include "core/identifiers.h"
#include "core/organization.h"
#include "core/organization_sheet.h"
#include "core/planning.h"
#include "core/position_group.h"
#include "core/print_settings.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One saved version inside the document.
struct OrganizationRevision {
    std::string id; // UUID, upper case
    int64_t number = 0;
    Date date;
    std::string note;
    std::string name;
    Organization organization;
    std::optional<std::string> pageTitle;
    std::optional<std::string> pageSubtitle;
    std::optional<std::vector<OrganizationSheet>> sheets;
    std::optional<ChartPrintSettings> printSettings;
    std::optional<std::vector<PositionGroup>> groups;

    bool operator==(const OrganizationRevision &) const = default;
};

// The document: what one window edits and saves.
struct OrganizationArchive {
    std::string name = "Untitled Organization";
    Organization organization;
    std::optional<std::string> pageTitle;
    std::optional<std::string> pageSubtitle;
    std::optional<std::vector<OrganizationSheet>> sheets; // absent: only the whole organization is shown
    std::optional<ChartPrintSettings> printSettings;
    std::optional<std::vector<PositionGroup>> groups;
    std::vector<OrganizationRevision> revisions; // oldest first
    std::optional<OrganizationPlanning> planning;

    // Reads a document file's bytes: a bare organization ({"positions": [...]}) or a full
    // archive, then validates it. Throws OrganizationError with the message the user reads.
    static OrganizationArchive decode(std::string_view bytes);
    // The file's bytes: validates the organization and the planning state, then writes
    // pretty-printed JSON with sorted keys. Throws OrganizationError; the same archive
    // always gives the same bytes.
    std::string encodeDocument() const;

    bool operator==(const OrganizationArchive &) const = default;
};
