#include "core/support/pending_file.h"

#include "core/support/identifiers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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
    // The rename needs only the folder's permission: a file the user may not write (made
    // read-only, or someone else's) is refused as writing into it would be.
    if (::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
        fail(EACCES);
    // A hidden name of its own, never one the user could have chosen for a file of ours.
    for (int attempt = 0; m_file < 0; ++attempt) {
        m_temporary = ".vantrel-" + makeUUID() + ".part";
        m_file = ::openat(m_folder, m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_file < 0 && (errno != EEXIST || attempt == 8)) {
            const int error = errno;
            m_temporary.clear(); // not ours to remove
            fail(error);
        }
    }
    // A replaced file keeps its group and who may read it: a document shared through its
    // group stays writable by the group. The group first, since a change of group may clear
    // the set-group-ID bit. Only a group the saver belongs to can be kept (or any, as root).
    struct stat existing {};
    if (::stat(m_target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        [[maybe_unused]] const int kept = ::fchown(m_file, uid_t(-1), existing.st_gid);
        ::fchmod(m_file, existing.st_mode & 07777);
    }
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
    const int file = std::exchange(m_file, -1);
    if (::close(file) != 0)
        fail(errno);
    const fs::path name = m_target.filename();
    const int moved = placement == Placement::keepExisting
        ? moveWithoutReplacing(m_folder, m_temporary.c_str(), name.c_str())
        : (::renameat(m_folder, m_temporary.c_str(), m_folder, name.c_str()) == 0 ? 0 : errno);
    if (moved != 0)
        fail(moved);
    m_temporary.clear();
    // The rename itself reaches the disk with the folder.
    ::fsync(m_folder);
    ::close(std::exchange(m_folder, -1));
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

void PendingFile::write(const fs::path &target, std::string_view bytes, Placement placement)
{
    PendingFile file(target);
    file.append(bytes);
    file.commit(placement);
}
