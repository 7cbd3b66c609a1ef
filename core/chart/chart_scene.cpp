#include "core/chart/chart_scene.h"

#include "core/model/employee_directory.h"
#include "core/document/organization_archive.h"

#include <algorithm>
#include <condition_variable>
#include <string_view>

namespace {

Organization focusedOn(const Organization &organization, const std::string &personID, const std::string &department)
{
    if (!personID.empty())
        return organization.focused({personID});
    if (department.empty())
        return organization;
    // Exact match on purpose: a department no position carries focuses on nothing.
    std::set<std::string> ids;
    for (const Position &p : organization.positions) {
        if (p.department == department)
            ids.insert(p.id);
    }
    return organization.focused(ids);
}

const std::vector<PositionGroup> &groupsOf(const OrganizationArchive &archive)
{
    static const std::vector<PositionGroup> none;
    return archive.groups ? *archive.groups : none;
}

} // namespace

ChartScene::ChartScene(const OrganizationArchive &archive, const std::string &sheetID, const std::string &personID,
                       const std::string &department, const std::set<std::string> &collapsed,
                       const std::set<std::string> &expandedGroups, const ChartPrintSettings &settings,
                       const RouteSource &routeSource)
    : m_scopedOrganization(focusedOn(archive.organizationIn(sheetID), personID, department))
{
    m_visibleOrganization =
        PositionGroup::project(m_scopedOrganization.hidingDescendants(collapsed), groupsOf(archive), expandedGroups);
    m_presentation = ChartPrintPresentation(m_visibleOrganization, settings);
    m_positions.reserve(m_presentation.organization.positions.size());
    for (const Position &card : m_presentation.organization.positions)
        m_positions.emplace(card.id, &card);
    m_layout = settings.layout(m_presentation.organization);
    if (std::optional<std::vector<DottedRoute>> routes = routeSource(m_layout))
        m_routes = std::move(*routes);
    else
        m_routesPending = true;
    collectMembers(archive);
    collectManagersWithReports();
    collectLinkedSheets(archive, sheetID);
}

void ChartScene::collectMembers(const OrganizationArchive &archive)
{
    m_members.reserve(m_positions.size());
    for (const auto &[id, card] : m_positions)
        m_members[id];
    for (const Position &p : m_visibleOrganization.positions) {
        const auto card = m_presentation.positionIDs.find(p.id);
        m_members[card == m_presentation.positionIDs.end() ? p.id : card->second].push_back(&p);
    }

    // A collapsed group's card stands for the group's people, not for the card the
    // projection made of them.
    for (const PositionGroup &group : groupsOf(archive)) {
        if (!m_positions.contains(group.id))
            continue;
        const std::set<std::string_view> memberIDs(group.memberIDs.begin(), group.memberIDs.end());
        std::vector<const Position *> &members = m_members[group.id];
        members.clear();
        for (const Position &p : m_scopedOrganization.positions) {
            if (memberIDs.contains(p.id))
                members.push_back(&p);
        }
    }

    for (auto &[id, members] : m_members)
        members = EmployeeDirectory::sorted(std::move(members));
}

void ChartScene::collectManagersWithReports()
{
    // Taken from the scoped organization, so a collapsed card still shows it has reports.
    std::unordered_set<std::string_view> managers;
    for (const Position &p : m_scopedOrganization.positions) {
        if (p.managerID)
            managers.insert(*p.managerID);
    }
    for (const auto &[id, members] : m_members) {
        const bool manages =
            std::any_of(members.begin(), members.end(), [&](const Position *p) { return managers.contains(p->id); });
        if (manages)
            m_managersWithReports.insert(id);
    }
}

void ChartScene::collectLinkedSheets(const OrganizationArchive &archive, const std::string &sheetID)
{
    m_otherSheets = archive.sortedSheets();
    std::erase_if(m_otherSheets, [&](const OrganizationSheet &s) { return s.id == sheetID; });

    // Position id -> the other sheets listing it, by index in name order.
    std::unordered_map<std::string_view, std::vector<size_t>> sheetsListing;
    for (size_t i = 0; i < m_otherSheets.size(); ++i) {
        for (const std::string &id : m_otherSheets[i].positionIDs) {
            std::vector<size_t> &listing = sheetsListing[id];
            if (listing.empty() || listing.back() != i)
                listing.push_back(i);
        }
    }

    m_linkedSheets.reserve(m_presentation.organization.positions.size());
    std::vector<size_t> found;
    for (const Position &card : m_presentation.organization.positions) {
        found.clear();
        const auto collect = [&](const std::string &id) {
            const auto listing = sheetsListing.find(id);
            if (listing != sheetsListing.end())
                found.insert(found.end(), listing->second.begin(), listing->second.end());
        };
        collect(card.id);
        for (const Position *member : membersOf(card.id))
            collect(member->id);
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        std::vector<const OrganizationSheet *> &linked = m_linkedSheets[card.id];
        for (size_t i : found)
            linked.push_back(&m_otherSheets[i]);
    }
}

const Position *ChartScene::position(const std::string &cardID) const
{
    const auto found = m_positions.find(cardID);
    return found == m_positions.end() ? nullptr : found->second;
}

const std::vector<const Position *> &ChartScene::membersOf(const std::string &cardID) const
{
    static const std::vector<const Position *> none;
    const auto found = m_members.find(cardID);
    return found == m_members.end() ? none : found->second;
}

const std::vector<const OrganizationSheet *> &ChartScene::linkedSheetsOf(const std::string &cardID) const
{
    static const std::vector<const OrganizationSheet *> none;
    const auto found = m_linkedSheets.find(cardID);
    return found == m_linkedSheets.end() ? none : found->second;
}

std::shared_ptr<const DottedInk> ChartScene::ink(const std::optional<std::string> &selectedID) const
{
    if (m_selectedInk && m_selectedInk->first == selectedID)
        return m_selectedInk->second;
    auto made = std::make_shared<const DottedInk>(m_routes, selectedID);
    m_selectedInk.emplace(selectedID, made);
    return made;
}

std::shared_ptr<const ChartScene> ChartSceneCache::snapshot(const OrganizationArchive &archive,
                                                            const std::string &sheetID, const std::string &personID,
                                                            const std::string &department,
                                                            const std::set<std::string> &collapsed,
                                                            const std::set<std::string> &expandedGroups,
                                                            const ChartPrintSettings &settings)
{
    // The print scale changes neither the layout nor the routes.
    ChartPrintSettings unscaled = settings;
    unscaled.scalePercent = 1;

    const bool unchanged = m_scene && m_input && m_input->organization == archive.organization &&
                           m_input->sheets == archive.sheets && m_input->groups == archive.groups &&
                           m_input->sheetID == sheetID && m_input->personID == personID &&
                           m_input->department == department && m_input->collapsed == collapsed &&
                           m_input->expandedGroups == expandedGroups && m_input->settings == unscaled;
    if (unchanged && !m_scene->routesPending())
        return m_scene;
    std::optional<Finished> finished = takeFinished();
    if (unchanged && !finished)
        return m_scene;
    if (finished) {
        m_lastRouted = std::move(finished->routed);
        if (unchanged && finished->inputNumber == m_inputNumber) {
            m_scene = std::move(finished->scene);
            ++m_buildCount;
            return m_scene;
        }
        // Otherwise an edit that moved no card came in while the worker routed: its routes
        // hold for the new scene, its scene does not.
    }

    // Built before anything is stored, so a failing build leaves the cache as it was.
    std::optional<RoutingInput> routing;
    std::shared_ptr<const ChartScene> scene(new ChartScene(
        archive, sheetID, personID, department, collapsed, expandedGroups, unscaled, [&](const ChartLayout &layout) {
            routing = routingInputOf(layout);
            return knownRoutes(*routing);
        }));
    m_input = std::make_shared<const Input>(Input{archive.organization, archive.sheets, archive.groups, sheetID,
                                                  personID, department, collapsed, expandedGroups, unscaled});
    ++m_inputNumber;
    m_scene = std::move(scene);
    ++m_buildCount;
    // A worker already routing these cards goes on; its routes serve this scene too.
    if (m_scene->routesPending() && m_workerRouting != routing)
        startWorker(std::move(*routing));
    return m_scene;
}

ChartSceneCache::~ChartSceneCache() = default; // stops and joins the workers first

void ChartSceneCache::routeInBackground(std::function<void()> routed, std::chrono::milliseconds wait)
{
    m_background = std::make_shared<Background>();
    m_background->routed = std::move(routed);
    m_background->wait = wait;
}

ChartSceneCache::RoutingInput ChartSceneCache::routingInputOf(const ChartLayout &layout)
{
    RoutingInput input{layout.routingNodes(), {}};
    for (const ChartEdge &edge : layout.edges) {
        if (edge.dotted)
            input.dotted.push_back(edge);
    }
    return input;
}

namespace {

// Cards up to which routing is first tried before the scene is handed out. Beyond, building
// the routing grid alone takes a good part of the wait, and routing nearly always outlasts it.
constexpr size_t smallChart = 400;

// The routes, unless routing takes longer than `wait`.
std::optional<std::vector<DottedRoute>> routedWithin(const std::vector<ChartNode> &nodes,
                                                     const std::vector<ChartEdge> &dotted,
                                                     std::chrono::milliseconds wait)
{
    std::stop_source late;
    // Woken early, and then harmless, when routing ends first.
    std::jthread timer([&late, wait](std::stop_token routed) {
        std::mutex mutex;
        std::condition_variable_any woken;
        std::unique_lock lock(mutex);
        woken.wait_for(lock, routed, wait, [] { return false; });
        late.request_stop();
    });
    return DottedRouting::routes(nodes, dotted, late.get_token());
}

} // namespace

// Routes already made for these cards, else (routing here unless a worker does it) none.
std::optional<std::vector<DottedRoute>> ChartSceneCache::knownRoutes(const RoutingInput &input)
{
    // Most edits leave every card where it was: the last routes still hold.
    if (m_lastRouted && m_lastRouted->input == input)
        return m_lastRouted->routes;
    std::optional<std::vector<DottedRoute>> routes;
    if (!m_background)
        routes = DottedRouting::routes(input.nodes, input.dotted);
    else if (m_background->wait.count() > 0 && input.nodes.size() <= smallChart)
        routes = routedWithin(input.nodes, input.dotted, m_background->wait);
    if (!routes)
        return std::nullopt;
    m_lastRouted = Routed{input, *routes};
    return routes;
}

std::optional<ChartSceneCache::Finished> ChartSceneCache::takeFinished()
{
    if (!m_background)
        return std::nullopt;
    std::lock_guard lock(m_background->mutex);
    std::optional<Finished> finished;
    if (m_background->finished && m_background->finished->job == m_job) {
        finished = std::move(m_background->finished);
        m_workerRouting.reset();
    }
    m_background->finished.reset();
    return finished;
}

// Routes on a worker thread and builds the scene with the routes there too, from copies of
// the inputs, so the window only swaps scenes when the lines are done.
void ChartSceneCache::startWorker(RoutingInput routing)
{
    // Earlier workers are told to stop but not waited for: one may be building its scene,
    // which cannot be cut short. Only finished ones are joined here.
    std::erase_if(m_workers, [](Worker &worker) {
        worker.thread.request_stop();
        if (!*worker.done)
            return false;
        worker.thread.join();
        return true;
    });
    m_workerRouting = routing;
    const uint64_t job = ++m_job;
    auto done = std::make_shared<std::atomic<bool>>(false);
    // Joined by the cache's destructor at the latest.
    std::jthread thread([background = m_background, job, inputNumber = m_inputNumber, input = m_input,
                         routing = std::move(routing), done](std::stop_token stop) mutable {
        struct MarkDone {
            std::atomic<bool> &done;
            ~MarkDone() { done = true; }
        } markDone{*done};
        std::optional<std::vector<DottedRoute>> routes;
        std::shared_ptr<const ChartScene> scene;
        try {
            routes = DottedRouting::routes(routing.nodes, routing.dotted, std::move(stop));
            if (!routes)
                return;
            // Only what a scene reads of the document.
            OrganizationArchive archive;
            archive.organization = input->organization;
            archive.sheets = input->sheets;
            archive.groups = input->groups;
            // The same inputs lay the cards out the same way, so these routes fit.
            scene.reset(new ChartScene(archive, input->sheetID, input->personID, input->department,
                                       input->collapsed, input->expandedGroups, input->settings,
                                       [&](const ChartLayout &) { return routes; }));
        } catch (...) {
            return; // out of memory: the window keeps the scene without lines
        }
        {
            std::lock_guard lock(background->mutex);
            // A worker told to stop may still finish after a newer one.
            if (background->finished && background->finished->job > job)
                return;
            background->finished = Finished{job, inputNumber, Routed{std::move(routing), std::move(*routes)}, scene};
        }
        background->routed();
    });
    m_workers.push_back({std::move(done), std::move(thread)});
}
