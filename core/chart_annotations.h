#pragma once

#include <optional>
#include <string>
#include <vector>

// Annotations a card of a projected chart can carry; never written to the document.

// Another chart (sheet) that lists a manager.
struct ManagerChartReference {
    std::string id;
    std::string name;
    bool operator==(const ManagerChartReference &) const = default;
};

struct PrimaryManagerReference {
    std::string positionID;
    std::optional<std::string> employeeName; // absent when the manager's position is vacant
    std::string jobTitle;
    std::vector<ManagerChartReference> charts; // empty in callout entries
    bool operator==(const PrimaryManagerReference &) const = default;
};

// Every manager of a position with more than one reporting relationship, primary first.
struct ReportingCallout {
    std::vector<PrimaryManagerReference> managers;
    std::optional<std::string> primaryManagerID;

    // Height in points of the band the layout adds under a card that carries a callout.
    static constexpr double height = 24;

    bool operator==(const ReportingCallout &) const = default;
};
