#include "core/support/kept_copy.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

void KeptCopy::remove() const
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && status.st_dev == device && status.st_ino == inode)
        ::unlink(path.c_str());
}

namespace KeptCopies {

// On a copy in the saver's own folder: the path of the file it is the new contents of.
static const char *const copyOfAttribute = "user.vantrel.copy-of";

std::string name(const fs::path &fileName, int number)
{
    std::string stem = fileName.stem().string();
    const std::string suffix = number <= 1 ? " (new contents)" : " (new contents " + std::to_string(number) + ")";
    const std::string extension = fileName.extension().string();
    const size_t room = NAME_MAX - std::min<size_t>(NAME_MAX, suffix.size() + extension.size());
    if (stem.size() > room) {
        stem.resize(room);
        // Not inside a character: continuation bytes of UTF-8 are 10xxxxxx.
        while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80)
            stem.pop_back();
        if (!stem.empty() && static_cast<unsigned char>(stem.back()) >= 0xC0)
            stem.pop_back();
    }
    return stem + suffix + extension;
}

static fs::path stateFolder();

std::vector<fs::path> of(const fs::path &target)
{
    // A save through a link writes the file it points to, and keeps the copy beside that.
    std::error_code unresolved;
    fs::path file = fs::canonical(target, unresolved);
    if (unresolved)
        file = target;
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const fs::path own = stateFolder().empty() ? fs::path() : stateFolder() / "vantrel";
    std::vector<std::pair<struct timespec, fs::path>> found;
    for (int number = 1; number <= mostNumbers; ++number) {
        const std::string copyName = name(file.filename(), number);
        struct stat status {};
        if (fs::path copy = folder / copyName; ::stat(copy.c_str(), &status) == 0 && S_ISREG(status.st_mode))
            found.emplace_back(status.st_mtim, std::move(copy));
        if (own.empty() || own == folder)
            continue;
        char marked[4096];
        const fs::path copy = own / copyName;
        const ssize_t size = ::getxattr(copy.c_str(), copyOfAttribute, marked, sizeof marked);
        if (size > 0 && std::string_view(marked, size_t(size)) == file.string() && ::stat(copy.c_str(), &status) == 0
            && S_ISREG(status.st_mode))
            found.emplace_back(status.st_mtim, copy);
    }
    // Newest first; equal times in the order of their numbers.
    std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.first.tv_sec != b.first.tv_sec ? a.first.tv_sec > b.first.tv_sec : a.first.tv_nsec > b.first.tv_nsec;
    });
    std::vector<fs::path> copies;
    for (auto &entry : found)
        copies.push_back(std::move(entry.second));
    return copies;
}

void markAsCopyOf(int copy, const fs::path &target)
{
    std::error_code unresolved;
    fs::path file = fs::canonical(target, unresolved);
    if (unresolved)
        file = target;
    ::fsetxattr(copy, copyOfAttribute, file.c_str(), file.string().size(), 0);
}

static fs::path stateFolder()
{
    // Only an absolute path counts: a relative one would depend on where the program started.
    if (const char *state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        return state;
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd *user = ::getpwuid(::geteuid());
        home = user ? user->pw_dir : nullptr;
    }
    return home ? fs::path(home) / ".local" / "state" : fs::path();
}

int openPrivateFolder(fs::path &path)
{
    const fs::path state = stateFolder();
    if (state.empty()) {
        errno = ENOENT;
        return -1;
    }
    path = state / "vantrel";
    fs::path made;
    for (const fs::path &part : path) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
            return -1;
    }
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return -1;
    // Another user's folder, or one others may write in, could hand the copy to them.
    struct stat status {};
    if (::fstat(folder, &status) != 0 || status.st_uid != ::geteuid() || (status.st_mode & 022) != 0) {
        ::close(folder);
        errno = EACCES;
        return -1;
    }
    return folder;
}

} // namespace KeptCopies
