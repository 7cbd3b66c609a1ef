#include "core/support/pending_file.h"

#include "core/support/identifiers.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <stdio.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

FileWriteError::FileWriteError(std::string fileName, int error) : FileWriteError(std::move(fileName), reasonFor(error))
{
}

FileWriteError::FileWriteError(std::string fileName, std::string reason)
    : OrganizationError("The file \u201c" + fileName + "\u201d could not be saved: " + reason + "."),
      m_fileName(std::move(fileName)), m_reason(std::move(reason))
{
}

FileWriteError::FileWriteError(std::string fileName, const std::string &reason, std::optional<KeptCopy> kept,
                               std::optional<struct stat> left)
    : FileWriteError(std::move(fileName),
                     kept ? reason + ". It may be incomplete now; its new contents are whole in \u201c"
                             + kept->path.string() + "\u201d"
                          : reason)
{
    m_kept = std::move(kept);
    m_left = left;
}

std::string FileWriteError::reasonFor(int error)
{
    switch (error) {
    case ENOSPC: return "the disk is full";
    case EDQUOT: return "the disk quota is used up";
    case EFBIG: return "the file is larger than this disk or system allows";
    case EROFS: return "the disk is read-only";
    case EACCES:
    case EPERM: return "you do not have permission to save there";
    case ENOENT:
    case ENOTDIR: return "the folder does not exist";
    case EISDIR: return "a folder has that name";
    case EEXIST: return "a file of that name already exists";
    case ENAMETOOLONG: return "the name is too long";
    case EIO: return "the disk reported an error";
    case EMFILE:
    case ENFILE: return "too many files are open";
    case ETXTBSY: return "the file is in use";
    case EAGAIN: return "someone else is saving it";
    default: break;
    }
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = char(text[0] - 'A' + 'a');
    return text;
}

namespace {

const char *const accessListName = "system.posix_acl_access";
const char *const accessListLost = "the access rights set on it (its ACL) could not be kept";
const char *const readOnlyFile = "the file is read-only";
const char *const replacedMeanwhile = "another program replaced it while it was being saved";
const char *const writtenMeanwhile = "another program wrote to it at the same time";
const std::string_view temporaryPrefix = ".vantrel-";
const std::string_view temporarySuffix = ".part";
constexpr size_t chunkBytes = 1 << 20;

// Where the bytes must go: through a symbolic link to the file it names, when there is one.
fs::path resolvedTarget(const fs::path &target)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(target, error)))
        return target;
    const fs::path resolved = fs::canonical(target, error);
    return error ? target : resolved;
}

int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        bytes.remove_prefix(size_t(written));
    }
    return 0;
}

// Closes a descriptor on every way out.
struct Descriptor {
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd;
};

// Errors that say the disk cannot take the bytes; any other from reserving room only says the
// file system does not reserve, and the writes themselves will tell.
bool isOutOfRoom(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// "340 KB", "1.1 MB": rounded up, never to less than is wanted.
std::string amountOf(unsigned long long bytes)
{
    constexpr unsigned long long kilo = 1024, mega = 1024 * 1024;
    if (bytes < mega)
        return std::to_string(std::max(1ULL, (bytes + kilo - 1) / kilo)) + " KB";
    const unsigned long long tenths = (bytes * 10 + mega - 1) / mega;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// How much more room the disk must have for files growing by `parts` bytes, where `error` says it
// is full: "; the save needs 1.2 MB more free space", or nothing where the disk does not say.
std::string roomWanted(int onDisk, std::initializer_list<off_t> parts, int error)
{
    struct statvfs disk {};
    // A file-size limit or a quota is not room on the disk.
    if (error != ENOSPC || ::fstatvfs(onDisk, &disk) != 0 || disk.f_frsize == 0)
        return "";
    // Each file takes whole blocks.
    off_t more = 0;
    for (const off_t part : parts)
        more += part <= 0 ? 0 : (part + off_t(disk.f_frsize) - 1) / off_t(disk.f_frsize) * off_t(disk.f_frsize);
    if (more <= 0)
        return "";
    const unsigned long long free = (unsigned long long)disk.f_bavail * disk.f_frsize;
    const unsigned long long wanted = (unsigned long long)more > free ? (unsigned long long)more - free : disk.f_frsize;
    return "; the save needs " + amountOf(wanted) + " more free space";
}

// Moves `from` to `to` only when `to` does not exist, atomically.
int moveWithoutReplacing(int fromFolder, const char *from, int toFolder, const char *to)
{
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // File systems without the flag: a hard link also refuses to replace an existing name.
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0)
        return errno;
    ::unlinkat(fromFolder, from, 0);
    return 0;
}

// Reads the extended attribute `name` of `path` into `value`: 0, or the error (ENODATA when
// the file has no such attribute, ENOTSUP when its file system keeps none).
int readAttribute(const fs::path &path, const char *name, std::string &value)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
        if (size < 0)
            return errno;
        value.resize(size_t(size));
        const ssize_t read = ::getxattr(path.c_str(), name, value.data(), value.size());
        if (read >= 0) {
            value.resize(size_t(read));
            return 0;
        }
        if (errno != ERANGE) // else it grew in between: measure again
            return errno;
    }
    return ERANGE;
}

// The names of the extended attributes of `path`: 0, or the error.
int attributeNames(const fs::path &path, std::vector<std::string> &names)
{
    std::string list;
    for (int attempt = 0;; ++attempt) {
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
        if (size < 0)
            return errno;
        list.resize(size_t(size));
        const ssize_t read = ::listxattr(path.c_str(), list.data(), list.size());
        if (read >= 0) {
            list.resize(size_t(read));
            break;
        }
        if (errno != ERANGE || attempt == 8)
            return errno;
    }
    for (size_t start = 0; start < list.size();) {
        const size_t end = std::min(list.find('\0', start), list.size());
        if (end > start)
            names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}

// Ours, which say where a save keeps its copy: never carried to another file.
bool isOwnMark(std::string_view name)
{
    return name.starts_with(KeptCopies::ownAttributePrefix);
}

// Attributes that decide who may use the file: besides the POSIX list, the lists of other
// file systems (NFSv4's "system.nfs4_acl"). Left behind, they could let in people the old
// file kept out.
bool grantsAccess(std::string_view name)
{
    return name.starts_with("system.");
}

// Written by the kernel for the content they vouch for; the new content gets its own.
bool describesOldContent(std::string_view name)
{
    return name == "security.ima" || name == "security.evm";
}


} // namespace

// A hidden file is held from a moment after it is made, so an unheld one older than this is
// a killed save's. Once whole copies had no visible name: one may hold the only whole text of a
// torn document beside it, and stays while one does not read whole.
void Leftovers::removeStale(int folder, time_t now, const std::function<bool()> &mayRemove)
{
    const int listing = ::dup(folder);
    DIR *entries = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!entries) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    ::rewinddir(entries);
    std::optional<bool> allowed;
    while (const dirent *entry = ::readdir(entries)) {
        if (!KeptCopies::isHiddenTemporary(entry->d_name))
            continue;
        // Only those the saver may open can be told unheld.
        const Descriptor file(::openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat status {};
        struct flock probe {};
        probe.l_type = F_RDLCK;
        probe.l_whence = SEEK_SET;
        if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)
            || status.st_ctim.tv_sec + staleAfterSeconds >= now || ::fcntl(file.fd, F_OFD_SETLK, &probe) != 0)
            continue;
        if (!allowed)
            allowed = mayRemove && mayRemove();
        if (*allowed)
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

namespace {

// Reads exactly `size` bytes at `at`: 0, or the error (EIO for a file shorter than that).
int readAll(int fd, char *into, size_t size, off_t at)
{
    while (size > 0) {
        const ssize_t read = ::pread(fd, into, size, at);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            return read < 0 ? errno : EIO;
        into += read;
        size -= size_t(read);
        at += read;
    }
    return 0;
}

} // namespace

PendingFile::PendingFile(const fs::path &target, const std::function<bool()> &leftoversMayGo)
    : m_fileName(target.filename().string()), m_target(resolvedTarget(target))
{
    // A write past a file-size limit (ulimit -f) then fails with EFBIG, which the save
    // reports, instead of ending the program with every unsaved change.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!m_target.has_filename())
        fail(EISDIR);
    m_copyFolderPath = m_target.has_parent_path() ? m_target.parent_path() : fs::path(".");
    m_folder = ::open(m_copyFolderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0)
        fail(errno);
    m_lock = SaveLock(m_target);
    if (m_lock.error() != 0)
        fail(m_lock.error());
    m_copyFolder = ::dup(m_folder);
    if (m_copyFolder < 0)
        fail(errno);
    const std::optional<struct stat> &existing = m_lock.status();
    const bool replacing = existing && S_ISREG(existing->st_mode);
    Leftovers::removeStale(m_copyFolder, ::time(nullptr), leftoversMayGo);
    // A hidden name of its own, never one the user could have chosen for a file of ours. The
    // copy of an existing file starts closed to all but its writer: anyone who opened it
    // earlier could read what is written later.
    if (const int refused = createTemporary(m_copyFolder, replacing ? 0600 : 0666)) {
        if (!replacing || (refused != EACCES && refused != EPERM)
            || ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0)
            fail(refused);
        useOwnFolder();
    }
    // The rename needs only the folder's permission: a file the user may not write (made
    // read-only, someone else's, or immutable) is refused as writing into it would be. Asked
    // once the folder has taken the new file: a folder closed to the user is what to mend first.
    if (::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM))
        fail(readOnlyFile);
    if (!replacing)
        return;
    if (!m_overwrite)
        m_overwrite = !keepsEverythingOf(*existing);
    if (m_overwrite)
        makeCopyOwn();
}

// Creates the temporary file in `folder` and holds it, so that no other save takes it for a
// killed save's: 0, or the error.
int PendingFile::createTemporary(int folder, mode_t mode)
{
    for (int attempt = 0; m_file < 0; ++attempt) {
        const std::string name = std::string(temporaryPrefix) + makeUUID() + std::string(temporarySuffix);
        m_file = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (m_file < 0 && (errno != EEXIST || attempt == 8))
            return errno;
        if (m_file >= 0)
            m_temporary = name;
    }
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    ::fcntl(m_file, F_OFD_SETLK, &whole);
    return 0;
}

// A folder closed to the saver, over a file the saver may write: the file takes the bytes
// itself, and its copy waits in the saver's own folder, as editors keep their backups.
void PendingFile::useOwnFolder()
{
    fs::path own;
    const int folder = KeptCopies::openPrivateFolder(own);
    if (folder < 0) {
        // The file itself may be written: what lacks is a place for its copy.
        const int error = errno;
        std::string why = FileWriteError::reasonFor(error);
        if (own.empty()) {
            own = "~/.local/state/vantrel";
            why = "you have no home folder";
        } else if (error == EACCES || error == EPERM) {
            why = "you may not make it, or it is not yours alone";
        } else if (error == ENOTDIR || error == EEXIST) {
            why = "part of its path is not a folder";
        }
        fail("you may not add files to its folder, and your own folder for the copy a save keeps, \u201c"
             + own.string() + "\u201d, cannot be used: " + why);
    }
    ::close(std::exchange(m_copyFolder, folder));
    m_copyFolderPath = own;
    m_inOwnFolder = true;
    m_overwrite = true;
    // Every whole copy there has a visible name before its file is touched.
    Leftovers::removeStale(m_copyFolder, ::time(nullptr), [] { return true; });
    if (const int error = createTemporary(m_copyFolder, 0600))
        fail(error);
}

// Gives the temporary file all the old file has, where it can: true when a rename then loses
// nothing. The owner and group first, while the file is open to its writer alone: a change of
// either may clear the set-ID bits, and it opens the file to nobody new. Only root may give
// the file to another owner, and only a group the saver belongs to can be given.
bool PendingFile::keepsEverythingOf(const struct stat &existing)
{
    if (existing.st_nlink > 1 || ::fchown(m_file, existing.st_uid, existing.st_gid) != 0)
        return false;
    m_opened = true;
    keepAccessOf(existing);
    const bool attributesKept = keepAttributesOf(m_target, true);
    // What the saver could give the new file is what it has now.
    struct stat copy {};
    if (::fstat(m_file, &copy) != 0)
        fail(errno);
    return attributesKept && (copy.st_mode & 07777) == (existing.st_mode & 07777);
}

// A document shared through its group or an access list stays shared as it was.
void PendingFile::keepAccessOf(const struct stat &existing)
{
    const mode_t mode = existing.st_mode & 07777;
    std::string list;
    const int read = readAttribute(m_target, accessListName, list);
    if (read != 0 && read != ENODATA && read != ENOTSUP)
        fail(accessListLost);
    if (read != 0) {
        // The mode says it all. A list the new file took from the folder's default list would
        // let in people the old file kept out.
        if (::fremovexattr(m_file, accessListName) != 0 && errno != ENODATA && errno != ENOTSUP)
            fail(accessListLost);
        ::fchmod(m_file, mode);
        return;
    }
    // The list sets the group and others' bits from its mask and entries, and a mode set
    // after it would set the mask: the mode goes first with only the owner's and special
    // bits, so that until the list is on, only the owner may open the file.
    ::fchmod(m_file, mode & ~mode_t(S_IRWXG | S_IRWXO));
    if (::fsetxattr(m_file, accessListName, list.data(), list.size(), 0) != 0)
        fail(accessListLost);
}

// The file's other extended attributes: labels, tags and notes other programs keep on it.
// Those that cannot be copied (one the saver may not read, a security label the saver may not
// set) make it false: the old file must stay. With `accessToo`, those that grant access are
// copied as well, and one that cannot be stops the save, since the temporary file would let in
// people the old file kept out.
bool PendingFile::keepAttributesOf(const fs::path &existing, bool accessToo)
{
    std::vector<std::string> names;
    if (const int error = attributeNames(existing, names); error != 0 && error != ENOTSUP) {
        if (accessToo)
            fail(error);
        return false;
    }
    bool allCopied = true;
    for (const std::string &name : names) {
        if (name == accessListName || describesOldContent(name) || isOwnMark(name) || (!accessToo && grantsAccess(name)))
            continue;
        std::string value;
        const bool copied = readAttribute(existing, name.c_str(), value) == 0
            && ::fsetxattr(m_file, name.c_str(), value.data(), value.size(), 0) == 0;
        if (!copied && grantsAccess(name))
            fail(accessListLost);
        allCopied = allCopied && copied;
    }
    return allCopied;
}

// The copy that waits while the file is written over is the saver's alone. One that was given
// the old file's owner or opened as far as the old file is made again: whoever opened it then
// could read what is written later.
void PendingFile::makeCopyOwn()
{
    if (m_opened) {
        ::close(std::exchange(m_file, -1));
        ::unlinkat(m_copyFolder, m_temporary.c_str(), 0);
        m_temporary.clear();
        if (const int error = createTemporary(m_copyFolder, 0600))
            fail(error);
        m_opened = false;
    }
    // A list the folder gives its new files names others; at 0600 its mask lets none of them
    // in, and without it no later change of mode can.
    ::fremovexattr(m_file, accessListName);
    keepAttributesOf(m_target, false);
    // Opening the file finds the copy by these, and its owner may read it beside the file.
    KeptCopies::markAsCopyOf(m_file, m_target);
    if (!m_inOwnFolder)
        KeptCopies::letOwnerRead(m_file, m_lock.status()->st_uid);
}

PendingFile::~PendingFile()
{
    discard();
}

void PendingFile::append(std::string_view bytes)
{
    if (m_file < 0)
        fail(EBADF);
    if (const int error = writeAll(m_file, bytes))
        fail(error);
    m_written += (long long)bytes.size();
}

void PendingFile::reserve(size_t total)
{
    if (m_file < 0 || total == 0)
        return;
    if (::fallocate(m_file, FALLOC_FL_KEEP_SIZE, 0, off_t(total)) == 0 || !isOutOfRoom(errno))
        return;
    const int error = errno;
    // Written over, the file takes what it lacks as well, once the copy is whole.
    off_t grows = 0;
    if (struct stat held {}; m_overwrite && ::fstat(m_lock.descriptor(), &held) == 0)
        grows = off_t(total) - off_t(held.st_blocks) * 512;
    fail(FileWriteError::reasonFor(error) + roomWanted(m_file, {off_t(total), grows}, error));
}

fs::path PendingFile::temporaryPath()
{
    m_writtenByPath = true;
    return m_copyFolderPath / m_temporary;
}

void PendingFile::commit(Placement placement)
{
    if (m_file < 0)
        fail(EBADF);
    if (::fsync(m_file) != 0)
        fail(errno);
    struct stat written {};
    if (::fstat(m_file, &written) != 0)
        fail(errno);
    // A short file here means a write was lost on the way, whatever the calls returned.
    if (!m_writtenByPath && written.st_size != m_written)
        fail(EIO);
    // Some file systems (NFS) report a failed write only when a descriptor closes: a second
    // one is closed now, while the first still tells the file from whatever takes its name.
    const int second = ::dup(m_file);
    if (second < 0 || ::close(second) != 0)
        fail(errno);
    if (m_overwrite && placement == Placement::replaceExisting)
        writeOver(written);
    else
        replaceByRename(placement, written);
    ::close(std::exchange(m_file, -1));
    // The rename, or the removal of the copy, reaches the disk with the folder.
    ::fsync(m_folder);
    if (m_inOwnFolder)
        ::fsync(m_copyFolder);
    ::close(std::exchange(m_folder, -1));
    ::close(std::exchange(m_copyFolder, -1));
    m_lock.release();
}

void PendingFile::replaceByRename(Placement placement, const struct stat &written)
{
    // Only the file itself can take bytes waiting in another folder; there is a file, so one
    // that must not be replaced stays.
    if (m_inOwnFolder)
        fail(placement == Placement::keepExisting ? EEXIST : EACCES);
    const fs::path name = m_target.filename();
    const int moved = placement == Placement::keepExisting
        ? moveWithoutReplacing(m_copyFolder, m_temporary.c_str(), m_folder, name.c_str())
        : (::renameat(m_copyFolder, m_temporary.c_str(), m_folder, name.c_str()) == 0 ? 0 : errno);
    if (moved != 0)
        fail(moved);
    m_temporary.clear();
    if (m_superseded) {
        m_superseded->remove();
        m_superseded.reset();
    }
    const bool unchanged = ::fstat(m_file, &m_placed) == 0 && m_placed.st_size == written.st_size
        && m_placed.st_mtim.tv_sec == written.st_mtim.tv_sec && m_placed.st_mtim.tv_nsec == written.st_mtim.tv_nsec;
    if (!unchanged)
        m_placed = written;
}

// The copy takes a name the user can find before the first byte of the file changes, and
// reaches the disk with it: a save ended at any moment after leaves it whole beside the file.
// Numbered when taken, never in place of another file.
void PendingFile::showCopy(int target)
{
    for (int number = 1; number <= KeptCopies::mostNumbers; ++number) {
        const std::string visible = KeptCopies::name(m_target.filename(), number);
        // The file leads to the name before the copy takes it, so that no moment leaves the copy
        // named but the file unmarked. A mark for a name another file has, or left by a save
        // ended before the rename, leads nowhere: the copy is told by its inode.
        markTarget(target, visible);
        const int moved = moveWithoutReplacing(m_copyFolder, m_temporary.c_str(), m_copyFolder, visible.c_str());
        if (moved == EEXIST)
            continue;
        if (moved != 0) {
            unmarkTarget(target);
            fail(moved);
        }
        m_temporary = visible;
        m_copyShown = true;
        if (::fsync(m_copyFolder) != 0 || (m_marked && ::fsync(target) != 0)) {
            const int error = errno;
            unmarkTarget(target);
            fail(error);
        }
        return;
    }
    unmarkTarget(target);
    fail(EEXIST);
}

// The held file, while it is still the one at the path: another program may have put a new
// file there since the caller looked, and what it holds was never weighed.
int PendingFile::targetForWriting()
{
    struct stat held {};
    struct stat now {};
    if (m_lock.descriptor() < 0)
        fail(EACCES); // the user may not write it: refused before here
    if (::fstat(m_lock.descriptor(), &held) != 0 || ::stat(m_target.c_str(), &now) != 0 || held.st_dev != now.st_dev
        || held.st_ino != now.st_ino)
        fail(replacedMeanwhile);
    return m_lock.descriptor();
}

// Before its first byte changes the file names its copy, `name` in the copy's folder, and whose
// it is, for everyone who opens it, should the save not finish. Where the disk keeps no such
// marks, the copy's name beside the file must do.
void PendingFile::markTarget(int target, const std::string &name)
{
    if (!m_previousRead) {
        std::string previous;
        if (readAttribute(m_target, KeptCopies::markAttribute, previous) == 0)
            m_previousMark = previous;
        m_previousRead = true;
    }
    std::error_code unknown;
    const fs::path copy = fs::absolute(m_copyFolderPath / name, unknown);
    const std::string mark = KeptCopies::markFor(m_file, copy, m_previousMark);
    m_marked = ::fsetxattr(target, KeptCopies::markAttribute, mark.data(), mark.size(), 0) == 0;
    // No room for both: this copy's alone.
    if (!m_marked && m_previousMark) {
        const std::string alone = KeptCopies::markFor(m_file, copy, std::nullopt);
        m_marked = ::fsetxattr(target, KeptCopies::markAttribute, alone.data(), alone.size(), 0) == 0;
    }
}

// The file is as it was: it leads where it led before.
void PendingFile::unmarkTarget(int target)
{
    if (!m_marked)
        return;
    if (m_previousMark)
        ::fsetxattr(target, KeptCopies::markAttribute, m_previousMark->data(), m_previousMark->size(), 0);
    else
        ::fremovexattr(target, KeptCopies::markAttribute);
    m_marked = false;
}

// The old file itself takes the checked bytes: it keeps its owner, group, mode, list, every
// attribute and every name. Until its first byte is written, a failure leaves it whole.
void PendingFile::writeOver(const struct stat &written)
{
    const int target = targetForWriting();
    const off_t size = written.st_size;
    showCopy(target);
    // The new copy stands whole beside the file, and the file leads to it: an earlier one is
    // needless, and its room may be what the file needs.
    if (m_superseded) {
        m_superseded->remove();
        m_superseded.reset();
        m_supersededRemoved = true;
    }
    // Room for every byte first: a full disk is met while the old file is still whole.
    if (size > 0 && ::fallocate(target, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && isOutOfRoom(errno)) {
        const int error = errno;
        struct stat held {};
        const off_t allocated = ::fstat(target, &held) == 0 ? off_t(held.st_blocks) * 512 : 0;
        failWritingOver(target, FileWriteError::reasonFor(error) + roomWanted(target, {size - allocated}, error), false);
    }
    std::vector<char> buffer(size_t(std::min<off_t>(std::max<off_t>(size, 1), chunkBytes)));
    for (off_t at = 0; at < size;) {
        const size_t count = size_t(std::min<off_t>(off_t(buffer.size()), size - at));
        if (const int error = readAll(m_file, buffer.data(), count, at))
            failWritingOver(target, FileWriteError::reasonFor(error), at > 0);
        for (size_t done = 0; done < count;) {
            const ssize_t put = ::pwrite(target, buffer.data() + done, count - done, at);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                failWritingOver(target, FileWriteError::reasonFor(put < 0 ? errno : EIO), at > 0);
            done += size_t(put);
            at += put;
        }
    }
    if (::ftruncate(target, size) != 0 || ::fsync(target) != 0)
        failWritingOver(target, FileWriteError::reasonFor(errno), true);
    // Every byte read back: a program that writes without waiting for the hold would have
    // mixed its bytes with these.
    if (const int differs = matchesCopy(target, size); differs != 0)
        failWritingOver(target, differs < 0 ? writtenMeanwhile : FileWriteError::reasonFor(differs), true);
    if (::fstat(target, &m_placed) != 0)
        failWritingOver(target, FileWriteError::reasonFor(errno), true);
    if (m_placed.st_size != size)
        failWritingOver(target, writtenMeanwhile, true);
    const int second = ::dup(target);
    if (second < 0 || ::close(second) != 0)
        failWritingOver(target, FileWriteError::reasonFor(errno), true);
    // Whole and checked: the file leads nowhere else. Its change time moves with the mark.
    if (m_marked) {
        ::fremovexattr(target, KeptCopies::markAttribute);
        ::fstat(target, &m_placed);
    }
    ::unlinkat(m_copyFolder, m_temporary.c_str(), 0);
    m_temporary.clear();
}

// 0 when the file holds the copy's `size` bytes, -1 when it holds others, else the error. A
// file the saver may write but not read is taken on its size.
int PendingFile::matchesCopy(int target, off_t size)
{
    if (!m_lock.isReadable())
        return 0;
    std::vector<char> expected(size_t(std::min<off_t>(std::max<off_t>(size, 1), chunkBytes)));
    std::vector<char> found(expected.size());
    for (off_t at = 0; at < size;) {
        const size_t count = size_t(std::min<off_t>(off_t(expected.size()), size - at));
        if (const int error = readAll(m_file, expected.data(), count, at))
            return error;
        if (const int error = readAll(target, found.data(), count, at))
            return error == EIO ? -1 : error;
        if (std::memcmp(expected.data(), found.data(), count) != 0)
            return -1;
        at += off_t(count);
    }
    return 0;
}

void PendingFile::discard()
{
    if (m_file >= 0)
        ::close(std::exchange(m_file, -1));
    if (m_copyFolder >= 0) {
        if (!m_temporary.empty())
            ::unlinkat(m_copyFolder, m_temporary.c_str(), 0);
        ::close(std::exchange(m_copyFolder, -1));
    }
    if (m_folder >= 0)
        ::close(std::exchange(m_folder, -1));
    m_temporary.clear();
    m_lock.release();
}

void PendingFile::fail(int error)
{
    fail(FileWriteError::reasonFor(error));
}

// The file is as it was; where an earlier save left it torn, that save's copy still stands.
void PendingFile::fail(std::string reason, std::optional<struct stat> left)
{
    discard();
    struct stat status {};
    const bool earlierCopy = m_superseded && ::lstat(m_superseded->path.c_str(), &status) == 0
        && status.st_dev == m_superseded->device && status.st_ino == m_superseded->inode;
    throw FileWriteError(fileName(), reason, earlierCopy ? m_superseded : std::nullopt, left);
}

// A failure once the copy has its visible name. Once the old file was touched, or an earlier
// copy was let go for this one, the copy holds the one whole text and stays, and the error
// names it. The error gives the file as this save left it: reserving room moves its times.
void PendingFile::failWritingOver(int target, const std::string &reason, bool touched)
{
    const bool copyStays = touched || m_supersededRemoved;
    if (!copyStays)
        unmarkTarget(target);
    std::optional<struct stat> left(std::in_place);
    if (::fstat(target, &*left) != 0)
        left.reset();
    if (!copyStays)
        fail(reason, left);
    struct stat copy {};
    ::fstat(m_file, &copy);
    std::error_code unknown;
    // The whole path: a link may have led to another folder than the one the user chose.
    KeptCopy kept{fs::absolute(m_copyFolderPath / m_temporary, unknown), copy.st_dev, copy.st_ino};
    ::fsync(m_copyFolder);
    m_temporary.clear(); // not to be removed
    discard();
    throw FileWriteError(fileName(), reason, std::move(kept), left);
}

void PendingFile::write(const fs::path &target, std::string_view bytes, Placement placement)
{
    PendingFile file(target);
    file.append(bytes);
    file.commit(placement);
}
