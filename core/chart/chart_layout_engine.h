#pragma once

// Internals of ChartLayout shared by its parts and by the tests that check the planner
// against a plain reference. Not for use outside the layout.

#include "core/chart/chart_layout.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct Organization;
struct Position;

namespace ChartLayoutEngine {

// The constants of one layout run.
struct Metrics {
    bool pageBalanced = false;
    double aspectRatio = 0; // page width / height; only in page-balanced mode
    double cardHeight = 112;
    double cardWidth = 240;
    double spacing = 32; // vertical gap between stacked cards, part of every horizontal gap
    double lane = 24;    // connector lane added to every horizontal gap between subtrees
    double levelGap = 64;
    double margin = 40;
    double calloutBand = 24;

    double effectiveHeight(const Position &position) const;
    bool operator==(const Metrics &) const = default;
};

Metrics metrics(std::optional<double> targetAspectRatio, double cardHeight);

// Ordered child lists by position index: by sibling order (none counts as 0), then id.
struct Tree {
    std::vector<std::vector<uint32_t>> children;
    std::vector<uint32_t> roots;
    std::vector<bool> isAssistant;

    bool hasReports(uint32_t position) const { return !children[position].empty(); }
};

// Precondition: a validated organization (unique ids, existing managers, no cycles).
Tree tree(const Organization &organization);

// Lower is better.
double score(const Metrics &metrics, double width, double height);

// Indices 0..scores.size()-1 in ranking order: ascending score, where scores closer than
// 1e-6 keep their input order. A merge sort, so the result is defined even though that
// comparison is not transitive.
std::vector<size_t> ranked(const std::vector<double> &scores);
// As above, into `order`, with `buffer` as scratch; neither needs to be empty.
void ranked(const std::vector<double> &scores, std::vector<size_t> &order, std::vector<size_t> &buffer);

// The chosen arrangement, moved by the margin: what the connectors and the size need.
struct Placement {
    std::vector<std::optional<Rect>> frames; // by position index
    std::vector<bool> sideEntries;           // by position index
    std::vector<std::optional<std::vector<ChartSegment>>> regularRoutes; // by manager index
    Rect bounds = Rect::null();              // frames and reservations

    bool operator==(const Placement &) const = default;
};

// The search over arrangements: candidates per subtree, packing, scoring.
Placement place(const Organization &organization, const Tree &tree, const Metrics &metrics);

// place() that keeps the candidates of every subtree for the next call. A subtree whose
// cards, child order, assistant flags and card heights are as they were keeps its
// candidates, so a chart that differs from the last one in a few cards is planned again
// only along the paths from those cards to the top. Positions are known by id.
class PlacementMemo {
public:
    PlacementMemo();
    PlacementMemo(const PlacementMemo &) = delete;
    PlacementMemo &operator=(const PlacementMemo &) = delete;
    ~PlacementMemo();

    // The same placement as place(); `heights` are the effective card heights by position.
    Placement place(const Organization &organization, const Tree &tree, const Metrics &metrics,
                    const std::vector<double> &heights);
    // The positions of the last place() in ascending order of their ids, kept up to date
    // from one call to the next rather than sorted anew.
    const std::vector<uint32_t> &byID() const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

// Connectors of the placed chart, merged and sorted.
std::vector<ChartSegment> connectors(const Organization &organization, const Tree &tree, const Metrics &metrics,
                                     const Placement &placement);

// Collinear overlapping or touching pieces joined; sorted by start y, start x, end y, end x.
std::vector<ChartSegment> merged(const std::vector<ChartSegment> &segments);

// Nodes, edges, connectors and size of a placement; `byID`, when given, holds every
// position in ascending order of ids.
ChartLayout assemble(const Organization &organization, const Tree &tree, const Metrics &metrics,
                     const Placement &placement, const std::vector<uint32_t> *byID = nullptr);

// Validation and argument checks of build, then the metrics of the run.
Metrics checkedMetrics(const Organization &organization, std::optional<double> targetAspectRatio, double cardHeight);
// The argument checks alone, for an organization already validated.
Metrics checkedMetrics(std::optional<double> targetAspectRatio, double cardHeight);

} // namespace ChartLayoutEngine
