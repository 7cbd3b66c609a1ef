#include "core/chart/chart_layout.h"

#include "core/chart/chart_layout_engine.h"
#include "core/model/organization.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace ChartLayoutEngine {

namespace {

// Cards from which starting a thread for the connectors pays.
constexpr size_t connectorsApartFrom = 2000;

} // namespace

double Metrics::effectiveHeight(const Position &position) const
{
    return position.reportingCallout ? cardHeight + calloutBand : cardHeight;
}

Metrics metrics(std::optional<double> targetAspectRatio, double cardHeight)
{
    Metrics m;
    m.cardHeight = cardHeight;
    if (targetAspectRatio) {
        m.pageBalanced = true;
        m.aspectRatio = *targetAspectRatio;
        m.spacing = 24;
        m.levelGap = 40;
    }
    return m;
}

Metrics checkedMetrics(const Organization &organization, std::optional<double> targetAspectRatio, double cardHeight)
{
    organization.validate();
    return checkedMetrics(targetAspectRatio, cardHeight);
}

Metrics checkedMetrics(std::optional<double> targetAspectRatio, double cardHeight)
{
    if (!std::isfinite(cardHeight) || cardHeight < 112)
        throw OrganizationError::invalid("Chart cards must be at least 112 points tall.");
    if (targetAspectRatio && (!std::isfinite(*targetAspectRatio) || *targetAspectRatio <= 0))
        throw OrganizationError::invalid("The page layout aspect ratio must be positive.");
    return metrics(targetAspectRatio, cardHeight);
}

Tree tree(const Organization &organization)
{
    const auto &positions = organization.positions;
    Tree t;
    t.children.resize(positions.size());
    t.isAssistant.resize(positions.size());
    std::unordered_map<std::string_view, uint32_t> indexByID;
    indexByID.reserve(positions.size());
    for (uint32_t i = 0; i < positions.size(); ++i) {
        indexByID.emplace(positions[i].id, i);
        t.isAssistant[i] = positions[i].isAssistantPosition();
    }
    for (uint32_t i = 0; i < positions.size(); ++i) {
        const auto &manager = positions[i].managerID;
        auto found = manager && !manager->empty() ? indexByID.find(*manager) : indexByID.end();
        if (found == indexByID.end())
            t.roots.push_back(i);
        else
            t.children[found->second].push_back(i);
    }
    auto bySiblingOrder = [&](uint32_t a, uint32_t b) {
        const int64_t oa = positions[a].siblingOrder.value_or(0);
        const int64_t ob = positions[b].siblingOrder.value_or(0);
        if (oa != ob)
            return oa < ob;
        return positions[a].id < positions[b].id;
    };
    std::sort(t.roots.begin(), t.roots.end(), bySiblingOrder);
    for (auto &list : t.children)
        std::sort(list.begin(), list.end(), bySiblingOrder);
    return t;
}

double score(const Metrics &m, double width, double height)
{
    if (m.pageBalanced) {
        const double page = std::max((width + 80) / m.aspectRatio, height + 80);
        return page * page + 0.02 * width * height;
    }
    return width * height + 0.35 * width * width;
}

std::vector<size_t> ranked(const std::vector<double> &scores)
{
    std::vector<size_t> order, buffer;
    ranked(scores, order, buffer);
    return order;
}

void ranked(const std::vector<double> &scores, std::vector<size_t> &order, std::vector<size_t> &buffer)
{
    order.resize(scores.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto before = [&](size_t a, size_t b) {
        const double difference = scores[a] - scores[b];
        if (std::abs(difference) < 1e-6)
            return a < b;
        return scores[a] < scores[b];
    };
    // Bottom-up merge sort: stable, and safe with a comparison that is not transitive.
    buffer.resize(order.size());
    for (size_t width = 1; width < order.size(); width *= 2) {
        for (size_t lo = 0; lo < order.size(); lo += 2 * width) {
            const size_t mid = std::min(lo + width, order.size());
            const size_t hi = std::min(lo + 2 * width, order.size());
            size_t i = lo, j = mid, out = lo;
            while (i < mid && j < hi)
                buffer[out++] = before(order[j], order[i]) ? order[j++] : order[i++];
            while (i < mid)
                buffer[out++] = order[i++];
            while (j < hi)
                buffer[out++] = order[j++];
        }
        order.swap(buffer);
    }
}

ChartLayout assemble(const Organization &organization, const Tree &tree, const Metrics &metrics,
                     const Placement &placement, const std::vector<uint32_t> *byID)
{
    const auto &positions = organization.positions;
    ChartLayout layout;
    // A large chart's connectors are drawn on another thread while its cards and lines are listed.
    std::future<std::vector<ChartSegment>> segments =
        std::async(positions.size() >= connectorsApartFrom ? std::launch::async : std::launch::deferred,
                   [&] { return connectors(organization, tree, metrics, placement); });
    std::vector<uint32_t> placed;
    if (byID) {
        std::copy_if(byID->begin(), byID->end(), std::back_inserter(placed),
                     [&](uint32_t i) { return placement.frames[i].has_value(); });
    } else {
        for (uint32_t i = 0; i < positions.size(); ++i) {
            if (placement.frames[i])
                placed.push_back(i);
        }
        std::sort(placed.begin(), placed.end(),
                  [&](uint32_t a, uint32_t b) { return positions[a].id < positions[b].id; });
    }
    layout.nodes.reserve(placed.size());
    for (uint32_t i : placed)
        layout.nodes.push_back({positions[i].id, *placement.frames[i]});

    for (const Position &p : positions) {
        if (p.managerID)
            layout.edges.push_back({*p.managerID, p.id, false});
        for (const std::string &dotted : p.dottedManagerIDs)
            layout.edges.push_back({dotted, p.id, true});
    }

    layout.primarySegments = segments.get();
    const Rect &b = placement.bounds;
    if (!b.isNull())
        layout.size = {std::max(b.maxX() + metrics.margin, 320.0), std::max(b.maxY() + metrics.margin, 240.0)};
    return layout;
}

} // namespace ChartLayoutEngine

ChartLayout ChartLayout::build(const Organization &organization, std::optional<double> targetAspectRatio,
                               double cardHeight)
{
    using namespace ChartLayoutEngine;
    const Metrics m = checkedMetrics(organization, targetAspectRatio, cardHeight);
    const Tree t = tree(organization);
    return assemble(organization, t, m, place(organization, t, m));
}

ChartLayoutMemo::ChartLayoutMemo() : m_placement(std::make_unique<ChartLayoutEngine::PlacementMemo>()) {}

ChartLayoutMemo::ChartLayoutMemo(ChartLayoutMemo &&) noexcept = default;
ChartLayoutMemo &ChartLayoutMemo::operator=(ChartLayoutMemo &&) noexcept = default;
ChartLayoutMemo::~ChartLayoutMemo() = default;

ChartLayout ChartLayoutMemo::build(const Organization &organization, std::optional<double> targetAspectRatio,
                                   double cardHeight)
{
    return build(organization, targetAspectRatio, cardHeight, false, nullptr);
}

ChartLayout ChartLayoutMemo::build(const Organization &organization, std::optional<double> targetAspectRatio,
                                   double cardHeight, bool validated, const std::vector<bool> *callouts)
{
    using namespace ChartLayoutEngine;
    const Metrics m = validated ? checkedMetrics(targetAspectRatio, cardHeight)
                                : checkedMetrics(organization, targetAspectRatio, cardHeight);
    const Tree t = tree(organization);
    std::vector<double> heights;
    heights.reserve(organization.positions.size());
    for (size_t i = 0; i < organization.positions.size(); ++i) {
        const bool callout = callouts ? (*callouts)[i] : organization.positions[i].reportingCallout.has_value();
        heights.push_back(callout ? m.cardHeight + m.calloutBand : m.cardHeight);
    }
    const Placement placement = m_placement->place(organization, t, m, heights);
    return assemble(organization, t, m, placement, &m_placement->byID());
}

std::vector<ChartNode> ChartLayout::routingNodes() const
{
    std::vector<ChartNode> result = nodes;
    std::unordered_set<std::string> taken;
    taken.reserve(nodes.size() + regions.size());
    for (const ChartNode &node : nodes)
        taken.insert(node.id);
    for (size_t i = 0; i < regions.size(); ++i) {
        std::string id = "__shared_area_header_" + std::to_string(i);
        while (taken.contains(id))
            id += "_";
        taken.insert(id);
        const Rect &r = regions[i].frame;
        result.push_back({id, Rect::make(r.minX() + 12, r.minY() + 8, r.width() - 24, 42)});
    }
    return result;
}
