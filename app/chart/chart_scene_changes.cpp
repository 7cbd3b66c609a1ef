#include "app/chart/chart_scene_changes.h"

#include "core/chart/chart_scene.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

// Ink reaches past a route's points by half the widest line; the arrowheads by less.
constexpr double inkReach = DottedInk::selectedLineWidth;

// Where a straight piece of a route lies, reached out by the widest line.
Rect pieceArea(Point a, Point b)
{
    return Rect{{std::min(a.x, b.x) - inkReach, std::min(a.y, b.y) - inkReach},
                {std::abs(a.x - b.x) + 2 * inkReach, std::abs(a.y - b.y) + 2 * inkReach}};
}

// Where a route's ink lies, piece by piece.
void addRouteAreas(std::vector<Rect> &areas, const DottedRoute &route)
{
    const std::vector<Point> &points = route.points;
    for (size_t p = 0; p < points.size(); ++p)
        areas.push_back(pieceArea(points[p], points[p + 1 < points.size() ? p + 1 : p]));
}

// The cards that draw otherwise in `next` than in `shown`, found without a look-up per card
// where both scenes make that possible (the same cards in the same order, members that are
// the cards themselves, no other charts): an edit of a 20,000-card chart compares in place.
// Nothing when the cards must be compared one by one.
std::optional<std::vector<std::string>> cardsDrawnOtherwise(const ChartScene &shown, const ChartScene &next)
{
    const std::vector<Position> &was = shown.presentation().organization.positions;
    const std::vector<Position> &is = next.presentation().organization.positions;
    if (was.size() != is.size() || !shown.membersAreTheCards() || !next.membersAreTheCards() ||
        !shown.linksNoSheets() || !next.linksNoSheets())
        return std::nullopt;
    for (size_t i = 0; i < was.size(); ++i) {
        if (was[i].id != is[i].id)
            return std::nullopt;
    }
    std::vector<std::string> changed;
    for (size_t i = 0; i < was.size(); ++i) {
        if (!(was[i] == is[i]))
            changed.push_back(is[i].id);
    }
    // A card that gained or lost reports shows its branch button otherwise.
    for (const std::string &id : shown.managersWithReports()) {
        if (!next.hasReports(id))
            changed.push_back(id);
    }
    for (const std::string &id : next.managersWithReports()) {
        if (!shown.hasReports(id))
            changed.push_back(id);
    }
    // A card missing from the counts stands for one position.
    const auto &shownCounts = shown.presentation().counts;
    const auto &nextCounts = next.presentation().counts;
    const auto countIn = [](const std::unordered_map<std::string, int64_t> &counts, const std::string &id) {
        const auto found = counts.find(id);
        return found == counts.end() ? int64_t(1) : found->second;
    };
    for (const auto &[id, count] : nextCounts) {
        if (countIn(shownCounts, id) != count)
            changed.push_back(id);
    }
    for (const auto &[id, count] : shownCounts) {
        if (countIn(nextCounts, id) != count)
            changed.push_back(id);
    }
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    return changed;
}

// Whether a card draws alike in both scenes: all its drawing reads of the scene is equal.
bool cardLooksAlike(const ChartScene &shown, const ChartScene &next, const std::string &id)
{
    const Position *was = shown.position(id);
    const Position *is = next.position(id);
    if (!was || !is)
        return !was && !is;
    if (!(*was == *is) || shown.hasReports(id) != next.hasReports(id))
        return false;
    const auto count = [&](const ChartScene &scene) {
        const auto found = scene.presentation().counts.find(id);
        return found == scene.presentation().counts.end() ? int64_t(1) : found->second;
    };
    if (count(shown) != count(next))
        return false;
    // Compared in place: this runs for every card of an edited chart.
    const auto sameMembers = [](const std::vector<const Position *> &a, const std::vector<const Position *> &b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const Position *p, const Position *q) { return p->id == q->id; });
    };
    const auto sameSheets = [](const std::vector<const OrganizationSheet *> &a,
                               const std::vector<const OrganizationSheet *> &b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const OrganizationSheet *p, const OrganizationSheet *q) { return p->name == q->name; });
    };
    return sameMembers(shown.membersOf(id), next.membersOf(id)) &&
           sameSheets(shown.linkedSheetsOf(id), next.linkedSheetsOf(id));
}

} // namespace

namespace ChartSceneChanges {

std::optional<std::vector<Rect>> changedAreas(const ChartScene &shown, const ChartScene &next, bool layoutsEqual)
{
    if ((!layoutsEqual && &shown.layout() != &next.layout()) || next.routes().size() < shown.routes().size())
        return std::nullopt;
    std::vector<Rect> areas;
    const std::vector<DottedRoute> &routes = next.routes();
    for (size_t i = shown.routes().size(); i < routes.size(); ++i)
        addRouteAreas(areas, routes[i]);
    if (&shown.presentation() == &next.presentation())
        return areas;
    const std::vector<ChartNode> &nodes = next.layout().nodes;
    const std::optional<std::vector<std::string>> changedCards = cardsDrawnOtherwise(shown, next);
    if (!changedCards) {
        for (const ChartNode &node : nodes) {
            if (!cardLooksAlike(shown, next, node.id))
                areas.push_back(node.frame.insetBy(-4, -4));
        }
        return areas;
    }
    // The layout's nodes are sorted by id.
    for (const std::string &id : *changedCards) {
        const auto node = std::lower_bound(nodes.begin(), nodes.end(), id,
                                           [](const ChartNode &n, const std::string &wanted) { return n.id < wanted; });
        if (node != nodes.end() && node->id == id)
            areas.push_back(node->frame.insetBy(-4, -4));
    }
    return areas;
}

void addSelectionAreas(std::vector<Rect> &areas, const ChartScene &shown, const std::optional<std::string> &was,
                       const ChartScene &next, const std::optional<std::string> &is)
{
    if (was == is)
        return;
    const std::vector<ChartNode> &nodes = next.layout().nodes;
    for (const std::optional<std::string> &selection : {was, is}) {
        if (!selection)
            continue;
        const auto node = std::lower_bound(nodes.begin(), nodes.end(), *selection,
                                           [](const ChartNode &n, const std::string &id) { return n.id < id; });
        if (node != nodes.end() && node->id == *selection)
            areas.push_back(node->frame.insetBy(-4, -4));
    }
    // The related lines; their corners and arrows lie within their pieces' areas.
    for (const ChartScene *scene : {&shown, &next}) {
        for (const DottedRoute &route : scene->routes()) {
            if (route.isRelated(was) || route.isRelated(is))
                addRouteAreas(areas, route);
        }
        if (&shown == &next)
            break;
    }
}

} // namespace ChartSceneChanges
