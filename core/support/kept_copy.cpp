#include "core/support/kept_copy.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <pwd.h>
#include <string_view>
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

namespace {

const std::string_view temporaryPrefix = ".vantrel-";
const std::string_view temporarySuffix = ".part";

// The file a save writes: through a link, the one it points to.
fs::path resolved(const fs::path &target)
{
    std::error_code unresolved;
    fs::path file = fs::canonical(target, unresolved);
    return unresolved ? target : file;
}

// The attribute's value; nothing when it cannot be read, with errno saying why.
std::optional<std::string> attribute(const fs::path &path, const char *name)
{
    // A mark may name two copies.
    char value[2 * (PATH_MAX + 256)];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return std::string(value, size_t(size));
}

bool newerFirst(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

fs::path stateFolder()
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

} // namespace

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

std::string holderName(uid_t user)
{
    const passwd *entry = ::getpwuid(user);
    return entry && entry->pw_name[0] ? std::string(entry->pw_name) : "user " + std::to_string(user);
}

namespace {

// The copy one entry of a mark names, if it still leads to a file (or to one the user may not
// look at).
std::optional<FoundCopy> follow(std::string_view entry)
{
    const size_t first = entry.find('\n');
    const size_t second = first == std::string_view::npos ? first : entry.find('\n', first + 1);
    if (second == std::string_view::npos || second + 1 >= entry.size())
        return std::nullopt;
    FoundCopy copy{std::string(entry.substr(second + 1)), std::string(entry.substr(0, first))};
    struct stat status {};
    if (::stat(copy.path.c_str(), &status) != 0)
        // A copy in a folder closed to the reader is still named: its holder can open it.
        return errno == EACCES ? std::optional(copy) : std::nullopt;
    // Another file put at its name since is not it.
    const std::string identity = std::to_string(status.st_dev) + " " + std::to_string(status.st_ino);
    if (!S_ISREG(status.st_mode) || entry.substr(first + 1, second - first - 1) != identity)
        return std::nullopt;
    return copy;
}

// The entry of `mark` that leads to a copy, the first that does.
std::optional<std::string_view> leading(std::string_view mark)
{
    for (size_t start = 0; start < mark.size();) {
        const size_t end = std::min(mark.find('\0', start), mark.size());
        if (follow(mark.substr(start, end - start)))
            return mark.substr(start, end - start);
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace

std::string markFor(int copy, const fs::path &path, const std::optional<std::string> &before)
{
    struct stat status {};
    ::fstat(copy, &status);
    std::string mark = holderName(::geteuid()) + "\n" + std::to_string(status.st_dev) + " "
        + std::to_string(status.st_ino) + "\n" + path.string();
    // Until the copy takes its name, the copy the file led to stays found: a torn file's.
    if (const std::optional<std::string_view> earlier = before ? leading(*before) : std::nullopt)
        mark += '\0' + std::string(*earlier);
    return mark;
}

std::optional<FoundCopy> marked(const fs::path &target)
{
    const std::optional<std::string> mark = attribute(resolved(target), markAttribute);
    const std::optional<std::string_view> entry = mark ? leading(*mark) : std::nullopt;
    return entry ? follow(*entry) : std::nullopt;
}

std::vector<FoundCopy> of(const fs::path &target)
{
    // A save through a link writes the file it points to, and keeps the copy beside that.
    const fs::path file = resolved(target);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const fs::path own = stateFolder().empty() ? fs::path() : stateFolder() / "vantrel";
    std::vector<FoundCopy> copies;
    const std::optional<FoundCopy> named = marked(file);
    if (named)
        copies.push_back(*named);
    // Where the disk keeps no marks, a copy cannot say whose it is: its name must do.
    const bool marksKept = attribute(file, markAttribute) || errno != ENOTSUP;
    const auto isCopyOfFile = [&](const fs::path &copy) {
        const std::optional<std::string> tie = attribute(copy, copyOfAttribute);
        return tie ? *tie == file.string() : !marksKept && errno == ENOTSUP;
    };
    std::vector<std::pair<struct timespec, FoundCopy>> found;
    for (int number = 1; number <= mostNumbers; ++number) {
        const std::string copyName = name(file.filename(), number);
        for (const fs::path &where : {folder, own}) {
            if (where.empty() || (where == own && own == folder))
                continue;
            const fs::path copy = where / copyName;
            struct stat status {};
            if (::stat(copy.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || (named && copy == named->path))
                continue;
            if (where == own ? attribute(copy, copyOfAttribute) == file.string() : isCopyOfFile(copy))
                found.emplace_back(status.st_mtim, FoundCopy{copy, holderName(status.st_uid)});
        }
    }
    // Newest first; equal times in the order of their numbers.
    std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return newerFirst(a.first, b.first); });
    for (auto &entry : found)
        copies.push_back(std::move(entry.second));
    return copies;
}

bool isHiddenTemporary(const std::string &fileName)
{
    return fileName.size() == temporaryPrefix.size() + 36 + temporarySuffix.size()
        && fileName.starts_with(temporaryPrefix) && fileName.ends_with(temporarySuffix);
}

std::vector<FoundCopy> hiddenBeside(const fs::path &target)
{
    const fs::path file = resolved(target);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    std::vector<std::pair<struct timespec, FoundCopy>> found;
    DIR *entries = ::opendir(folder.c_str());
    if (!entries)
        return {};
    while (const dirent *entry = ::readdir(entries)) {
        struct stat status {};
        const fs::path path = folder / entry->d_name;
        if (isHiddenTemporary(entry->d_name) && ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
            found.emplace_back(status.st_mtim, FoundCopy{path, holderName(status.st_uid)});
    }
    ::closedir(entries);
    std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return newerFirst(a.first, b.first); });
    std::vector<FoundCopy> copies;
    for (auto &entry : found)
        copies.push_back(std::move(entry.second));
    return copies;
}

void markAsCopyOf(int copy, const fs::path &target)
{
    const fs::path file = resolved(target);
    ::fsetxattr(copy, copyOfAttribute, file.c_str(), file.string().size(), 0);
}

void letOwnerRead(int copy, uid_t owner)
{
    struct stat status {};
    if (::fstat(copy, &status) != 0 || status.st_uid == owner)
        return;
    // The saver may read and write, the owner read; the group and others stay out, as the mask
    // lets no named entry write.
    const auto entry = [](uint16_t tag, uint16_t permissions, uint32_t id) {
        return posix_acl_xattr_entry{.e_tag = tag, .e_perm = permissions, .e_id = id};
    };
    const uint32_t none = uint32_t(ACL_UNDEFINED_ID);
    const posix_acl_xattr_entry entries[] = {
        entry(ACL_USER_OBJ, ACL_READ | ACL_WRITE, none), entry(ACL_USER, ACL_READ, uint32_t(owner)),
        entry(ACL_GROUP_OBJ, 0, none), entry(ACL_MASK, ACL_READ, none), entry(ACL_OTHER, 0, none)};
    std::string list(sizeof(posix_acl_xattr_header) + sizeof entries, '\0');
    const posix_acl_xattr_header header{.a_version = POSIX_ACL_XATTR_VERSION};
    std::memcpy(list.data(), &header, sizeof header);
    std::memcpy(list.data() + sizeof header, entries, sizeof entries);
    ::fsetxattr(copy, "system.posix_acl_access", list.data(), list.size(), 0);
}

int openPrivateFolder(fs::path &path)
{
    const fs::path state = stateFolder();
    if (state.empty()) {
        path.clear();
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
