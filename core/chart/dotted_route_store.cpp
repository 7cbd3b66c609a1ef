#include "core/chart/dotted_route_store.h"

#include "core/support/background_thread.h"

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// A router's grid and searches end with it, but their memory stays with the allocator of
// the thread that routed: without this, a window's routing that gave way to an export
// would keep some hundred megabytes of a 20,000-position chart beside the export's own.
void giveBackRoutingMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

DottedRoutingKey DottedRoutingKey::of(const ChartLayout &layout)
{
    return {layout.routingNodes(), DottedRouting::routingOrder(layout.edges)};
}

DottedRouteStore::DottedRouteStore(size_t capacity) : m_capacity(std::max<size_t>(capacity, 1))
{
}

const DottedRouteStore::Entry *DottedRouteStore::completeEntry(const DottedRoutingKey &key) const
{
    for (const Entry &entry : m_entries) {
        if (entry.steps.size() == key.edges.size() && *entry.key == key)
            return &entry;
    }
    return nullptr;
}

std::optional<std::vector<DottedRoute>> DottedRouteStore::find(const DottedRoutingKey &key) const
{
    // A copy for the caller: the shared one is made only for those that share it, so that a
    // print or an export leaves no second copy of the routes with the store.
    std::lock_guard lock(m_mutex);
    const Entry *entry = completeEntry(key);
    if (!entry)
        return std::nullopt;
    return entry->routes ? *entry->routes : DottedRouting::routesOf(entry->steps);
}

std::shared_ptr<const std::vector<DottedRoute>> DottedRouteStore::findShared(const DottedRoutingKey &key) const
{
    std::lock_guard lock(m_mutex);
    const Entry *entry = completeEntry(key);
    if (!entry)
        return nullptr;
    if (!entry->routes)
        entry->routes = std::make_shared<const std::vector<DottedRoute>>(DottedRouting::routesOf(entry->steps));
    entry->outputOnly = false;
    return entry->routes;
}

bool DottedRouteStore::isWantedInBackground(const DottedRoutingKey &key) const
{
    return std::any_of(m_wantedInBackground.begin(), m_wantedInBackground.end(),
                       [&](const DottedRoutingKey *wanted) { return wanted == &key || *wanted == key; });
}

void DottedRouteStore::markShown(const DottedRoutingKey &key)
{
    std::lock_guard lock(m_mutex);
    for (Entry &entry : m_entries) {
        if (entry.key.get() == &key || *entry.key == key)
            entry.outputOnly = false;
    }
}

void DottedRouteStore::forgetOutputRoutes()
{
    std::vector<Entry> gone;
    {
        std::lock_guard lock(m_mutex);
        const auto forgotten = std::stable_partition(m_entries.begin(), m_entries.end(), [&](const Entry &entry) {
            return !entry.outputOnly || isWantedInBackground(*entry.key);
        });
        gone.assign(std::make_move_iterator(forgotten), std::make_move_iterator(m_entries.end()));
        m_entries.erase(forgotten, m_entries.end());
    }
    // Freed here, outside the lock: a large chart's steps take a while to free.
}

DottedRouteStore::OutputHold::OutputHold(std::shared_ptr<DottedRouteStore> store) : m_store(std::move(store))
{
    std::lock_guard lock(m_store->m_mutex);
    ++m_store->m_outputHolds;
}

DottedRouteStore::OutputHold::~OutputHold()
{
    {
        std::lock_guard lock(m_store->m_mutex);
        if (--m_store->m_outputHolds > 0)
            return;
    }
    m_store->forgetOutputRoutes();
}

// The longest run of first steps stored for the key's nodes whose edges equal the key's.
std::vector<DottedRouting::Step> DottedRouteStore::startFor(const DottedRoutingKey &key) const
{
    std::lock_guard lock(m_mutex);
    const Entry *best = nullptr;
    size_t bestLength = 0;
    for (const Entry &entry : m_entries) {
        const size_t most = std::min(entry.steps.size(), key.edges.size());
        if (most <= bestLength || entry.key->nodes != key.nodes)
            continue;
        const auto differ = std::mismatch(key.edges.begin(), key.edges.begin() + static_cast<ptrdiff_t>(most),
                                          entry.key->edges.begin());
        const size_t length = static_cast<size_t>(differ.first - key.edges.begin());
        if (length > bestLength) {
            best = &entry;
            bestLength = length;
        }
    }
    if (!best)
        return {};
    return {best->steps.begin(), best->steps.begin() + static_cast<ptrdiff_t>(bestLength)};
}

void DottedRouteStore::keep(const std::shared_ptr<const DottedRoutingKey> &key,
                            std::vector<DottedRouting::Step> steps, Turn turn)
{
    std::lock_guard lock(m_mutex);
    const auto same = std::find_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry &entry) { return *entry.key == *key; });
    std::shared_ptr<const std::vector<DottedRoute>> routes;
    // A window that gave way to output, or waits for it, takes these routes when they come.
    bool outputOnly = turn == Turn::first && !isWantedInBackground(*key);
    if (same != m_entries.end()) {
        outputOnly = outputOnly && same->outputOnly;
        // Another consumer may have got further with the same key meanwhile.
        if (same->steps.size() > steps.size()) {
            steps = std::move(same->steps);
            routes = std::move(same->routes);
        }
        m_entries.erase(same);
    }
    m_entries.insert(m_entries.begin(), Entry{key, std::move(steps), std::move(routes), outputOnly});
    if (m_entries.size() <= m_capacity)
        return;
    // Older lines stopped halfway give way first: a large chart routed whole takes minutes
    // to route again, and edits made meanwhile, each stopping the last one's routing, would
    // otherwise push it out before their undos come back to it.
    const auto partial = std::find_if(m_entries.rbegin(), std::prev(m_entries.rend()), [](const Entry &entry) {
        return entry.steps.size() != entry.key->edges.size();
    });
    m_entries.erase(partial != std::prev(m_entries.rend()) ? std::prev(partial.base()) : std::prev(m_entries.end()));
}

std::optional<std::vector<DottedRoute>> DottedRouteStore::route(
    const std::shared_ptr<const DottedRoutingKey> &key, std::stop_token stop,
    const std::function<void(const DottedRoutingProgress &)> &routed, Turn turn)
{
    const size_t total = key->edges.size();
    // A window's key is wanted until this call returns: output that routes it meanwhile keeps
    // the routes for the window, and no hold that ends takes them away.
    struct Wanted {
        DottedRouteStore *store;
        const DottedRoutingKey *key;
        ~Wanted()
        {
            if (!store)
                return;
            std::lock_guard lock(store->m_mutex);
            store->m_wantedInBackground.erase(
                std::find(store->m_wantedInBackground.begin(), store->m_wantedInBackground.end(), key));
        }
    } wanted{nullptr, key.get()};
    if (turn == Turn::background) {
        std::lock_guard lock(m_mutex);
        m_wantedInBackground.push_back(key.get());
        wanted.store = this;
    }
    const auto known = [&]() -> std::optional<std::vector<DottedRoute>> {
        std::optional<std::vector<DottedRoute>> routes = find(*key);
        if (routes && turn == Turn::background)
            markShown(*key);
        if (routes && routed)
            routed({*routes, total, total});
        return routes;
    };
    if (std::optional<std::vector<DottedRoute>> routes = known())
        return routes;
    // Once more after giving way, for the result of the one that went first (or to go on
    // where it stopped).
    for (;;) {
        const auto yield = std::make_shared<std::stop_source>();
        {
            // Another thread routing the same lines: wait for its result, or take over where it
            // stopped; output the user waits for makes background routing give way.
            std::unique_lock lock(m_mutex);
            // Background routing of other lines gives way too, and waits while output routes
            // or waits to: a routing grid of a large chart takes hundreds of megabytes, and
            // the output's would come on top of it.
            const auto busy = [&] {
                bool waits = turn == Turn::background && !m_waitingFirst.empty();
                for (const Routing &other : m_routing) {
                    if (*other.key == *key || other.turn != turn)
                        waits = true;
                    if (turn == Turn::first && other.turn == Turn::background)
                        other.yield->request_stop();
                }
                return waits;
            };
            if (turn == Turn::first)
                m_waitingFirst.push_back(key.get());
            const bool free = m_routed.wait(lock, stop, [&] { return !busy(); });
            if (turn == Turn::first) {
                m_waitingFirst.erase(std::find(m_waitingFirst.begin(), m_waitingFirst.end(), key.get()));
                if (!free)
                    m_routed.notify_all();
            }
            if (!free)
                return std::nullopt;
            m_routing.push_back({key.get(), turn, yield});
        }
        struct Done {
            DottedRouteStore &store;
            const std::stop_source *yield;
            ~Done()
            {
                {
                    std::lock_guard lock(store.m_mutex);
                    std::erase_if(store.m_routing, [&](const Routing &routing) { return routing.yield.get() == yield; });
                }
                store.m_routed.notify_all();
            }
        } done{*this, yield.get()};
        if (std::optional<std::vector<DottedRoute>> routes = known())
            return routes;
        bool yielded = false;
        std::optional<std::vector<DottedRoute>> routes = routeHere(key, stop, routed, turn, *yield, yielded);
        if (routes || !yielded)
            return routes;
    }
}

std::optional<std::vector<DottedRoute>> DottedRouteStore::routeHere(
    const std::shared_ptr<const DottedRoutingKey> &key, std::stop_token stop,
    const std::function<void(const DottedRoutingProgress &)> &routed, Turn turn, const std::stop_source &yield,
    bool &yielded)
{
    std::vector<DottedRouting::Step> steps = startFor(*key);
    const size_t kept = steps.size();
    DottedRoutingProgress progress{{}, 0, key->edges.size()};
    // Follows the steps as they grow; each route is copied once.
    const auto follow = [&](const std::vector<DottedRouting::Step> &now) {
        for (; progress.done < now.size(); ++progress.done) {
            if (now[progress.done].route)
                progress.routes.push_back(*now[progress.done].route);
        }
    };
    // The count shows from the start: the grid of a large chart takes a while to build.
    follow(steps);
    if (routed)
        routed(progress);
    std::stop_source stopHere;
    const std::stop_callback stopped(stop, [&] { stopHere.request_stop(); });
    const std::stop_callback gaveWay(yield.get_token(), [&] { stopHere.request_stop(); });
    // The report of the last line waits until the store keeps the lines: whoever hears that
    // they are complete finds them here (an undo right after it, say).
    const bool finished = DottedRouting::routeOn(key->nodes, key->edges, steps, stopHere.get_token(),
                                                 [&](const std::vector<DottedRouting::Step> &now) {
                                                     follow(now);
                                                     if (routed && !progress.isComplete())
                                                         routed(progress);
                                                 });
    if (!finished) {
        yielded = !stop.stop_requested();
        if (yielded)
            giveBackRoutingMemory(); // before the output that went first builds its grid
        if (steps.size() > kept)
            keep(key, std::move(steps), turn);
        return std::nullopt;
    }
    follow(steps);
    std::vector<DottedRoute> routes = DottedRouting::routesOf(steps);
    keep(key, std::move(steps), turn);
    if (routed)
        routed(progress);
    return routes;
}

DottedRoutingJob::DottedRoutingJob(std::shared_ptr<DottedRouteStore> store,
                                   std::shared_ptr<const DottedRoutingKey> key, std::function<void()> news,
                                   DottedRouteStore::Turn turn)
    : m_key(std::move(key)), m_shared(std::make_shared<Shared>())
{
    m_shared->progress.total = m_key->edges.size();
    m_thread = std::jthread([store = std::move(store), key = m_key, shared = m_shared,
                             news = std::move(news), turn](std::stop_token stop) {
        // Output the user waits for (a preview) routes at the window's own priority.
        if (turn == DottedRouteStore::Turn::background)
            BackgroundThread::yieldToWindows();
        const auto report = [&](const DottedRoutingProgress &progress) {
            bool tell = false;
            {
                std::lock_guard lock(shared->mutex);
                DottedRoutingProgress &mine = shared->progress;
                // The count given as routing starts is news only when it brings lines.
                const bool more = progress.done > mine.done;
                mine.routes.insert(mine.routes.end(),
                                   progress.routes.begin() + static_cast<ptrdiff_t>(mine.routes.size()),
                                   progress.routes.end());
                mine.done = progress.done;
                tell = (more && !shared->told) || progress.isComplete();
                shared->told = shared->told || tell;
            }
            if (tell && !stop.stop_requested())
                news();
        };
        try {
            store->route(key, stop, report, turn);
        } catch (...) {
            // Out of memory: the consumer keeps the lines it has.
        }
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
    });
}

DottedRoutingProgress DottedRoutingJob::progressAfter(size_t known) const
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->told = false;
    const DottedRoutingProgress &all = m_shared->progress;
    DottedRoutingProgress after{{}, all.done, all.total};
    if (known < all.routes.size())
        after.routes.assign(all.routes.begin() + static_cast<ptrdiff_t>(known), all.routes.end());
    return after;
}

bool DottedRoutingJob::isFinished() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->finished;
}
