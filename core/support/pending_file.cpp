#include "core/support/pending_file.h"

#include "core/support/identifiers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <stdio.h>
#include <string_view>
#include <sys/stat.h>
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

// Moves `from` to `to` within the folder only when `to` does not exist, atomically.
int moveWithoutReplacing(int folder, const char *from, const char *to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // File systems without the flag: a hard link also refuses to replace an existing name.
    if (::linkat(folder, from, folder, to, 0) != 0)
        return errno;
    ::unlinkat(folder, from, 0);
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

// An access list whose owning group's entry gives nothing: for a group the list was not
// written for.
std::string withoutGroupAccess(std::string list)
{
    constexpr size_t header = sizeof(posix_acl_xattr_header);
    constexpr size_t entry = sizeof(posix_acl_xattr_entry);
    for (size_t at = header; at + entry <= list.size(); at += entry) {
        // Little-endian on the wire: tag, permissions, id.
        const unsigned tag = (unsigned char)list[at] | unsigned((unsigned char)list[at + 1]) << 8;
        if (tag == ACL_GROUP_OBJ)
            list[at + 2] = list[at + 3] = 0;
    }
    return list;
}

} // namespace

PendingFile::PendingFile(const fs::path &target)
    : m_fileName(target.filename().string()), m_target(resolvedTarget(target))
{
    if (!m_target.has_filename())
        fail(EISDIR);
    const fs::path folder = m_target.has_parent_path() ? m_target.parent_path() : fs::path(".");
    m_folder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0)
        fail(errno);
    struct stat existing {};
    const bool replacing = ::stat(m_target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    // A hidden name of its own, never one the user could have chosen for a file of ours. The
    // copy of an existing file starts closed to all but its writer, and opens only as far as
    // the old file was: anyone who opened it earlier could read what is written later.
    for (int attempt = 0; m_file < 0; ++attempt) {
        m_temporary = ".vantrel-" + makeUUID() + ".part";
        m_file = ::openat(m_folder, m_temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC,
                          replacing ? 0600 : 0666);
        if (m_file < 0 && (errno != EEXIST || attempt == 8)) {
            const int error = errno;
            m_temporary.clear(); // not ours to remove
            fail(error);
        }
    }
    // The rename needs only the folder's permission: a file the user may not write (made
    // read-only, someone else's, or immutable) is refused as writing into it would be. Asked
    // once the folder has taken the new file: a folder closed to the user is what to mend first.
    if (::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM))
        fail(readOnlyFile);
    if (!replacing)
        return;
    keepAccessOf(existing);
    const bool attributesKept = keepAttributesOf(m_target);
    // What the saver could give the new file is what it has now.
    struct stat copy {};
    if (::fstat(m_file, &copy) != 0)
        fail(errno);
    m_overwrite = !attributesKept || existing.st_nlink > 1 || copy.st_uid != existing.st_uid
        || copy.st_gid != existing.st_gid || (copy.st_mode & 07777) != (existing.st_mode & 07777);
}

// A document shared through its group or an access list stays shared as it was. The owner and
// group first, since a change of either may clear the set-ID bits. Only root may give the
// file to another owner, and only a group the saver belongs to can be kept: where either is
// lost, the old file is written over instead, and this copy only waits beside it, open to
// nobody the old file kept out.
void PendingFile::keepAccessOf(const struct stat &existing)
{
    const bool groupKept = ::fchown(m_file, existing.st_uid, existing.st_gid) == 0
        || ::fchown(m_file, uid_t(-1), existing.st_gid) == 0;
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
        ::fchmod(m_file, groupKept ? mode : mode & ~mode_t(S_IRWXG));
        return;
    }
    // The list sets the group and others' bits from its mask and entries, and a mode set
    // after it would set the mask: the mode goes first with only the owner's and special
    // bits, so that until the list is on, only the owner may open the file.
    ::fchmod(m_file, mode & ~mode_t(S_IRWXG | S_IRWXO));
    if (!groupKept)
        list = withoutGroupAccess(std::move(list));
    if (::fsetxattr(m_file, accessListName, list.data(), list.size(), 0) != 0)
        fail(accessListLost);
}

// The file's other extended attributes: labels, tags and notes other programs keep on it.
// Those that cannot be copied (one the saver may not read, a security label the saver may not
// set) make it false: the old file must stay. One that grants access and cannot be copied
// stops the save, since the temporary file would let in people the old file kept out.
bool PendingFile::keepAttributesOf(const fs::path &existing)
{
    std::vector<std::string> names;
    if (const int error = attributeNames(existing, names); error != 0 && error != ENOTSUP)
        fail(error);
    bool allCopied = true;
    for (const std::string &name : names) {
        if (name == accessListName || describesOldContent(name))
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

fs::path PendingFile::temporaryPath()
{
    m_writtenByPath = true;
    return m_target.parent_path() / m_temporary;
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
    // The rename, or the removal of the temporary file, reaches the disk with the folder.
    ::fsync(m_folder);
    ::close(std::exchange(m_folder, -1));
}

void PendingFile::replaceByRename(Placement placement, const struct stat &written)
{
    const fs::path name = m_target.filename();
    const int moved = placement == Placement::keepExisting
        ? moveWithoutReplacing(m_folder, m_temporary.c_str(), name.c_str())
        : (::renameat(m_folder, m_temporary.c_str(), m_folder, name.c_str()) == 0 ? 0 : errno);
    if (moved != 0)
        fail(moved);
    m_temporary.clear();
    const bool unchanged = ::fstat(m_file, &m_placed) == 0 && m_placed.st_size == written.st_size
        && m_placed.st_mtim.tv_sec == written.st_mtim.tv_sec && m_placed.st_mtim.tv_nsec == written.st_mtim.tv_nsec;
    if (!unchanged)
        m_placed = written;
}

// The old file itself takes the checked bytes: it keeps its owner, group, mode, list, every
// attribute and every name. Until its first byte is written, a failure leaves it whole.
void PendingFile::writeOver(const struct stat &written)
{
    const Descriptor file(::open(m_target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0)
        fail(errno);
    const off_t size = written.st_size;
    // Room for every byte first: a full disk is met while the old file is still whole.
    if (size > 0 && ::fallocate(file.fd, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && isOutOfRoom(errno))
        fail(errno);
    std::vector<char> buffer(size_t(std::min<off_t>(std::max<off_t>(size, 1), 1 << 20)));
    for (off_t at = 0; at < size;) {
        const ssize_t read = ::pread(m_file, buffer.data(), size_t(std::min<off_t>(off_t(buffer.size()), size - at)), at);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0) {
            const int error = read < 0 ? errno : EIO;
            if (at == 0)
                fail(error);
            failKeepingCopy(error);
        }
        if (const int error = writeAll(file.fd, std::string_view(buffer.data(), size_t(read))))
            failKeepingCopy(error);
        at += read;
    }
    if (::ftruncate(file.fd, size) != 0 || ::fsync(file.fd) != 0 || ::fstat(file.fd, &m_placed) != 0)
        failKeepingCopy(errno);
    if (m_placed.st_size != size)
        failKeepingCopy(EIO);
    const int second = ::dup(file.fd);
    if (second < 0 || ::close(second) != 0)
        failKeepingCopy(errno);
    ::unlinkat(m_folder, m_temporary.c_str(), 0);
    m_temporary.clear();
}

void PendingFile::discard()
{
    if (m_file >= 0)
        ::close(std::exchange(m_file, -1));
    if (m_folder >= 0) {
        if (!m_temporary.empty())
            ::unlinkat(m_folder, m_temporary.c_str(), 0);
        ::close(std::exchange(m_folder, -1));
    }
    m_temporary.clear();
}

void PendingFile::fail(int error)
{
    discard();
    throw FileWriteError(fileName(), error);
}

void PendingFile::fail(std::string reason)
{
    discard();
    throw FileWriteError(fileName(), std::move(reason));
}

// The old file was partly written over: the temporary file holds the one whole copy of the
// new content. It stays, under a name beside the file's that file dialogs show (they hide
// names starting with a dot), and never in place of another file.
void PendingFile::failKeepingCopy(int error)
{
    const fs::path name = m_target.filename();
    fs::path kept = m_temporary;
    for (int number = 1; number <= 9; ++number) {
        const std::string suffix = number == 1 ? " (new contents)" : " (new contents " + std::to_string(number) + ")";
        const fs::path visible = name.stem().string() + suffix + name.extension().string();
        const int moved = moveWithoutReplacing(m_folder, m_temporary.c_str(), visible.c_str());
        if (moved == 0)
            kept = visible;
        if (moved != EEXIST)
            break;
    }
    ::fsync(m_folder);
    m_temporary.clear(); // not to be removed
    discard();
    // The whole path: a link may have led to another folder than the one the user chose.
    std::error_code unknown;
    const fs::path shown = fs::absolute(m_target, unknown).parent_path() / kept;
    throw FileWriteError(fileName(), FileWriteError::reasonFor(error)
                                         + ". It may be incomplete now; its new contents are whole in \u201c"
                                         + shown.string() + "\u201d");
}

void PendingFile::write(const fs::path &target, std::string_view bytes, Placement placement)
{
    PendingFile file(target);
    file.append(bytes);
    file.commit(placement);
}
