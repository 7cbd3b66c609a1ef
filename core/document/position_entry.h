#pragma once

#include "core/model/organization.h"

#include <optional>

// One save from the position editor. Applied by OrganizationArchive::savePositionEntry.
struct PositionEntryRequest {
    Position position; // as the editor wants it stored
    std::optional<Position> original; // as the editor loaded it; absent for a new entry
    int quantity = 1; // how many positions to create; 1 for an edit
    bool includeOnSheet = false; // place the position on the chart being edited

    bool isNew() const { return !original.has_value(); }

    bool operator==(const PositionEntryRequest &) const = default;
};
