#include "core/support/save_lock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

// The files this process holds, by device and inode: its own second lock on one would wait for
// the first, which its thread may be the one to let go.
struct HeldHere {
    std::mutex mutex;
    std::set<std::pair<dev_t, ino_t>> files;
};

HeldHere &heldHere()
{
    static HeldHere held;
    return held;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// How long a save waits for another to let the file go. Saves run on the window's thread, and
// a saver stopped while it holds the file must not hold every window of this one for ever.
constexpr auto longestWait = std::chrono::seconds(10);

// Waits for a write lock over the whole file: 0, EAGAIN when another save held it all the
// while, or the error where the file system keeps no locks (ENOLCK, EINVAL).
int waitForLock(int file)
{
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    const auto giveUp = std::chrono::steady_clock::now() + longestWait;
    while (::fcntl(file, F_OFD_SETLK, &whole) != 0) {
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return errno;
        if (std::chrono::steady_clock::now() >= giveUp)
            return EAGAIN;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

} // namespace

SaveLock::SaveLock(const fs::path &path)
{
    // Bounded, should another program replace the file without end.
    for (int attempt = 0; attempt < 64; ++attempt) {
        struct stat found {};
        if (::stat(path.c_str(), &found) != 0) {
            m_status.reset();
            return;
        }
        m_status = found;
        if (!S_ISREG(found.st_mode))
            return;
        // Never blocks: the file was regular a moment ago, and a pipe put in its place since
        // does not hold the open.
        m_readable = true;
        m_file = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_file < 0 && errno == EACCES) {
            m_readable = false;
            m_file = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        }
        if (m_file < 0)
            return; // the user may not write it: nothing to hold, and the save is refused
        struct stat opened {};
        if (::fstat(m_file, &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(opened, found)) {
            release();
            continue;
        }
        {
            HeldHere &held = heldHere();
            const std::lock_guard guard(held.mutex);
            if (!held.files.insert({opened.st_dev, opened.st_ino}).second) {
                m_error = ETXTBSY;
                release();
                return;
            }
            m_registered = true;
        }
        // Where the file system keeps no locks the file is written unheld, as before there were any.
        const int locked = waitForLock(m_file);
        if (locked == EAGAIN) {
            m_error = EAGAIN;
            release();
            return;
        }
        struct stat now {};
        if (locked == 0 && (::stat(path.c_str(), &now) != 0 || !sameFile(now, opened))) {
            // Another save put a new file in place, or removed it, while this one waited.
            release();
            continue;
        }
        if (::fstat(m_file, &*m_status) != 0)
            m_status = opened;
        return;
    }
}

SaveLock::~SaveLock()
{
    release();
}

SaveLock::SaveLock(SaveLock &&other) noexcept
    : m_file(std::exchange(other.m_file, -1)), m_readable(other.m_readable),
      m_registered(std::exchange(other.m_registered, false)), m_error(other.m_error),
      m_status(std::move(other.m_status))
{
}

SaveLock &SaveLock::operator=(SaveLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_file = std::exchange(other.m_file, -1);
        m_readable = other.m_readable;
        m_registered = std::exchange(other.m_registered, false);
        m_error = other.m_error;
        m_status = std::move(other.m_status);
    }
    return *this;
}

void SaveLock::release()
{
    if (m_registered && m_status) {
        HeldHere &held = heldHere();
        const std::lock_guard guard(held.mutex);
        held.files.erase({m_status->st_dev, m_status->st_ino});
    }
    m_registered = false;
    if (m_file >= 0)
        ::close(std::exchange(m_file, -1));
}
