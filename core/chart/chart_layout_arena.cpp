#include "core/chart/chart_layout_arena.h"

#include <cassert>
#include <queue>

namespace ChartLayoutEngine {

// A position in a profile: the current run, possibly with its top already consumed.
struct PlanArena::Cursor {
    int32_t run = noIndex;
    double dx = 0, dy = 0; // offset of `run`
    double start = 0, end = 0, x = 0;
    bool partial = false;
    bool valid() const { return run != noIndex; }
};

void PlanArena::reserve(size_t positions)
{
    // Districts peak at about 9 nodes, 10 children, 17 runs and 3 segments per position;
    // reserving touches no memory, while regrowing copies everything made so far.
    m_nodes.reserve(10 * positions);
    m_children.reserve(11 * positions);
    m_runs.reserve(18 * positions);
    m_segments.reserve(3 * positions);
}

void PlanArena::rollback(const Mark &mark)
{
    m_nodes.resize(mark.nodes);
    m_children.resize(mark.children);
    m_segments.resize(mark.segments);
    m_runs.resize(mark.runs);
}

uint32_t PlanArena::addNode(const PlanNode &node)
{
    m_nodes.push_back(node);
    return static_cast<uint32_t>(m_nodes.size() - 1);
}

PlanArena::Cursor PlanArena::cursor(const Profile &profile) const
{
    Cursor c;
    c.run = profile.head;
    c.dx = profile.dx;
    c.dy = profile.dy;
    load(c);
    return c;
}

void PlanArena::load(Cursor &c) const
{
    c.partial = false;
    if (c.run == noIndex)
        return;
    const ProfileRun &r = m_runs[c.run];
    c.start = r.y0 + c.dy;
    c.end = r.y1 + c.dy;
    c.x = r.x + c.dx;
}

void PlanArena::advance(Cursor &c) const
{
    const ProfileRun &r = m_runs[c.run];
    c.dx += r.nextDx;
    c.dy += r.nextDy;
    c.run = r.next;
    load(c);
}

// Appends a run to a list being built; joins it to the previous run when they touch and
// have the same x, which keeps the profiles of stacks and columns one run long.
void PlanArena::emit(Emitter &e, double y0, double y1, double x)
{
    if (!(y0 < y1))
        return;
    if (e.last != noIndex) {
        ProfileRun &last = m_runs[e.last];
        if (last.y1 == y0 && last.x == x) {
            last.y1 = y1;
            return;
        }
    }
    m_runs.push_back({y0, y1, x, noIndex, 0, 0});
    const auto index = static_cast<int32_t>(m_runs.size() - 1);
    if (e.last != noIndex)
        m_runs[e.last].next = index;
    else
        e.head = index;
    e.last = index;
}

// Ends a list being built with the unread rest of another list, shared rather than copied.
Profile PlanArena::finish(Emitter &e, Cursor rest)
{
    if (rest.valid() && rest.partial) {
        emit(e, rest.start, rest.end, rest.x);
        const ProfileRun &r = m_runs[rest.run];
        rest.dx += r.nextDx;
        rest.dy += r.nextDy;
        rest.run = r.next;
    }
    if (!rest.valid())
        return {e.head, 0, 0};
    if (e.last == noIndex)
        return {rest.run, rest.dx, rest.dy};
    ProfileRun &last = m_runs[e.last];
    last.next = rest.run;
    last.nextDx = rest.dx;
    last.nextDy = rest.dy;
    return {e.head, 0, 0};
}

Profile PlanArena::single(double y0, double y1, double x)
{
    Emitter e;
    emit(e, y0, y1, x);
    return {e.head, 0, 0};
}

// Pointwise maximum (or minimum) of two profiles. Walks both only down to where one of
// them ends; the rest of the longer one is shared.
Profile PlanArena::merge(const Profile &pa, const Profile &pb, bool takeMax)
{
    if (pa.head == noIndex)
        return pb;
    if (pb.head == noIndex)
        return pa;
    Cursor a = cursor(pa), b = cursor(pb);
    Emitter e;
    while (a.valid() && b.valid()) {
        Cursor &first = a.start <= b.start ? a : b;
        Cursor &second = a.start <= b.start ? b : a;
        if (first.start < second.start) {
            if (first.end <= second.start) {
                emit(e, first.start, first.end, first.x);
                advance(first);
            } else {
                emit(e, first.start, second.start, first.x);
                first.start = second.start;
                first.partial = true;
            }
            continue;
        }
        const double end = std::min(a.end, b.end);
        emit(e, a.start, end, takeMax ? std::max(a.x, b.x) : std::min(a.x, b.x));
        for (Cursor *c : {&a, &b}) {
            if (c->end <= end) {
                advance(*c);
            } else {
                c->start = end;
                c->partial = true;
            }
        }
    }
    return finish(e, a.valid() ? a : b);
}

namespace {

PlanNode cardNode(uint32_t position, const Rect &frame, bool sideEntry)
{
    PlanNode node;
    node.kind = PlanNode::Kind::card;
    node.sideEntry = sideEntry;
    node.position = position;
    node.rect = frame;
    node.bounds = Box::of(frame);
    return node;
}

} // namespace

Plan PlanArena::card(uint32_t position, const Rect &frame, bool sideEntry)
{
    const PlanNode node = cardNode(position, frame, sideEntry);
    Plan plan;
    plan.node = addNode(node);
    plan.bounds = node.bounds;
    plan.card = frame;
    plan.left = single(frame.minY() - m_halfSpacing, frame.maxY() + m_halfSpacing, frame.minX());
    plan.right = single(frame.minY() - m_halfSpacing, frame.maxY() + m_halfSpacing, frame.maxX());
    return plan;
}

Plan PlanArena::column(const std::vector<std::pair<uint32_t, Rect>> &cards, bool sideEntry)
{
    PlanNode node;
    node.first = static_cast<uint32_t>(m_children.size());
    node.count = static_cast<uint32_t>(cards.size());
    for (const auto &[position, frame] : cards) {
        const PlanNode leaf = cardNode(position, frame, sideEntry);
        node.bounds.add(leaf.bounds);
        m_children.push_back({addNode(leaf), 0, 0});
    }
    Plan plan;
    plan.bounds = node.bounds;
    plan.node = addNode(node);
    // The cards are in height order without overlap, so each profile is built in one pass.
    Emitter left, right;
    for (const auto &[position, frame] : cards)
        emit(left, frame.minY() - m_halfSpacing, frame.maxY() + m_halfSpacing, frame.minX());
    for (const auto &[position, frame] : cards)
        emit(right, frame.minY() - m_halfSpacing, frame.maxY() + m_halfSpacing, frame.maxX());
    plan.left = {left.head, 0, 0};
    plan.right = {right.head, 0, 0};
    return plan;
}

Plan PlanArena::group(std::span<const Plan> parts)
{
    assert(!parts.empty() && "a group needs parts");
    Profile left = parts.back().left, right = parts.back().right;
    for (size_t i = parts.size() - 1; i-- > 0;) {
        left = merge(parts[i].left, left, false);
        right = merge(parts[i].right, right, true);
    }
    return group(parts, left, right);
}

Plan PlanArena::group(std::span<const Plan> parts, const Profile &left, const Profile &right)
{
    if (parts.size() == 1) {
        Plan plan = parts.front();
        plan.card = Rect{};
        plan.left = left;
        plan.right = right;
        return plan;
    }
    PlanNode node;
    node.first = static_cast<uint32_t>(m_children.size());
    node.count = static_cast<uint32_t>(parts.size());
    for (const Plan &part : parts) {
        m_children.push_back({part.node, part.dx, part.dy});
        node.bounds.add(part.bounds);
    }
    Plan plan;
    plan.bounds = node.bounds;
    plan.node = addNode(node);
    plan.left = left;
    plan.right = right;
    return plan;
}

Plan PlanArena::reserved(const Plan &plan, const Rect &reservation, uint32_t manager,
                         const std::vector<ChartSegment> &routes)
{
    PlanNode routesNode;
    routesNode.kind = PlanNode::Kind::routes;
    routesNode.position = manager;
    routesNode.first = static_cast<uint32_t>(m_segments.size());
    routesNode.count = static_cast<uint32_t>(routes.size());
    m_segments.insert(m_segments.end(), routes.begin(), routes.end());

    PlanNode reservationNode;
    reservationNode.kind = PlanNode::Kind::reservation;
    reservationNode.rect = reservation;
    reservationNode.bounds = Box::of(reservation);

    PlanNode node;
    node.first = static_cast<uint32_t>(m_children.size());
    node.count = 3;
    m_children.push_back({plan.node, plan.dx, plan.dy});
    m_children.push_back({addNode(routesNode), 0, 0});
    m_children.push_back({addNode(reservationNode), 0, 0});
    node.bounds = plan.bounds;
    node.bounds.add(reservationNode.bounds);

    Plan result;
    result.bounds = node.bounds;
    result.node = addNode(node);
    result.card = plan.card;
    // The reservation covers the whole arrangement, so it alone makes both profiles.
    const double y0 = reservation.minY() - m_halfSpacing, y1 = reservation.maxY() + m_halfSpacing;
    result.left = single(y0, y1, std::min(reservation.minX(), plan.bounds.x0));
    result.right = single(y0, y1, std::max(reservation.maxX(), plan.bounds.x1));
    return result;
}

double PlanArena::packShift(const Profile &placedRight, const Profile &nextLeft, double spacing, double lane) const
{
    Cursor a = cursor(placedRight), b = cursor(nextLeft);
    bool found = false;
    double shift = 0;
    while (a.valid() && b.valid()) {
        if (a.start < b.end && b.start < a.end) {
            const double needed = a.x + spacing + lane - b.x;
            shift = found ? std::max(shift, needed) : needed;
            found = true;
        }
        if (a.end < b.end) {
            advance(a);
        } else if (b.end < a.end) {
            advance(b);
        } else {
            advance(a);
            advance(b);
        }
    }
    return shift;
}

double PlanArena::minTop(const Plan &plan, double minX, double maxXLimit, double spacing) const
{
    struct Entry {
        double top;
        uint32_t node;
        double dx, dy;
        bool operator>(const Entry &o) const { return top > o.top; }
    };
    auto reaches = [&](const Box &b) { return !b.isEmpty() && b.x0 < maxXLimit && minX < b.x1 + spacing; };
    double best = std::numeric_limits<double>::infinity();
    // Best first by the top of each part's bounds: the first qualifying rectangle ends it.
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    if (reaches(plan.bounds))
        queue.push({plan.bounds.y0, plan.node, plan.dx, plan.dy});
    while (!queue.empty()) {
        const Entry e = queue.top();
        queue.pop();
        if (e.top >= best)
            break;
        const PlanNode &node = m_nodes[e.node];
        switch (node.kind) {
        case PlanNode::Kind::card:
        case PlanNode::Kind::reservation: {
            const Rect r = node.rect.offsetBy(e.dx, e.dy);
            if (r.minX() < maxXLimit && minX < r.maxX() + spacing)
                best = std::min(best, r.minY());
            break;
        }
        case PlanNode::Kind::routes:
            break;
        case PlanNode::Kind::group:
            for (uint32_t i = node.first; i < node.first + node.count; ++i) {
                const PlanChild &child = m_children[i];
                const double dx = e.dx + child.dx, dy = e.dy + child.dy;
                const Box b = m_nodes[child.node].bounds.shifted(dx, dy);
                if (reaches(b) && b.y0 < best)
                    queue.push({b.y0, child.node, dx, dy});
            }
            break;
        }
    }
    return best;
}

void PlanArena::visit(const Plan &plan, double dx, double dy, Visitor &visitor) const
{
    std::vector<PlanChild> stack{{plan.node, plan.dx + dx, plan.dy + dy}};
    while (!stack.empty()) {
        const PlanChild at = stack.back();
        stack.pop_back();
        const PlanNode &node = m_nodes[at.node];
        switch (node.kind) {
        case PlanNode::Kind::card:
            visitor.card(node.position, node.rect.offsetBy(at.dx, at.dy), node.sideEntry);
            break;
        case PlanNode::Kind::reservation:
            visitor.reservation(node.rect.offsetBy(at.dx, at.dy));
            break;
        case PlanNode::Kind::routes:
            visitor.routes(node.position, m_segments.data() + node.first, node.count, at.dx, at.dy);
            break;
        case PlanNode::Kind::group:
            for (uint32_t i = node.first + node.count; i-- > node.first;) {
                const PlanChild &child = m_children[i];
                stack.push_back({child.node, at.dx + child.dx, at.dy + child.dy});
            }
            break;
        }
    }
}

} // namespace ChartLayoutEngine
