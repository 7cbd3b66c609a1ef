#pragma once

#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_lines_feed.h"
#include "core/chart/dotted_route_store.h"
#include "core/chart/dotted_routing.h"
#include "core/model/organization.h"
#include "core/document/organization_sheet.h"
#include "core/document/position_group.h"
#include "core/model/print_settings.h"
#include "core/support/spatial_grid.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

struct OrganizationArchive;

// Where a chart's pieces lie, by their index, so that painting a part of the chart visits
// only what lies there: the layout's nodes and primarySegments (DottedInkGrids: the ink's
// strokes and arrows).
struct ChartLayoutGrids {
    SpatialGrid cards;
    SpatialGrid connectors;
    explicit ChartLayoutGrids(const ChartLayout &layout);
};

// Everything a chart view draws and inspects for one chart of a document: the cards as
// shown, their layout, the routed dotted lines, the positions behind each card, the other
// charts that show a card's people and the cards that have reports.
//
// A scene never changes once built (apart from its ink memo) and is handed out as
// std::shared_ptr<const ChartScene>: callers compare the pointers to decide whether
// anything must be redrawn. Only ChartSceneCache builds scenes. The Position and sheet
// pointers below point into the scene itself and live as long as it does.
class ChartScene {
public:
    ChartScene(const ChartScene &) = delete;
    ChartScene &operator=(const ChartScene &) = delete;
    // The last scene of a chart leaves its cards to be freed on another thread.
    ~ChartScene();

    // The cards as shown: its organization holds one position per card.
    const ChartPrintPresentation &presentation() const { return m_content->presentation; }
    const ChartLayout &layout() const { return *m_content->layout; }
    // The routed dotted lines; while routesPending(), the first of them, each as it will stay.
    const std::vector<DottedRoute> &routes() const { return *m_routes; }
    // True while more dotted lines are being routed on another thread. See
    // ChartSceneCache::routeInBackground.
    bool routesPending() const { return m_routesPending; }
    // Card id -> the card's position in presentation().organization.
    const std::unordered_map<std::string, const Position *> &positions() const { return m_content->positions; }
    // The chart's organization narrowed to the person or department focus.
    const Organization &scopedOrganization() const { return *m_content->scopedOrganization; }
    // scopedOrganization() less collapsed subtrees, with position groups projected.
    const Organization &visibleOrganization() const { return *m_content->visibleOrganization; }
    // Card id -> the positions the card stands for, in person order; every card has one.
    const std::unordered_map<std::string, std::vector<const Position *>> &members() const
    {
        return m_content->members;
    }
    // Card id -> the other charts, by name, that list the card or one of its members;
    // every card has one, possibly empty. The shown chart is never listed.
    const std::unordered_map<std::string, std::vector<const OrganizationSheet *>> &linkedSheets() const
    {
        return m_content->linkedSheets;
    }
    // Cards at least one of whose positions manages someone in scopedOrganization(), even
    // when the card's subtree is collapsed.
    const std::unordered_set<std::string> &managersWithReports() const { return m_content->managersWithReports; }

    // Lookups by card id; null or empty for an id that is not a card.
    const Position *position(const std::string &cardID) const;
    const std::vector<const Position *> &membersOf(const std::string &cardID) const;
    const std::vector<const OrganizationSheet *> &linkedSheetsOf(const std::string &cardID) const;
    bool hasReports(const std::string &cardID) const { return m_content->managersWithReports.contains(cardID); }
    // Whether every card's members are the card's own position alone (names shown, no
    // groups), and whether no card is listed on another chart: two such scenes need not
    // compare those per card.
    bool membersAreTheCards() const { return m_content->membersAreTheCards; }
    bool linksNoSheets() const { return m_content->linksNoSheets; }

    // The dotted ink of routes() with the pieces of `selectedID` highlighted. The ink of the
    // last selection asked for is kept, so redraws with an unchanged selection cost nothing;
    // a scene that only adds lines to the previous one of its chart, or keeps its layout,
    // extends that scene's ink instead of making it anew; another selection lights only its
    // own and the last selection's lines again. Not for concurrent use from
    // several threads.
    std::shared_ptr<const DottedInk> ink(const std::optional<std::string> &selectedID) const;

    // Grids over layout(), made when first asked for and kept with the layout (scenes that
    // share it share them).
    const ChartLayoutGrids &layoutGrids() const;
    // The grids over ink(selectedID) once made, without waiting: ink made here for another
    // selection has them made on another thread, and what needs them meanwhile visits all.
    std::shared_ptr<const DottedInkGrids> inkGridsIfMade(const std::optional<std::string> &selectedID) const;

private:
    friend class ChartSceneCache;

    // A value made by the first caller that asks for it.
    template <class T>
    struct MadeOnce {
        std::once_flag once;
        std::optional<T> value;
        std::atomic<bool> made{false};
        template <class Make>
        const T &get(Make make)
        {
            std::call_once(once, [&] {
                value.emplace(make());
                made.store(true, std::memory_order_release);
            });
            return *value;
        }
        // The value when made, without waiting for a maker on another thread.
        const T *ifMade() const { return made.load(std::memory_order_acquire) ? &*value : nullptr; }
    };

    // The dotted routes of a layout: all of them, or the first ones while more are coming.
    struct RouteState {
        std::shared_ptr<const std::vector<DottedRoute>> routes;
        bool pending = false;
    };
    using RouteSource = std::function<RouteState(const ChartLayout &)>;

    // Everything but the routes, shared by the scenes of one chart that differ only in how
    // many of its lines are routed. Positions and sheets pointed to live here.
    struct Content {
        Content() = default;
        Content(const Content &) = delete; // points into itself
        Content &operator=(const Content &) = delete;

        ChartPrintPresentation presentation;
        // Shared with the next scene of the chart when an edit leaves the cards' places as they were.
        std::shared_ptr<const ChartLayout> layout;
        std::shared_ptr<MadeOnce<ChartLayoutGrids>> layoutGrids; // goes with `layout`
        std::unordered_map<std::string, const Position *> positions;
        // When nothing is hidden, grouped or called out anew, the steps after the focus give
        // the chart back as it was: then one organization serves as two or all three.
        Organization ownScoped;
        Organization ownVisible;
        const Organization *scopedOrganization = &ownScoped;
        const Organization *visibleOrganization = &ownVisible;
        std::unordered_map<std::string, std::vector<const Position *>> members;
        std::vector<OrganizationSheet> otherSheets; // what linkedSheets points into
        std::unordered_map<std::string, std::vector<const OrganizationSheet *>> linkedSheets;
        std::unordered_set<std::string> managersWithReports;
        bool membersAreTheCards = false;
        bool linksNoSheets = false;
        bool cardsToCount = false; // presentation's counts, left to collectMembers

        void project(Organization scoped, const OrganizationArchive &archive, const std::set<std::string> &collapsed,
                     const std::set<std::string> &expandedGroups, const ChartPrintSettings &settings);
        // The presentation of validated cards.
        void present(Organization visible, const ChartPrintSettings &settings);
        // What the cards stand for, worked out on other threads (`apart`) while the caller
        // lays them out: the presentation's counts with the card lookup, then the rest. All
        // read the projection and write apart.
        std::pair<std::shared_future<void>, std::future<void>> collectApart(std::launch apart,
                                                                            const OrganizationArchive &archive,
                                                                            const ChartPrintSettings &settings,
                                                                            const std::string &sheetID);
        // `counted`: the presentation's counts, which a group's card waits for.
        void collectMembers(const OrganizationArchive &archive, bool namesShown,
                            const std::shared_future<void> &counted);
        void collectManagersWithReports();
        void collectLinkedSheets(const OrganizationArchive &archive, const std::string &sheetID);
    };

    // Files the cards of a new layout for painting on another thread, as the window paints
    // right after an edit; asking for them before they are filed waits for them.
    static void makeInkGridsAhead(std::shared_ptr<const DottedInk> ink,
                                  std::shared_ptr<MadeOnce<std::shared_ptr<const DottedInkGrids>>> grids);
    static void makeGridsAhead(std::shared_ptr<const ChartLayout> layout,
                               std::shared_ptr<MadeOnce<ChartLayoutGrids>> grids);

    // Throws the OrganizationError of the group projection, the presentation or the layout.
    // `previous`, the content of a scene of the same chart with the same settings, lends its
    // layout when the cards that make it are laid out alike.
    ChartScene(const OrganizationArchive &archive, const std::string &sheetID, const std::string &personID,
               const std::string &department, const std::set<std::string> &collapsed,
               const std::set<std::string> &expandedGroups, const ChartPrintSettings &settings,
               const RouteSource &routeSource, const Content *previous, ChartLayoutMemo &layoutMemo);
    // The same chart with other routes.
    ChartScene(std::shared_ptr<const Content> content, std::shared_ptr<const std::vector<DottedRoute>> routes,
               bool pending);

    std::shared_ptr<const Content> m_content;
    std::shared_ptr<const std::vector<DottedRoute>> m_routes; // shared with the feed that made them
    bool m_routesPending = false;
    // Ink made for a selection from the first `routes` of routes().
    struct Ink {
        std::optional<std::string> selection;
        std::shared_ptr<const DottedInk> ink;
        size_t routes = 0;
        std::shared_ptr<MadeOnce<std::shared_ptr<const DottedInkGrids>>> grids; // goes with `ink`
    };
    // The ink this scene has made, else the one it may extend; for the next scene of the chart.
    std::optional<Ink> inkToExtend() const;
    static void letGo(std::optional<Ink> &ink);
    // Makes `ink` the selected one; the one it replaces becomes the spare.
    std::shared_ptr<const DottedInk> replaceInk(Ink ink) const;

    mutable std::optional<Ink> m_selectedInk;
    mutable std::optional<Ink> m_earlierInk; // a previous scene's, until this one makes its own
    // The ink of no selection, else of the selection before, over all the routes: an undo
    // of a Delete (which cleared the selection), or a click back, takes it as it is.
    mutable std::optional<Ink> m_spareInk;
};

// Frees `item` on a thread of its own, so that freeing a large district's tens of thousands
// of positions holds no window; at once when the program is ending.
void releaseElsewhere(std::shared_ptr<const void> item);

// A one-entry memo in front of ChartScene: one per chart window. Asking again with inputs
// equal to the last ones returns the very same scene.
class ChartSceneCache {
public:
    // Routes are taken from, and kept in, `routeStore`: share one store between the caches
    // and printers of one window so that each chart's lines are routed once.
    explicit ChartSceneCache(std::shared_ptr<DottedRouteStore> routeStore = std::make_shared<DottedRouteStore>());
    ChartSceneCache(const ChartSceneCache &) = delete;
    ChartSceneCache &operator=(const ChartSceneCache &) = delete;
    ~ChartSceneCache(); // stops the routing and waits for it

    // The routes this cache has made or found, for whatever else draws the same charts.
    const std::shared_ptr<DottedRouteStore> &routeStore() const { return m_routeStore; }

    // From now on dotted lines are routed on a worker thread, as routing a large chart can
    // take seconds: such a scene comes back with routesPending() and the lines routed so
    // far, and `routed` is called on a worker thread when more lines are done (once until
    // snapshot() is called again, so the caller sets the pace); snapshot() then gives a new
    // scene with them, the same cards and the earlier lines unchanged. Their ink, for the
    // selection last drawn, is made on the worker too, so taking them costs next to nothing. A small chart (a few
    // hundred cards) whose lines route within `wait` gets them with the scene, so it never
    // shows without them. A change of the chart abandons routing that is no longer wanted.
    // Without this call, snapshot() routes before it returns.
    void routeInBackground(std::function<void()> routed,
                           std::chrono::milliseconds wait = std::chrono::milliseconds(15));

    // The scene of chart `sheetID` (the whole organization when no sheet has that id),
    // focused on `personID`, else on the positions of `department` (empty strings for no
    // focus), with the subtrees below `collapsed` hidden and the groups in `expandedGroups`
    // drawn expanded. The print scale plays no part: changing only scalePercent returns the
    // same scene. The document's name, titles, versions and planning state play no part
    // either.
    //
    // Throws the OrganizationError of the build and then keeps the previous scene. Cost when
    // nothing changed: one comparison of the organization, sheets and groups with the last
    // ones (a few milliseconds on a 20,000-position district); inputs equal to those of one
    // of the last charts shown before (an undo or redo) take that chart's cards and layout
    // back; otherwise a full build, whose routing is skipped when the store has the routes of
    // these cards and dotted lines, and starts after the first lines that are unchanged when
    // only dotted lines changed.
    //
    // `contentRevision`, when given, is a number that changes with every change of the
    // archive: the same number as last time skips comparing the organization, sheets and
    // groups, which a window asks about many times per repaint.
    std::shared_ptr<const ChartScene> snapshot(const OrganizationArchive &archive, const std::string &sheetID,
                                               const std::string &personID, const std::string &department,
                                               const std::set<std::string> &collapsed,
                                               const std::set<std::string> &expandedGroups,
                                               const ChartPrintSettings &settings,
                                               std::optional<uint64_t> contentRevision = std::nullopt);

    // A chart laid out before any window asked for it: its cards and layout, what they were
    // made of, and the memo that laid them out.
    class Prepared;
    // The chart of `sheetID` (the whole organization when no sheet has that id) with no focus,
    // nothing collapsed and no group expanded, as snapshot() would build it but without its
    // dotted lines and without a cache: safe on any thread, so that a file being opened has
    // its chart laid out on the thread that reads it. Null when the build throws (snapshot()
    // then reports why). Cost: a full build, about 150 ms on a 20,000-position district.
    static std::unique_ptr<Prepared> prepare(const OrganizationArchive &archive, const std::string &sheetID,
                                             const ChartPrintSettings &settings);
    // Keeps `prepared` with the charts shown before, and lays out what comes later with its
    // memo: a snapshot() of the same inputs and content takes its cards and layout as they
    // are, and only routes their lines. Null does nothing.
    void adopt(std::unique_ptr<Prepared> prepared);

    // Scenes built so far, for diagnostics and tests.
    int buildCount() const { return m_buildCount; }
    // Whether lines of the shown scene are being routed on the worker thread now; lines of
    // a scene no longer shown never are. For diagnostics and tests.
    bool isRouting() const { return m_job && !m_job->job->isFinished(); }

private:
    // What the scene was built from.
    struct Document {
        Organization organization;
        std::optional<std::vector<OrganizationSheet>> sheets;
        std::optional<std::vector<PositionGroup>> groups;
    };
    struct Input {
        Document document;
        std::string sheetID;
        std::string personID;
        std::string department;
        std::set<std::string> collapsed;
        std::set<std::string> expandedGroups;
        ChartPrintSettings settings;
        std::optional<uint64_t> contentRevision;
        // Whether a scene of these inputs is the one asked for. Cheap checks first; the
        // organizations only when all else is equal.
        bool matches(const OrganizationArchive &archive, const std::string &sheetID, const std::string &personID,
                     const std::string &department, const std::set<std::string> &collapsed,
                     const std::set<std::string> &expandedGroups, const ChartPrintSettings &unscaled,
                     std::optional<uint64_t> contentRevision) const;
    };
    struct Background {
        std::function<void()> routed;
        std::chrono::milliseconds wait;
    };

    // A chart shown before the present one, with what it was built from, and its ink when
    // it had every line: an undo or redo back to it draws them as they were.
    struct Shown {
        Input input;
        std::shared_ptr<const ChartScene::Content> content;
        std::shared_ptr<const DottedRoutingKey> key;
        std::optional<ChartScene::Ink> ink;
        std::optional<ChartScene::Ink> spare;
    };
    // The shown chart joins those before. Gives the one at `takenBack`, else the one let go
    // (the oldest without ink, else the oldest), whose inputs are to be assigned over.
    Shown takeShownBefore(std::optional<size_t> takenBack);
    // Frees what `shown` alone holds on another thread.
    static void letGo(Shown &shown);

    static void keepInput(Input &input, const OrganizationArchive &archive, const std::string &sheetID, const std::string &personID,
                   const std::string &department, const std::set<std::string> &collapsed,
                   const std::set<std::string> &expandedGroups, const ChartPrintSettings &settings,
                   std::optional<uint64_t> contentRevision);
    ChartScene::RouteState routesFor(const std::shared_ptr<const DottedRoutingKey> &key);
    bool jobRoutes(const DottedRoutingKey &key) const;
    void startJob(std::shared_ptr<const DottedRoutingKey> key);
    // Stops routing lines no scene of this cache shows any more.
    void stopJob();

    std::shared_ptr<DottedRouteStore> m_routeStore;
    std::optional<Input> m_input;
    std::shared_ptr<const ChartScene> m_scene;
    ChartLayoutMemo m_layoutMemo;
    int m_buildCount = 0;
    std::optional<Background> m_background;
    // A job routing lines and the feed that makes their ink.
    struct Routing {
        std::unique_ptr<DottedLinesFeed> feed;
        std::unique_ptr<DottedRoutingJob> job;
        Routing() = default;
        Routing(const Routing &) = delete;
        Routing &operator=(const Routing &) = delete;
        ~Routing(); // the feed stops before the job it follows goes
        bool isFinished() const { return job->isFinished() && feed->isFinished(); }
    };
    // The routing of the shown scene's lines, if any; routings told to stop may still be
    // winding up (a very large grid is built before the first stop check) and are joined
    // once finished, or when the cache goes.
    std::unique_ptr<Routing> m_job;
    std::vector<std::unique_ptr<Routing>> m_stoppedJobs;
    // The routing key of the shown scene.
    std::shared_ptr<const DottedRoutingKey> m_sceneKey;
    // The last few charts shown before the present one (most recent first): an undo or redo
    // back to one shows its cards and lines as they were, without laying them out again.
    static constexpr size_t keptCharts = 3;
    std::vector<Shown> m_shownBefore;
};

class ChartSceneCache::Prepared {
public:
    const ChartLayout &layout() const { return *shown.content->layout; }

private:
    friend class ChartSceneCache;
    Shown shown;
    ChartLayoutMemo memo;
};
