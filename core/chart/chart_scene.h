#pragma once

#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_routing.h"
#include "core/model/organization.h"
#include "core/document/organization_sheet.h"
#include "core/document/position_group.h"
#include "core/model/print_settings.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

struct OrganizationArchive;

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

    // The cards as shown: its organization holds one position per card.
    const ChartPrintPresentation &presentation() const { return m_presentation; }
    const ChartLayout &layout() const { return m_layout; }
    const std::vector<DottedRoute> &routes() const { return m_routes; }
    // True while the dotted lines are still being routed on another thread; routes() is
    // empty then. See ChartSceneCache::routeInBackground.
    bool routesPending() const { return m_routesPending; }
    // Card id -> the card's position in presentation().organization.
    const std::unordered_map<std::string, const Position *> &positions() const { return m_positions; }
    // The chart's organization narrowed to the person or department focus.
    const Organization &scopedOrganization() const { return m_scopedOrganization; }
    // scopedOrganization() less collapsed subtrees, with position groups projected.
    const Organization &visibleOrganization() const { return m_visibleOrganization; }
    // Card id -> the positions the card stands for, in person order; every card has one.
    const std::unordered_map<std::string, std::vector<const Position *>> &members() const { return m_members; }
    // Card id -> the other charts, by name, that list the card or one of its members;
    // every card has one, possibly empty. The shown chart is never listed.
    const std::unordered_map<std::string, std::vector<const OrganizationSheet *>> &linkedSheets() const
    {
        return m_linkedSheets;
    }
    // Cards at least one of whose positions manages someone in scopedOrganization(), even
    // when the card's subtree is collapsed.
    const std::unordered_set<std::string> &managersWithReports() const { return m_managersWithReports; }

    // Lookups by card id; null or empty for an id that is not a card.
    const Position *position(const std::string &cardID) const;
    const std::vector<const Position *> &membersOf(const std::string &cardID) const;
    const std::vector<const OrganizationSheet *> &linkedSheetsOf(const std::string &cardID) const;
    bool hasReports(const std::string &cardID) const { return m_managersWithReports.contains(cardID); }

    // The dotted ink of routes() with the pieces of `selectedID` highlighted. The ink of the
    // last selection asked for is kept, so redraws with an unchanged selection cost nothing.
    // Not for concurrent use from several threads.
    std::shared_ptr<const DottedInk> ink(const std::optional<std::string> &selectedID) const;

private:
    friend class ChartSceneCache;

    // The dotted routes of a layout, or none while they are still being made.
    using RouteSource = std::function<std::optional<std::vector<DottedRoute>>(const ChartLayout &)>;

    // Throws the OrganizationError of the group projection, the presentation or the layout.
    ChartScene(const OrganizationArchive &archive, const std::string &sheetID, const std::string &personID,
               const std::string &department, const std::set<std::string> &collapsed,
               const std::set<std::string> &expandedGroups, const ChartPrintSettings &settings,
               const RouteSource &routeSource);

    void collectMembers(const OrganizationArchive &archive);
    void collectManagersWithReports();
    void collectLinkedSheets(const OrganizationArchive &archive, const std::string &sheetID);

    ChartPrintPresentation m_presentation;
    ChartLayout m_layout;
    std::vector<DottedRoute> m_routes;
    bool m_routesPending = false;
    std::unordered_map<std::string, const Position *> m_positions;
    Organization m_scopedOrganization;
    Organization m_visibleOrganization;
    std::unordered_map<std::string, std::vector<const Position *>> m_members;
    std::vector<OrganizationSheet> m_otherSheets; // what linkedSheets points into
    std::unordered_map<std::string, std::vector<const OrganizationSheet *>> m_linkedSheets;
    std::unordered_set<std::string> m_managersWithReports;
    mutable std::optional<std::pair<std::optional<std::string>, std::shared_ptr<const DottedInk>>> m_selectedInk;
};

// A one-entry memo in front of ChartScene: one per chart window. Asking again with inputs
// equal to the last ones returns the very same scene.
class ChartSceneCache {
public:
    ChartSceneCache() = default;
    ChartSceneCache(const ChartSceneCache &) = delete;
    ChartSceneCache &operator=(const ChartSceneCache &) = delete;
    ~ChartSceneCache();

    // From now on dotted lines are routed on a worker thread, as routing a large chart can
    // take seconds: such a scene comes back with routesPending(), and `routed` is called on
    // the worker thread when the lines are done; snapshot() then gives a new scene with them.
    // A small chart (a few hundred cards) whose lines route within `wait` gets them with the
    // scene, so it never shows without them. A change of the chart abandons routing that is
    // no longer wanted. Without this call, snapshot() routes before it returns.
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
    // ones (a few milliseconds on a 20,000-position district); otherwise a full build, whose
    // routing is skipped when the cards and dotted lines are where they were last routed.
    std::shared_ptr<const ChartScene> snapshot(const OrganizationArchive &archive, const std::string &sheetID,
                                               const std::string &personID, const std::string &department,
                                               const std::set<std::string> &collapsed,
                                               const std::set<std::string> &expandedGroups,
                                               const ChartPrintSettings &settings);

    // Scenes built so far, for diagnostics and tests.
    int buildCount() const { return m_buildCount; }

private:
    // What dotted routing depends on: the cards and the dotted edges of a layout.
    struct RoutingInput {
        std::vector<ChartNode> nodes;
        std::vector<ChartEdge> dotted;
        bool operator==(const RoutingInput &) const = default;
    };
    struct Routed {
        RoutingInput input;
        std::vector<DottedRoute> routes;
    };
    // What a worker hands in: its routes, and the scene with them for the inputs it was
    // started with.
    struct Finished {
        uint64_t job;
        uint64_t inputNumber;
        Routed routed;
        std::shared_ptr<const ChartScene> scene;
    };
    // Shared with the worker thread.
    struct Background {
        std::function<void()> routed;
        std::chrono::milliseconds wait;
        std::mutex mutex;
        std::optional<Finished> finished;
    };
    struct Input {
        Organization organization;
        std::optional<std::vector<OrganizationSheet>> sheets;
        std::optional<std::vector<PositionGroup>> groups;
        std::string sheetID;
        std::string personID;
        std::string department;
        std::set<std::string> collapsed;
        std::set<std::string> expandedGroups;
        ChartPrintSettings settings;
        bool operator==(const Input &) const = default;
    };

    static RoutingInput routingInputOf(const ChartLayout &layout);
    std::optional<std::vector<DottedRoute>> knownRoutes(const RoutingInput &input);
    std::optional<Finished> takeFinished();
    void startWorker(RoutingInput routing);

    std::shared_ptr<const Input> m_input; // shared with the worker
    uint64_t m_inputNumber = 0; // counts the inputs m_input has held
    std::shared_ptr<const ChartScene> m_scene;
    int m_buildCount = 0;
    std::optional<Routed> m_lastRouted;
    std::shared_ptr<Background> m_background;
    std::optional<RoutingInput> m_workerRouting; // what the last worker was given
    uint64_t m_job = 0;                          // the last worker's number
    // The worker of the last job, and earlier ones told to stop that may still be winding
    // up; all are joined before the cache goes away.
    struct Worker {
        std::shared_ptr<std::atomic<bool>> done;
        std::jthread thread;
    };
    std::vector<Worker> m_workers;
};
