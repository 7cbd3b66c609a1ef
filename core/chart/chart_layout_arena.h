#pragma once

// Storage of the layout search. An arrangement of a subtree is a small node in a DAG that
// refers to the arrangements of its parts by index with an offset, so moving or combining
// plans never copies their cards. Each plan also carries its left and right profiles: for
// every height, the leftmost left edge and the rightmost right edge of its rectangles, each
// rectangle counted over its height widened by half the sibling spacing above and below.
// Two rectangles are then "vertically closer than the spacing" exactly when their widened
// heights overlap, so packing a plan beside others reads two profiles instead of comparing
// every pair of rectangles. Profiles are immutable linked lists that share their tails,
// and the arena can be rolled back to drop the plans of arrangements that lost.

#include "core/chart/chart_layout.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>
#include <vector>

namespace ChartLayoutEngine {

inline constexpr int32_t noIndex = -1;

// An axis-aligned box by its extremes; empty when nothing was added.
struct Box {
    double x0 = std::numeric_limits<double>::infinity();
    double y0 = std::numeric_limits<double>::infinity();
    double x1 = -std::numeric_limits<double>::infinity();
    double y1 = -std::numeric_limits<double>::infinity();

    static Box of(const Rect &r) { return {r.minX(), r.minY(), r.maxX(), r.maxY()}; }
    bool isEmpty() const { return x0 > x1; }
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
    Box shifted(double dx, double dy) const
    {
        return isEmpty() ? *this : Box{x0 + dx, y0 + dy, x1 + dx, y1 + dy};
    }
    void add(const Box &o)
    {
        x0 = std::min(x0, o.x0);
        y0 = std::min(y0, o.y0);
        x1 = std::max(x1, o.x1);
        y1 = std::max(y1, o.y1);
    }
    Rect rect() const { return isEmpty() ? Rect::null() : Rect::make(x0, y0, x1 - x0, y1 - y0); }
};

// A profile list seen through an offset.
struct Profile {
    int32_t head = noIndex;
    double dx = 0;
    double dy = 0;
};

// One run of a profile: the open height interval (y0, y1) and its extreme x.
struct ProfileRun {
    double y0, y1, x;
    int32_t next;
    double nextDx, nextDy; // offset of `next` relative to this run's
};

struct PlanNode {
    enum class Kind : uint8_t { card, reservation, routes, group };
    Kind kind = Kind::group;
    bool sideEntry = false;
    uint32_t position = 0; // card: the position; routes: the manager
    uint32_t first = 0;    // group: first child; routes: first segment
    uint32_t count = 0;
    Rect rect; // card or reservation
    Box bounds; // frames and reservations, in the node's coordinates
};

struct PlanChild {
    uint32_t node;
    double dx, dy;
};

// A handle on an arrangement: a node seen through an offset, with what packing and
// scoring need at hand.
struct Plan {
    uint32_t node = 0;
    double dx = 0;
    double dy = 0;
    Box bounds;
    Profile left;  // leftmost left edge per widened height
    Profile right; // rightmost right edge per widened height
    Rect card;     // the card of the subtree's own position, when the plan is a subtree's
};

class PlanArena {
public:
    explicit PlanArena(double halfSpacing) : m_halfSpacing(halfSpacing) {}

    // Room for about `positions` cards with their arrangements, to avoid regrowing.
    void reserve(size_t positions);

    struct Mark {
        size_t nodes, children, segments, runs;
    };
    size_t nodeCount() const { return m_nodes.size(); }
    Mark mark() const { return {m_nodes.size(), m_children.size(), m_segments.size(), m_runs.size()}; }
    // Forgets everything made since `mark`; no plan kept from before refers to it.
    void rollback(const Mark &mark);

    Plan card(uint32_t position, const Rect &frame, bool sideEntry);
    // Cards standing one below the other, each `spacing` below the previous one.
    Plan column(const std::vector<std::pair<uint32_t, Rect>> &cards, bool sideEntry);
    static Plan shifted(Plan plan, double dx, double dy)
    {
        plan.dx += dx;
        plan.dy += dy;
        plan.bounds = plan.bounds.shifted(dx, dy);
        plan.left.dx += dx;
        plan.left.dy += dy;
        plan.right.dx += dx;
        plan.right.dy += dy;
        plan.card = plan.card.offsetBy(dx, dy);
        return plan;
    }
    // The union of the parts; `card` stays unset. Profiles are merged from the last part
    // up, so parts listed top to bottom cost only the upper ones.
    Plan group(std::span<const Plan> parts);
    Plan group(std::initializer_list<Plan> parts) { return group(std::span<const Plan>(parts.begin(), parts.size())); }
    // The union of plans already moved into place, whose profiles the caller merged.
    Plan group(std::span<const Plan> parts, const Profile &left, const Profile &right);
    Profile merge(const Profile &a, const Profile &b, bool takeMax);
    // A plan covered by `reservation`, with a manager's fixed routes.
    Plan reserved(const Plan &plan, const Rect &reservation, uint32_t manager, const std::vector<ChartSegment> &routes);

    // The shift that puts every rectangle of the next plan at least spacing + lane right of
    // every rectangle of the placed ones that is vertically closer than the spacing (it
    // may be negative); 0 when no pair is that close. Costs the runs of both profiles down to
    // where one of them ends.
    double packShift(const Profile &placedRight, const Profile &nextLeft, double spacing, double lane) const;
    // The smallest top of a rectangle q of `plan` with q.minX < maxXLimit and
    // minX < q.maxX + spacing; infinity when there is none.
    double minTop(const Plan &plan, double minX, double maxXLimit, double spacing) const;

    struct Visitor {
        virtual ~Visitor() = default;
        virtual void card(uint32_t position, const Rect &frame, bool sideEntry) = 0;
        virtual void reservation(const Rect &frame) = 0;
        virtual void routes(uint32_t manager, const ChartSegment *segments, size_t count, double dx, double dy) = 0;
    };
    // Visits every leaf of `plan` moved by (dx, dy); iterative.
    void visit(const Plan &plan, double dx, double dy, Visitor &visitor) const;

private:
    struct Cursor;
    struct Emitter {
        int32_t head = noIndex;
        int32_t last = noIndex;
    };
    Cursor cursor(const Profile &profile) const;
    void load(Cursor &c) const;
    void advance(Cursor &c) const;
    void emit(Emitter &e, double y0, double y1, double x);
    Profile finish(Emitter &e, Cursor rest);
    Profile single(double y0, double y1, double x);
    uint32_t addNode(const PlanNode &node);

    double m_halfSpacing;
    std::vector<PlanNode> m_nodes;
    std::vector<PlanChild> m_children;
    std::vector<ChartSegment> m_segments;
    std::vector<ProfileRun> m_runs;
};

} // namespace ChartLayoutEngine
