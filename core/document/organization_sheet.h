#pragma once

#include "core/model/print_settings.h"

#include <optional>
#include <string>
#include <vector>

// One chart over the shared organization. `positionIDs` may name ids that no longer exist
// and may repeat an id; removing an id from a sheet removes every occurrence.
struct OrganizationSheet {
    std::string id;
    std::string name;
    std::vector<std::string> positionIDs;
    std::optional<std::string> pageTitle;
    std::optional<std::string> pageSubtitle;
    std::optional<ChartPrintSettings> printSettings;
    std::optional<bool> focusedDepartmentView; // absent and false both mean the explicit view

    // A new sheet with a fresh UUID id and every optional field absent.
    static OrganizationSheet make(std::string name, std::vector<std::string> positionIDs);
    bool isFocusedDepartmentView() const { return focusedDepartmentView.value_or(false); }

    bool operator==(const OrganizationSheet &) const = default;
};
