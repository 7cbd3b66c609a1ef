#pragma once

#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_routing.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class DottedRoutingJob;

// Lines of a large chart come from the router in small batches, and each batch needs every
// line so far and their ink anew (extending the ink copies what is drawn already): tens of
// milliseconds at thousands of lines. A feed does that on a thread of its own, so that the
// window only takes the result. One feed follows one routing job; it must be stopped before
// the job goes, and go after it.
class DottedLinesFeed {
public:
    // What the feed has made: the job's first routes, complete or not, and their ink for
    // `selection` (made from those routes exactly as DottedInk's constructor makes it), with
    // its grids.
    struct Lines {
        std::shared_ptr<const std::vector<DottedRoute>> routes;
        bool complete = false;
        std::optional<std::string> selection;
        std::shared_ptr<const DottedInk> ink;
        std::shared_ptr<const DottedInkGrids> grids; // over `ink`
    };

    // `news` is called on the feed's thread when lines are ready to take (once until
    // take() is called again).
    explicit DottedLinesFeed(std::function<void()> news);
    DottedLinesFeed(const DottedLinesFeed &) = delete;
    DottedLinesFeed &operator=(const DottedLinesFeed &) = delete;
    ~DottedLinesFeed(); // stops and joins

    // Follows `job` from now on: give the job's news to lineNews(). Before any news.
    void follow(const DottedRoutingJob &job);
    // The job has more lines; from the job's thread, returns at once.
    void lineNews();
    // The ink of later lines is made for `selection` from now on.
    void setSelection(const std::optional<std::string> &selection);
    // Lines newer than `known` routes, when made; nothing otherwise.
    std::optional<Lines> take(size_t known);
    // No more lines are made, and news is no longer given; returns once the thread is done.
    void stop();
    // The same, returning once no more news can come (at once unless news is being given);
    // the thread may still be winding up.
    void stopSoon();
    // Told to stop, the thread has ended: stop() would not wait.
    bool isFinished() const { return m_finished; }

private:
    void run(std::stop_token stop);
    Lines extended(const Lines &last, std::vector<DottedRoute> added, bool complete,
                   const std::optional<std::string> &selection) const;

    std::function<void()> m_news;
    std::mutex m_newsMutex; // held while news is given
    std::mutex m_mutex;
    std::condition_variable_any m_woken;
    const DottedRoutingJob *m_job = nullptr;
    bool m_more = false;
    bool m_told = false;
    std::optional<std::string> m_selection;
    std::optional<Lines> m_made; // the newest lines made, taken or not
    std::atomic<bool> m_finished{false};
    std::jthread m_thread; // last: started once the rest is there
};
