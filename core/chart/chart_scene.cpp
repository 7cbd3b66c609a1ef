#include "core/chart/chart_scene.h"

#include "core/chart/reporting_callouts.h"
#include "core/model/employee_directory.h"
#include "core/document/organization_archive.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <string_view>

namespace {

Organization focusedOn(Organization organization, const std::string &personID, const std::string &department)
{
    if (!personID.empty())
        return organization.focused({personID});
    if (department.empty())
        return organization; // moved, not copied
    // Exact match on purpose: a department no position carries focuses on nothing.
    std::set<std::string> ids;
    for (const Position &p : organization.positions) {
        if (p.department == department)
            ids.insert(p.id);
    }
    return organization.focused(ids);
}

// Cards from which building a scene's parts on threads of their own pays.
constexpr size_t threadsFrom = 2000;

// Whether two organizations get the same layout: it reads of each card only what is compared
// here, and the callout a card without one gets follows from its managers, compared too.
bool laidOutAlike(const Organization &a, const Organization &b)
{
    if (a.positions.size() != b.positions.size())
        return false;
    for (size_t i = 0; i < a.positions.size(); ++i) {
        const Position &p = a.positions[i];
        const Position &q = b.positions[i];
        if (p.id != q.id || p.managerID != q.managerID || p.dottedManagerIDs != q.dottedManagerIDs ||
            p.isAssistantPosition() != q.isAssistantPosition() ||
            p.siblingOrder.value_or(0) != q.siblingOrder.value_or(0) || p.sharedReportRootID != q.sharedReportRootID ||
            p.reportingCallout.has_value() != q.reportingCallout.has_value())
            return false;
    }
    return true;
}

const std::vector<PositionGroup> &groupsOf(const OrganizationArchive &archive)
{
    static const std::vector<PositionGroup> none;
    return archive.groups ? *archive.groups : none;
}

// Whether hiding the collapsed subtrees and projecting the groups give `scoped` back as it
// is: nothing is hidden, there are no groups, no callout is missing, and it is valid (so
// no dotted line names a missing position, which hiding would drop). The last is left to
// isValid.
bool projectsToItselfIfValid(const Organization &scoped, const std::set<std::string> &collapsed,
                             const std::vector<PositionGroup> &groups)
{
    return groups.empty() && scoped.countShown(collapsed) == scoped.positions.size() &&
           ReportingCallouts::complete(scoped);
}

bool isValid(const Organization &organization)
{
    try {
        organization.validate();
    } catch (const OrganizationError &) {
        return false;
    }
    return true;
}

} // namespace

ChartScene::ChartScene(const OrganizationArchive &archive, const std::string &sheetID, const std::string &personID,
                       const std::string &department, const std::set<std::string> &collapsed,
                       const std::set<std::string> &expandedGroups, const ChartPrintSettings &settings,
                       const RouteSource &routeSource, const Content *previous, ChartLayoutMemo &layoutMemo)
{
    auto content = std::make_shared<Content>();
    Organization scoped = focusedOn(archive.organizationIn(sheetID), personID, department);
    const std::launch apart = scoped.positions.size() >= threadsFrom ? std::launch::async : std::launch::deferred;
    // A chart with names shown is mostly its organization as it is: its cards are then
    // checked on another thread while the rest is made of them, and cards that fail are
    // projected again as any other chart's, which refuses them.
    const bool unchecked = !settings.hideNames && projectsToItselfIfValid(scoped, collapsed, groupsOf(archive));
    if (unchecked) {
        content->present(std::move(scoped), settings);
        content->scopedOrganization = content->visibleOrganization = &content->presentation.organization;
    } else {
        content->project(std::move(scoped), archive, collapsed, expandedGroups, settings);
    }
    std::future<bool> valid = std::async(unchecked ? apart : std::launch::deferred,
                                         [&cards = content->presentation.organization, unchecked] {
                                             return !unchecked || isValid(cards);
                                         });
    auto [counted, collected] = content->collectApart(apart, archive, settings, sheetID);
    if (!valid.get()) {
        collected = {}; // waits for what reads the cards
        counted = {};
        Organization again = std::move(content->presentation.organization);
        content = std::make_shared<Content>();
        content->project(std::move(again), archive, collapsed, expandedGroups, settings);
        std::tie(counted, collected) = content->collectApart(apart, archive, settings, sheetID);
    }
    const Organization &cards = content->presentation.organization;
    if (previous && laidOutAlike(previous->presentation.organization, cards)) {
        content->layout = previous->layout;
        content->layoutGrids = previous->layoutGrids;
    } else {
        content->layout = std::make_shared<const ChartLayout>(layoutMemo.layout(cards, settings, true));
        content->layoutGrids = std::make_shared<MadeOnce<ChartLayoutGrids>>();
        makeGridsAhead(content->layout, content->layoutGrids);
    }
    RouteState routes = routeSource(*content->layout);
    m_routes = std::move(routes.routes);
    m_routesPending = routes.pending;
    collected.get();
    counted.get();
    m_content = std::move(content);
}

ChartScene::ChartScene(std::shared_ptr<const Content> content, std::shared_ptr<const std::vector<DottedRoute>> routes,
                       bool pending)
    : m_content(std::move(content)), m_routes(std::move(routes)), m_routesPending(pending)
{
}

namespace {

// Runs what it is given on a thread of its own, oldest first.
class Worker {
public:
    Worker() : m_thread([this] { run(); }) {}
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;
    ~Worker()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_woken.notify_one();
        m_thread.join();
    }

    void post(std::function<void()> task)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_woken.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        while (true) {
            m_woken.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return;
            std::vector<std::function<void()>> tasks = std::move(m_tasks);
            m_tasks.clear();
            lock.unlock();
            for (std::function<void()> &task : tasks) {
                task();
                task = nullptr; // what it holds goes before the next one runs
            }
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_woken;
    std::vector<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread; // last: started once the rest is there
};

// Whether the workers below are there: they go when the program ends, maybe before the last scenes.
std::atomic<bool> workersRun{false};

// Freeing the tens of thousands of positions of a large chart takes milliseconds a window's
// edit should not wait, and so does filing a new layout's cards for painting.
struct Workers {
    Worker releaser;
    Worker ahead;
    Workers() { workersRun = true; }
    ~Workers() { workersRun = false; }
};

Workers &workers()
{
    static Workers made;
    return made;
}

} // namespace

// Freed on the releaser's thread; here instead once the program is ending and it is gone.
void releaseElsewhere(std::shared_ptr<const void> item)
{
    Workers &w = workers();
    if (workersRun)
        w.releaser.post([item = std::move(item)] {});
}

void ChartScene::makeInkGridsAhead(std::shared_ptr<const DottedInk> ink,
                                   std::shared_ptr<MadeOnce<std::shared_ptr<const DottedInkGrids>>> grids)
{
    Workers &w = workers();
    if (workersRun)
        w.ahead.post([ink = std::move(ink), grids = std::move(grids)] {
            grids->get([&] { return std::make_shared<const DottedInkGrids>(*ink); });
        });
}

void ChartScene::makeGridsAhead(std::shared_ptr<const ChartLayout> layout,
                                std::shared_ptr<MadeOnce<ChartLayoutGrids>> grids)
{
    Workers &w = workers();
    if (workersRun)
        w.ahead.post([layout = std::move(layout), grids = std::move(grids)] {
            grids->get([&] { return ChartLayoutGrids(*layout); });
        });
}

ChartScene::~ChartScene()
{
    // Scenes of one chart share their content; only the last one lets it go.
    if (m_content.use_count() == 1)
        releaseElsewhere(std::move(m_content));
    // Thousands of routes, each a few allocations, as lines come in.
    if (m_routes.use_count() == 1)
        releaseElsewhere(std::move(m_routes));
    letGo(m_selectedInk);
    letGo(m_earlierInk);
    letGo(m_spareInk);
}

void ChartScene::letGo(std::optional<Ink> &ink)
{
    // Tens of thousands of strokes, with their grids: freed on another thread.
    if (ink && ink->ink.use_count() == 1)
        releaseElsewhere(std::move(ink->ink));
    if (ink && ink->grids.use_count() == 1)
        releaseElsewhere(std::move(ink->grids));
    ink.reset();
}

std::pair<std::shared_future<void>, std::future<void>>
ChartScene::Content::collectApart(std::launch apart, const OrganizationArchive &archive,
                                  const ChartPrintSettings &settings, const std::string &sheetID)
{
    std::shared_future<void> counted = std::async(apart, [this] {
                                           if (cardsToCount)
                                               presentation.countCardsShownByName();
                                           positions.reserve(presentation.organization.positions.size());
                                           for (const Position &card : presentation.organization.positions)
                                               positions.emplace(card.id, &card);
                                       }).share();
    std::future<void> collected = std::async(apart, [this, &archive, &settings, &sheetID, counted] {
        collectMembers(archive, !settings.hideNames, counted);
        collectManagersWithReports();
        collectLinkedSheets(archive, sheetID);
    });
    return {std::move(counted), std::move(collected)};
}

void ChartScene::Content::project(Organization scoped, const OrganizationArchive &archive,
                                  const std::set<std::string> &collapsed, const std::set<std::string> &expandedGroups,
                                  const ChartPrintSettings &settings)
{
    if (!projectsToItselfIfValid(scoped, collapsed, groupsOf(archive)) || !isValid(scoped)) {
        ownScoped = std::move(scoped);
        ownVisible = PositionGroup::project(ownScoped.hidingDescendants(collapsed), groupsOf(archive), expandedGroups);
        present(ownVisible, settings);
        return;
    }
    if (settings.hideNames) {
        ownScoped = std::move(scoped);
        visibleOrganization = &ownScoped;
        present(ownScoped, settings);
        return;
    }
    // With names shown every position is its own card, as it is.
    present(std::move(scoped), settings);
    scopedOrganization = visibleOrganization = &presentation.organization;
}

void ChartScene::Content::present(Organization visible, const ChartPrintSettings &settings)
{
    // What the presentation and the layout are given is valid: checked by the group
    // projection or project(), or beside the other parts before any layout.
    if (settings.hideNames) {
        presentation = ChartPrintPresentation(std::move(visible), settings, ChartPrintPresentation::Validated{});
        return;
    }
    // The cards, for the layout now; their counts can wait for collectMembers.
    presentation.organization = std::move(visible).withReportingCallouts();
    cardsToCount = true;
}

void ChartScene::Content::collectMembers(const OrganizationArchive &archive, bool namesShown,
                                         const std::shared_future<void> &counted)
{
    members.reserve(presentation.organization.positions.size());
    if (namesShown) {
        // Every position is a card of its own.
        for (const Position &p : visibleOrganization->positions)
            members.emplace(p.id, std::vector<const Position *>{&p});
    } else {
        for (const Position &card : presentation.organization.positions)
            members[card.id];
        for (const Position &p : visibleOrganization->positions) {
            const auto card = presentation.positionIDs.find(p.id);
            members[card == presentation.positionIDs.end() ? p.id : card->second].push_back(&p);
        }
    }

    membersAreTheCards = namesShown;
    // A collapsed group's card stands for the group's people, not for the card the
    // projection made of them.
    if (!groupsOf(archive).empty())
        counted.wait();
    for (const PositionGroup &group : groupsOf(archive)) {
        // A card's id is its own card's: positions merged into it have another.
        const auto card = presentation.positionIDs.find(group.id);
        if (card == presentation.positionIDs.end() || card->second != group.id)
            continue;
        membersAreTheCards = false;
        const std::set<std::string_view> memberIDs(group.memberIDs.begin(), group.memberIDs.end());
        std::vector<const Position *> &groupMembers = members[group.id];
        groupMembers.clear();
        for (const Position &p : scopedOrganization->positions) {
            if (memberIDs.contains(p.id))
                groupMembers.push_back(&p);
        }
    }

    for (auto &[id, cardMembers] : members)
        cardMembers = EmployeeDirectory::sorted(std::move(cardMembers));
}

void ChartScene::Content::collectManagersWithReports()
{
    // Taken from the scoped organization, so a collapsed card still shows it has reports.
    std::unordered_set<std::string_view> managers;
    for (const Position &p : scopedOrganization->positions) {
        if (p.managerID)
            managers.insert(*p.managerID);
    }
    for (const auto &[id, cardMembers] : members) {
        const bool manages = std::any_of(cardMembers.begin(), cardMembers.end(),
                                         [&](const Position *p) { return managers.contains(p->id); });
        if (manages)
            managersWithReports.insert(id);
    }
}

void ChartScene::Content::collectLinkedSheets(const OrganizationArchive &archive, const std::string &sheetID)
{
    otherSheets = archive.sortedSheets();
    std::erase_if(otherSheets, [&](const OrganizationSheet &s) { return s.id == sheetID; });

    // Position id -> the other sheets listing it, by index in name order.
    std::unordered_map<std::string_view, std::vector<size_t>> sheetsListing;
    for (size_t i = 0; i < otherSheets.size(); ++i) {
        for (const std::string &id : otherSheets[i].positionIDs) {
            std::vector<size_t> &listing = sheetsListing[id];
            if (listing.empty() || listing.back() != i)
                listing.push_back(i);
        }
    }

    linkedSheets.reserve(presentation.organization.positions.size());
    if (sheetsListing.empty()) {
        for (const Position &card : presentation.organization.positions)
            linkedSheets[card.id];
        linksNoSheets = true;
        return;
    }
    std::vector<size_t> found;
    for (const Position &card : presentation.organization.positions) {
        found.clear();
        const auto collect = [&](const std::string &id) {
            const auto listing = sheetsListing.find(id);
            if (listing != sheetsListing.end())
                found.insert(found.end(), listing->second.begin(), listing->second.end());
        };
        collect(card.id);
        for (const Position *member : members[card.id])
            collect(member->id);
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        std::vector<const OrganizationSheet *> &linked = linkedSheets[card.id];
        for (size_t i : found)
            linked.push_back(&otherSheets[i]);
    }
}

const Position *ChartScene::position(const std::string &cardID) const
{
    const auto found = m_content->positions.find(cardID);
    return found == m_content->positions.end() ? nullptr : found->second;
}

const std::vector<const Position *> &ChartScene::membersOf(const std::string &cardID) const
{
    static const std::vector<const Position *> none;
    const auto found = m_content->members.find(cardID);
    return found == m_content->members.end() ? none : found->second;
}

const std::vector<const OrganizationSheet *> &ChartScene::linkedSheetsOf(const std::string &cardID) const
{
    static const std::vector<const OrganizationSheet *> none;
    const auto found = m_content->linkedSheets.find(cardID);
    return found == m_content->linkedSheets.end() ? none : found->second;
}

std::shared_ptr<const DottedInk> ChartScene::ink(const std::optional<std::string> &selectedID) const
{
    if (m_selectedInk && m_selectedInk->selection == selectedID)
        return m_selectedInk->ink;
    if (m_spareInk && m_spareInk->selection == selectedID && m_spareInk->routes == m_routes->size())
        return replaceInk(*std::exchange(m_spareInk, std::nullopt));
    std::shared_ptr<const DottedInk> made;
    std::shared_ptr<MadeOnce<std::shared_ptr<const DottedInkGrids>>> grids;
    // Ink of another selection over these routes, or over their first ones, is lit again
    // where the two selections' lines lie, then extended: a click on another card of a chart
    // with thousands of lines costs what those lines touch.
    const std::optional<Ink> &base =
        m_earlierInk && m_earlierInk->routes <= m_routes->size() ? m_earlierInk : m_selectedInk;
    if (base && base->selection == selectedID && base->routes == m_routes->size()) {
        made = base->ink;
        grids = base->grids;
    } else if (base) {
        std::shared_ptr<const DottedInk> lit = base->ink;
        if (base->selection != selectedID)
            lit = std::make_shared<const DottedInk>(
                DottedInk::reselected(*base->ink, base->selection, base->routes, *m_routes, selectedID));
        made = base->routes == m_routes->size()
                   ? lit
                   : std::make_shared<const DottedInk>(*lit, base->routes, *m_routes, selectedID);
    } else {
        made = std::make_shared<const DottedInk>(*m_routes, selectedID);
    }
    if (!grids) {
        grids = std::make_shared<MadeOnce<std::shared_ptr<const DottedInkGrids>>>();
        makeInkGridsAhead(made, grids);
    }
    return replaceInk(Ink{selectedID, made, m_routes->size(), std::move(grids)});
}

std::shared_ptr<const DottedInk> ChartScene::replaceInk(Ink ink) const
{
    const std::optional<std::string> selection = ink.selection;
    std::optional<Ink> before = std::exchange(m_selectedInk, std::move(ink));
    // The ink replaced, or the earlier scene's, is kept as the spare when it has every line;
    // the ink of no selection stays the spare once it is: a Delete clears the selection, and
    // its undo comes back to none.
    if (m_spareInk && m_spareInk->routes != m_routes->size())
        letGo(m_spareInk);
    for (std::optional<Ink> *replaced : {&before, &m_earlierInk}) {
        if (*replaced && (*replaced)->routes == m_routes->size() && (*replaced)->selection != selection) {
            if (!m_spareInk || m_spareInk->selection || !(*replaced)->selection) {
                letGo(m_spareInk);
                m_spareInk = std::exchange(*replaced, std::nullopt);
            }
            break;
        }
    }
    letGo(before);
    letGo(m_earlierInk);
    return m_selectedInk->ink;
}

std::shared_ptr<const DottedInkGrids> ChartScene::inkGridsIfMade(const std::optional<std::string> &selectedID) const
{
    ink(selectedID);
    const std::shared_ptr<const DottedInkGrids> *made = m_selectedInk->grids->ifMade();
    return made ? *made : nullptr;
}

const ChartLayoutGrids &ChartScene::layoutGrids() const
{
    return m_content->layoutGrids->get([&] { return ChartLayoutGrids(layout()); });
}

ChartLayoutGrids::ChartLayoutGrids(const ChartLayout &layout)
{
    std::vector<Rect> bounds;
    bounds.reserve(layout.nodes.size());
    for (const ChartNode &node : layout.nodes)
        bounds.push_back(node.frame);
    cards = SpatialGrid(bounds);
    bounds.clear();
    for (const ChartSegment &segment : layout.primarySegments)
        bounds.push_back(Rect{segment.start, {segment.end.x - segment.start.x, segment.end.y - segment.start.y}});
    connectors = SpatialGrid(bounds);
}

std::optional<ChartScene::Ink> ChartScene::inkToExtend() const
{
    return m_selectedInk ? m_selectedInk : m_earlierInk;
}

ChartSceneCache::ChartSceneCache(std::shared_ptr<DottedRouteStore> routeStore) : m_routeStore(std::move(routeStore))
{
}

// Jobs are destroyed first: each is told to stop, then joined.
ChartSceneCache::~ChartSceneCache()
{
    // Routing told to stop winds up on the releaser's thread. At low priority on a busy
    // machine a router takes a while to see it is stopped and to free its grids, and a
    // closing window (so a quit) would wait for it.
    stopJob();
    for (std::unique_ptr<Routing> &routing : m_stoppedJobs)
        releaseElsewhere(std::shared_ptr<const Routing>(std::move(routing)));
    // The rest is freed there too: a large district's inputs and layout memo take tens of
    // milliseconds, a quit's share of them the most.
    struct Kept {
        std::optional<Input> input;
        ChartLayoutMemo memo;
        std::vector<Shown> shownBefore;
        std::shared_ptr<const ChartScene> scene;
    };
    releaseElsewhere(std::make_shared<const Kept>(
        Kept{std::move(m_input), std::move(m_layoutMemo), std::move(m_shownBefore), std::move(m_scene)}));
}

void ChartSceneCache::routeInBackground(std::function<void()> routed, std::chrono::milliseconds wait)
{
    m_background = Background{std::move(routed), wait};
}

std::shared_ptr<const ChartScene> ChartSceneCache::snapshot(const OrganizationArchive &archive,
                                                            const std::string &sheetID, const std::string &personID,
                                                            const std::string &department,
                                                            const std::set<std::string> &collapsed,
                                                            const std::set<std::string> &expandedGroups,
                                                            const ChartPrintSettings &settings,
                                                            std::optional<uint64_t> contentRevision)
{
    // The print scale changes neither the layout nor the routes.
    ChartPrintSettings unscaled = settings;
    unscaled.scalePercent = 1;

    const bool unchanged = m_scene && m_input &&
                           m_input->matches(archive, sheetID, personID, department, collapsed, expandedGroups,
                                            unscaled, contentRevision);
    // Another number for the same content (the document's paper or name changed) is
    // compared once, not at every repaint.
    if (unchanged)
        m_input->contentRevision = contentRevision;
    if (unchanged && !m_scene->routesPending())
        return m_scene;
    if (unchanged) {
        // The feed makes the lines the job adds, with their ink: they show once made.
        DottedLinesFeed &feed = *m_job->feed;
        std::optional<ChartScene::Ink> earlierInk = m_scene->inkToExtend();
        if (earlierInk)
            feed.setSelection(earlierInk->selection);
        std::optional<DottedLinesFeed::Lines> lines = feed.take(m_scene->routes().size());
        if (!lines || lines->routes->size() < m_scene->routes().size())
            return m_scene;
        if (!earlierInk || earlierInk->selection == lines->selection) {
            // The feed made the ink's grids too.
            auto grids = std::make_shared<ChartScene::MadeOnce<std::shared_ptr<const DottedInkGrids>>>();
            grids->get([&] { return lines->grids; });
            earlierInk = ChartScene::Ink{lines->selection, lines->ink, lines->routes->size(), std::move(grids)};
        }
        m_scene.reset(new ChartScene(m_scene->m_content, std::move(lines->routes), !lines->complete));
        m_scene->m_earlierInk = std::move(earlierInk);
        ++m_buildCount;
        return m_scene;
    }

    // An undo or redo back to a chart shown before takes its cards and layout as they were.
    // Its content is compared: an undo comes back to it with a number of its own.
    std::optional<size_t> shownBefore;
    for (size_t i = 0; i < m_shownBefore.size() && !shownBefore; ++i) {
        if (m_shownBefore[i].input.matches(archive, sheetID, personID, department, collapsed, expandedGroups,
                                           unscaled, std::nullopt))
            shownBefore = i;
    }
    // Built before anything is stored, so a failing build leaves the cache as it was.
    std::shared_ptr<const DottedRoutingKey> key;
    std::shared_ptr<const ChartScene> scene;
    if (shownBefore) {
        const Shown &shown = m_shownBefore[*shownBefore];
        key = shown.key;
        ChartScene::RouteState state = routesFor(key);
        scene.reset(new ChartScene(shown.content, std::move(state.routes), state.pending));
    } else {
        scene.reset(new ChartScene(
            archive, sheetID, personID, department, collapsed, expandedGroups, unscaled,
            [&](const ChartLayout &layout) -> ChartScene::RouteState {
                // An edit that keeps the cards' places keeps their lines, and the routing of the
                // rest goes on for it.
                if (m_scene && m_sceneKey && &layout == &m_scene->layout()) {
                    key = m_sceneKey;
                    return {m_scene->m_routes, m_scene->routesPending()};
                }
                key = std::make_shared<const DottedRoutingKey>(DottedRoutingKey::of(layout));
                return routesFor(key);
            },
            m_scene && m_input && m_input->settings == unscaled ? m_scene->m_content.get() : nullptr, m_layoutMemo));
    }
    Shown taken = takeShownBefore(shownBefore);
    if (shownBefore)
        taken.input.contentRevision = contentRevision;
    else
        keepInput(taken.input, archive, sheetID, personID, department, collapsed, expandedGroups, unscaled,
                  contentRevision);
    m_input = std::move(taken.input);
    // A scene that keeps the cards' places keeps the routes: what it draws of them so far too.
    if (m_scene && m_scene->m_content->layout == scene->m_content->layout) {
        scene->m_earlierInk = m_scene->inkToExtend();
        if (m_scene->m_spareInk && m_scene->m_spareInk->routes == scene->routes().size())
            scene->m_spareInk = m_scene->m_spareInk;
    } else if (shownBefore && !scene->routesPending() && taken.ink && taken.ink->routes == scene->routes().size()) {
        scene->m_earlierInk = std::move(taken.ink);
        scene->m_spareInk = std::move(taken.spare);
    }
    letGo(taken);
    m_sceneKey = key;
    m_scene = std::move(scene);
    ++m_buildCount;
    if (!m_scene->routesPending())
        stopJob();
    // A job already routing these cards and lines goes on: its lines serve this scene too.
    else if (!jobRoutes(*key))
        startJob(std::move(key));
    return m_scene;
}

std::unique_ptr<ChartSceneCache::Prepared> ChartSceneCache::prepare(const OrganizationArchive &archive,
                                                                    const std::string &sheetID,
                                                                    const ChartPrintSettings &settings)
{
    ChartPrintSettings unscaled = settings;
    unscaled.scalePercent = 1;
    auto prepared = std::make_unique<Prepared>();
    try {
        // The lines are routed by the cache that shows the chart, with its store and pace.
        const ChartScene scene(
            archive, sheetID, {}, {}, {}, {}, unscaled,
            [&](const ChartLayout &layout) -> ChartScene::RouteState {
                prepared->shown.key = std::make_shared<const DottedRoutingKey>(DottedRoutingKey::of(layout));
                return {std::make_shared<const std::vector<DottedRoute>>(), true};
            },
            nullptr, prepared->memo);
        prepared->shown.content = scene.m_content;
    } catch (const OrganizationError &) {
        return nullptr;
    }
    keepInput(prepared->shown.input, archive, sheetID, {}, {}, {}, {}, unscaled, std::nullopt);
    return prepared;
}

void ChartSceneCache::adopt(std::unique_ptr<Prepared> prepared)
{
    if (!prepared)
        return;
    m_layoutMemo = std::move(prepared->memo);
    m_shownBefore.insert(m_shownBefore.begin(), std::move(prepared->shown));
    if (m_shownBefore.size() > keptCharts) {
        letGo(m_shownBefore.back());
        m_shownBefore.pop_back();
    }
}

bool ChartSceneCache::Input::matches(const OrganizationArchive &archive, const std::string &sheetID,
                                     const std::string &personID, const std::string &department,
                                     const std::set<std::string> &collapsed,
                                     const std::set<std::string> &expandedGroups, const ChartPrintSettings &unscaled,
                                     std::optional<uint64_t> revision) const
{
    if (this->sheetID != sheetID || this->personID != personID || this->department != department ||
        this->collapsed != collapsed || this->expandedGroups != expandedGroups || settings != unscaled)
        return false;
    if (revision && contentRevision == revision)
        return true;
    return document.organization == archive.organization && document.sheets == archive.sheets &&
           document.groups == archive.groups;
}

ChartSceneCache::Shown ChartSceneCache::takeShownBefore(std::optional<size_t> takenBack)
{
    Shown taken;
    if (takenBack) {
        taken = std::move(m_shownBefore[*takenBack]);
        m_shownBefore.erase(m_shownBefore.begin() + static_cast<std::ptrdiff_t>(*takenBack));
    }
    if (m_scene && m_input && m_sceneKey) {
        Shown shown{std::move(*m_input), m_scene->m_content, m_sceneKey, std::nullopt, std::nullopt};
        // Ink over every line only; the spare when it is of another selection.
        shown.ink = m_scene->inkToExtend();
        if (shown.ink && (m_scene->routesPending() || shown.ink->routes != m_scene->routes().size()))
            shown.ink.reset();
        if (shown.ink && m_scene->m_spareInk && m_scene->m_spareInk->routes == shown.ink->routes &&
            m_scene->m_spareInk->selection != shown.ink->selection)
            shown.spare = m_scene->m_spareInk;
        m_shownBefore.insert(m_shownBefore.begin(), std::move(shown));
    } else if (m_input && !takenBack) {
        taken.input = std::move(*m_input);
    }
    m_input.reset();
    if (m_shownBefore.size() > keptCharts) {
        // The oldest whose lines were never all drawn goes first: while a large chart routes
        // for minutes, edits and their undos come back to the last one with every line.
        const auto noInk = std::find_if(m_shownBefore.rbegin(), m_shownBefore.rend(),
                                        [](const Shown &shown) { return !shown.ink; });
        const auto gone = noInk != m_shownBefore.rend() ? std::prev(noInk.base()) : std::prev(m_shownBefore.end());
        if (takenBack)
            letGo(*gone);
        else
            taken = std::move(*gone);
        m_shownBefore.erase(gone);
    }
    return taken;
}

void ChartSceneCache::letGo(Shown &shown)
{
    if (shown.content.use_count() == 1)
        releaseElsewhere(std::move(shown.content));
    shown.content.reset();
    shown.key.reset();
    ChartScene::letGo(shown.ink);
    ChartScene::letGo(shown.spare);
}

void ChartSceneCache::keepInput(Input &input, const OrganizationArchive &archive, const std::string &sheetID,
                                const std::string &personID, const std::string &department,
                                const std::set<std::string> &collapsed, const std::set<std::string> &expandedGroups,
                                const ChartPrintSettings &settings, std::optional<uint64_t> contentRevision)
{
    // Assigned over an earlier document, not copied anew: the strings of positions much as
    // they were fit where they are, so an edit of 20,000 positions allocates next to nothing.
    input.document.organization = archive.organization;
    input.document.sheets = archive.sheets;
    input.document.groups = archive.groups;
    input.sheetID = sheetID;
    input.personID = personID;
    input.department = department;
    input.collapsed = collapsed;
    input.expandedGroups = expandedGroups;
    input.settings = settings;
    input.contentRevision = contentRevision;
}

namespace {

// Cards up to which routing is first tried before the scene is handed out. Beyond, building
// the routing grid alone takes a good part of the wait, and routing nearly always outlasts it.
constexpr size_t smallChart = 400;

// A stop token that is requested once `wait` has passed, or when the returned timer goes.
std::pair<std::stop_source, std::jthread> deadline(std::chrono::milliseconds wait)
{
    std::stop_source late;
    // Woken early, and then harmless, when routing ends first.
    std::jthread timer([late, wait](std::stop_token routed) mutable {
        std::mutex mutex;
        std::condition_variable_any woken;
        std::unique_lock lock(mutex);
        woken.wait_for(lock, routed, wait, [] { return false; });
        late.request_stop();
    });
    return {late, std::move(timer)};
}

} // namespace

bool ChartSceneCache::jobRoutes(const DottedRoutingKey &key) const
{
    return m_job && (m_job->job->key().get() == &key || *m_job->job->key() == key);
}

ChartSceneCache::Routing::~Routing()
{
    if (feed)
        feed->stop();
}

// The routes of `key` when the store has them or they can be made now; else the lines a
// job already routing this key has made so far, and pending.
ChartScene::RouteState ChartSceneCache::routesFor(const std::shared_ptr<const DottedRoutingKey> &key)
{
    const auto shared = [](std::vector<DottedRoute> routes) {
        return std::make_shared<const std::vector<DottedRoute>>(std::move(routes));
    };
    if (std::shared_ptr<const std::vector<DottedRoute>> known = m_routeStore->findShared(*key))
        return {std::move(known), false};
    if (!m_background)
        return {shared(*m_routeStore->route(key)), false};
    if (m_background->wait.count() > 0 && key->nodes.size() <= smallChart) {
        auto [late, timer] = deadline(m_background->wait);
        // What it routes in time is kept in the store, and the job starts after it.
        if (std::optional<std::vector<DottedRoute>> routes = m_routeStore->route(key, late.get_token()))
            return {shared(std::move(*routes)), false};
    }
    if (jobRoutes(*key)) {
        DottedRoutingProgress progress = m_job->job->progress();
        return {shared(std::move(progress.routes)), !progress.isComplete()};
    }
    return {shared({}), true};
}

void ChartSceneCache::stopJob()
{
    // A job told to stop is not waited for here: it may still be building a large grid.
    if (m_job) {
        m_job->job->cancel();
        m_job->feed->stopSoon();
        m_stoppedJobs.push_back(std::move(m_job));
    }
    std::erase_if(m_stoppedJobs, [](const std::unique_ptr<Routing> &routing) { return routing->isFinished(); });
}

void ChartSceneCache::startJob(std::shared_ptr<const DottedRoutingKey> key)
{
    stopJob();
    auto routing = std::make_unique<Routing>();
    routing->feed = std::make_unique<DottedLinesFeed>(m_background->routed);
    routing->job = std::make_unique<DottedRoutingJob>(m_routeStore, std::move(key),
                                                      [feed = routing->feed.get()] { feed->lineNews(); });
    routing->feed->follow(*routing->job);
    m_job = std::move(routing);
}
