#pragma once

#include <optional>
#include <string>
#include <vector>

struct Position;

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

    // The employee's name, or the job title when names are hidden or the position is vacant.
    std::string label(bool hideNames) const;
    // "Primary: " and the label, then " · " and the other charts' names when there are any.
    std::string printedLabel(bool hideNames) const;

    bool operator==(const PrimaryManagerReference &) const = default;
};

// Every manager of a position with more than one reporting relationship, primary first.
struct ReportingCallout {
    std::vector<PrimaryManagerReference> managers;
    std::optional<std::string> primaryManagerID;

    // Height in points of the band the layout adds under a card that carries a callout.
    static constexpr double height = 24;

    // A callout listing the primary manager first, the others by position id.
    static ReportingCallout make(std::vector<PrimaryManagerReference> managers,
                                 std::optional<std::string> primaryManagerID);
    // One callout for positions drawn as one card: their managers, each once, or nothing
    // when fewer than two remain. The primary is the first position's.
    static std::optional<ReportingCallout> merged(const std::vector<Position> &positions);

    // "Also reports to N other manager(s)".
    std::string summary() const;
    // One line per manager: "Primary: " or "Additional: ", then the name and job title.
    std::string details(bool hideNames) const;

    bool operator==(const ReportingCallout &) const = default;
};
