#include "core/chart/dotted_lines_feed.h"

#include "core/chart/dotted_route_store.h"
#include "core/support/background_thread.h"

#include <iterator>
#include <utility>

DottedLinesFeed::DottedLinesFeed(std::function<void()> news)
    : m_news(std::move(news)), m_thread([this](std::stop_token stop) { run(stop); })
{
}

DottedLinesFeed::~DottedLinesFeed()
{
    stop();
}

void DottedLinesFeed::follow(const DottedRoutingJob &job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_job = &job;
        m_more = true; // lines routed before this call bring no news of their own
    }
    m_woken.notify_one();
}

void DottedLinesFeed::lineNews()
{
    {
        const std::lock_guard lock(m_mutex);
        m_more = true;
    }
    m_woken.notify_one();
}

void DottedLinesFeed::setSelection(const std::optional<std::string> &selection)
{
    const std::lock_guard lock(m_mutex);
    m_selection = selection;
}

std::optional<DottedLinesFeed::Lines> DottedLinesFeed::take(size_t known)
{
    const std::lock_guard lock(m_mutex);
    m_told = false;
    if (!m_made || (m_made->routes->size() <= known && !m_made->complete))
        return std::nullopt;
    return m_made;
}

void DottedLinesFeed::stopSoon()
{
    m_thread.request_stop();
    const std::lock_guard told(m_newsMutex);
}

void DottedLinesFeed::stop()
{
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
}

void DottedLinesFeed::run(std::stop_token stop)
{
    struct Finished {
        std::atomic<bool> &finished;
        ~Finished() { finished = true; }
    } finished{m_finished};
    BackgroundThread::yieldToWindows();
    std::unique_lock lock(m_mutex);
    while (m_woken.wait(lock, stop, [this] { return m_more && m_job; })) {
        m_more = false;
        const DottedRoutingJob &job = *m_job;
        const std::optional<Lines> last = m_made;
        const std::optional<std::string> selection = m_selection;
        lock.unlock();

        DottedRoutingProgress added = job.progressAfter(last ? last->routes->size() : 0);
        const bool news = !added.routes.empty() || (added.isComplete() && !(last && last->complete));
        std::optional<Lines> made;
        if (news)
            made = extended(last.value_or(Lines{}), std::move(added.routes), added.isComplete(), selection);

        lock.lock();
        if (!made || stop.stop_requested())
            continue;
        m_made = std::move(made);
        if (m_told)
            continue;
        m_told = true;
        lock.unlock();
        {
            // Whoever stops the feed may go once stopSoon returns: no news after that.
            const std::lock_guard told(m_newsMutex);
            if (!stop.stop_requested())
                m_news();
        }
        lock.lock();
    }
}

DottedLinesFeed::Lines DottedLinesFeed::extended(const Lines &last, std::vector<DottedRoute> added, bool complete,
                                                 const std::optional<std::string> &selection) const
{
    auto routes = std::make_shared<std::vector<DottedRoute>>();
    const size_t known = last.routes ? last.routes->size() : 0;
    routes->reserve(known + added.size());
    if (last.routes)
        routes->insert(routes->end(), last.routes->begin(), last.routes->end());
    routes->insert(routes->end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    Lines made{routes, complete, selection, nullptr, nullptr};
    if (last.ink && last.selection == selection)
        made.ink = std::make_shared<const DottedInk>(*last.ink, known, *routes, selection);
    else
        made.ink = std::make_shared<const DottedInk>(*routes, selection);
    // A window draws the new lines in parts, which look their strokes up in these.
    made.grids = std::make_shared<const DottedInkGrids>(*made.ink);
    return made;
}
