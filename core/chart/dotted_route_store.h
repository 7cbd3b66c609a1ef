#pragma once

#include "core/chart/chart_layout.h"
#include "core/chart/dotted_routing.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

// Dotted routes made once and taken by every consumer: the chart window, the print preview,
// the PDF export of one or all charts, the planning canvas.
//
// - A window's ChartSceneCache owns a DottedRouteStore (routeStore()); hand that pointer to
//   whatever else draws charts of the window, or give a planning canvas's cache the same store.
// - Make the DottedRoutingKey of your layout. store.find(key) gives the routes when anyone
//   finished them for an equal key. Otherwise route off the main thread: store.route(...)
//   on a thread of your own, with a stop token and progress, or a DottedRoutingJob, which
//   runs its own thread and publishes the lines as they come. Either keeps the result in the
//   store, and starts after the longest run of equal first lines it already holds.

// What dotted routes depend on, and all they depend on: the routing nodes of a layout and
// its dotted edges in routing order. Equal keys give equal routes, point for point; a moved
// card, a changed dotted edge or a layout for other paper gives another key.
struct DottedRoutingKey {
    std::vector<ChartNode> nodes;
    std::vector<ChartEdge> edges; // dotted, in DottedRouting::routingOrder
    bool operator==(const DottedRoutingKey &) const = default;

    static DottedRoutingKey of(const ChartLayout &layout);
};

// Lines of one key routed so far. The route of an edge never changes once made (later
// routes only add to the memory), so an earlier report is a prefix of every later one.
struct DottedRoutingProgress {
    std::vector<DottedRoute> routes; // of the first `done` edges that got one, in order
    size_t done = 0;                 // edges routed
    size_t total = 0;                // edges of the key
    bool isComplete() const { return done == total; }
};

// Routes of the last few keys routed, complete or as far as routing got before it was
// stopped; when full, the oldest stopped halfway goes first, else the oldest. Safe to use
// from several threads at once.
//
// Routes only output has wanted (routed with Turn::first, taken with find) belong to the
// print sheets open over the store: they stay while an OutputHold lives, so a preview's
// lines are printed and exported without routing them again, and leave with the last hold.
// Routes a window has wanted (routed in the background, taken with findShared) stay.
class DottedRouteStore {
public:
    // Who routes when two consumers want an equal key. A window's background routing yields
    // to output the user waits for (a preview, a PDF, a print job), which takes over where it
    // got and counts every line; the one that yielded gets the finished routes. Background
    // routing of other lines gives way as well and goes on once no output routes or waits
    // to, so a store holds one routing grid at a time (each is hundreds of megabytes on a
    // 20,000-position chart).
    enum class Turn { background, first };

    explicit DottedRouteStore(size_t capacity = 4);
    DottedRouteStore(const DottedRouteStore &) = delete;
    DottedRouteStore &operator=(const DottedRouteStore &) = delete;

    // The routes of `key` when they are complete here. Cost: comparing the key with the
    // stored ones (some milliseconds on a 20,000-position chart).
    std::optional<std::vector<DottedRoute>> find(const DottedRoutingKey &key) const;
    // The same, shared rather than copied, for a window: one that comes back to a layout (an
    // undo) takes its thousands of routes without copying them; null when not complete here.
    // The routes are the window's from then on, kept past any OutputHold.
    std::shared_ptr<const std::vector<DottedRoute>> findShared(const DottedRoutingKey &key) const;

    // The routes of `key`, routed on the calling thread unless find has them; null once
    // `stop` is requested. Routing starts after the longest run of first edges equal to a
    // stored run of the same nodes; what it makes, the unfinished part too, is kept. While
    // another thread routes an equal key, this waits for it instead of routing the same
    // lines twice, unless this one goes first and the other is in the background: that one
    // then stops within a line and this one goes on from there. Output waits, too, until
    // background routing of other lines has stopped. `routed` is called with the
    // lines done so far: as routing starts here, after every line routed here and, when
    // nothing was left to route here, once at the end.
    std::optional<std::vector<DottedRoute>> route(const std::shared_ptr<const DottedRoutingKey> &key,
                                                  std::stop_token stop = {},
                                                  const std::function<void(const DottedRoutingProgress &)> &routed = {},
                                                  Turn turn = Turn::background);

    // Keeps the routes only output wanted while it lives; when the last hold of a store goes,
    // they leave it (on a 20,000-position chart, a print layout's lines and the grid cells
    // they ran through take some hundred megabytes). Holds the store.
    class OutputHold {
    public:
        explicit OutputHold(std::shared_ptr<DottedRouteStore> store);
        OutputHold(const OutputHold &) = delete;
        OutputHold &operator=(const OutputHold &) = delete;
        ~OutputHold();

    private:
        std::shared_ptr<DottedRouteStore> m_store;
    };

private:
    struct Entry {
        std::shared_ptr<const DottedRoutingKey> key;
        std::vector<DottedRouting::Step> steps;
        // The routes of complete steps, made when first found (an entry's steps never change).
        mutable std::shared_ptr<const std::vector<DottedRoute>> routes;
        // No window has wanted these routes yet: they leave with the last OutputHold.
        mutable bool outputOnly = false;
    };

    // A key being routed now, and how to make its router give way.
    struct Routing {
        const DottedRoutingKey *key;
        Turn turn;
        std::shared_ptr<std::stop_source> yield;
    };

    // The entry holding every route of `key`; the caller holds the lock.
    const Entry *completeEntry(const DottedRoutingKey &key) const;
    // A window's routing of an equal key is under way or waits; the caller holds the lock.
    bool isWantedInBackground(const DottedRoutingKey &key) const;
    std::vector<DottedRouting::Step> startFor(const DottedRoutingKey &key) const;
    void keep(const std::shared_ptr<const DottedRoutingKey> &key, std::vector<DottedRouting::Step> steps, Turn turn);
    void markShown(const DottedRoutingKey &key);
    void forgetOutputRoutes();
    // Routes `key` from what is kept; null when stopped or told to yield (`yielded` says which).
    std::optional<std::vector<DottedRoute>> routeHere(const std::shared_ptr<const DottedRoutingKey> &key,
                                                      std::stop_token stop,
                                                      const std::function<void(const DottedRoutingProgress &)> &routed,
                                                      Turn turn, const std::stop_source &yield, bool &yielded);

    size_t m_capacity;
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;   // the most recently kept first
    std::vector<Routing> m_routing; // keys being routed now
    std::vector<const DottedRoutingKey *> m_waitingFirst; // keys output waits to route
    std::vector<const DottedRoutingKey *> m_wantedInBackground; // by route() calls of windows now
    int m_outputHolds = 0;
    std::condition_variable_any m_routed; // one of them is done
};

// Routes one key through a store on a thread of its own, for a consumer that shows lines
// as they come; background routing gives the window's thread the processor first, output
// routing (Turn::first) does not. `news` is called on that thread when lines have come since progress() was
// last called (once until it is called again; the consumer decides how often to look) and
// when routing is complete; never after cancel(). Stopped and waited for when destroyed.
class DottedRoutingJob {
public:
    DottedRoutingJob(std::shared_ptr<DottedRouteStore> store, std::shared_ptr<const DottedRoutingKey> key,
                     std::function<void()> news, DottedRouteStore::Turn turn = DottedRouteStore::Turn::background);
    DottedRoutingJob(const DottedRoutingJob &) = delete;
    DottedRoutingJob &operator=(const DottedRoutingJob &) = delete;
    ~DottedRoutingJob() = default; // the thread is told to stop, then joined

    const std::shared_ptr<const DottedRoutingKey> &key() const { return m_key; }
    // The lines so far (a copy); complete once routing is done.
    DottedRoutingProgress progress() const { return progressAfter(0); }
    // The same without the first `known` lines, which the caller has: a window asks many
    // times a second, and copying every line each time would keep it busy.
    DottedRoutingProgress progressAfter(size_t known) const;
    // Asks the thread to stop and returns at once; it stops within milliseconds, or once the
    // routing grid of a very large chart is built.
    void cancel() { m_thread.request_stop(); }
    bool isFinished() const;

private:
    struct Shared {
        std::mutex mutex;
        DottedRoutingProgress progress;
        bool told = false; // news given that progress() has not taken yet
        bool finished = false;
    };

    std::shared_ptr<const DottedRoutingKey> m_key;
    std::shared_ptr<Shared> m_shared;
    std::jthread m_thread;
};
