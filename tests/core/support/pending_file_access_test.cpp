// A replaced file keeps who may use it: its access list, mask included, and its other
// attributes; and a save never lets in anyone the old file kept out.
#include "core/support/pending_file.h"

#include "access_list.h"
#include "error_of.h"
#include "write_failure.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace WriteFailure;

namespace {

struct Folder {
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "vantrel-access-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(const std::string &name) const { return (path / name).string(); }
    fs::path path;
};

struct stat statusOf(const std::string &path)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status;
}

std::string attributeOf(const std::string &path, const char *name)
{
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? "(none)" : std::string(value, size_t(size));
}

} // namespace

TEST(PendingFileAccess, ASharedDocumentKeepsItsAccessListAndAttributes)
{
    Folder folder;
    const std::string target = folder / "doc.json";
    std::ofstream(target) << "old";
    // The owner and a colleague may write, the group only read: the mode shows the mask.
    const std::string shared = "user::rw- user:4321:rw- group::r-- mask::rw- other::---";
    if (const int error = AccessList::set(target, shared))
        GTEST_SKIP() << "no access lists in " << folder.path << ": " << std::strerror(error);
    const bool hasNote = ::setxattr(target.c_str(), "user.note", "kept", 4, 0) == 0;
    const ino_t before = statusOf(target).st_ino;

    PendingFile::write(target, "saved by the owner");
    EXPECT_NE(statusOf(target).st_ino, before) << "written in place, not replaced";
    EXPECT_EQ(AccessList::of(target), shared);
    EXPECT_EQ(statusOf(target).st_mode & 07777, 0660u);
    if (hasNote) {
        EXPECT_EQ(attributeOf(target, "user.note"), "kept");
    }
}

// A file without a list of its own gets none from a list the folder was given later.
TEST(PendingFileAccess, ASaveAddsNoListTheOldFileDidNotHave)
{
    Folder folder;
    const std::string target = folder / "doc.json";
    std::ofstream(target) << "old";
    ::chmod(target.c_str(), 0640);
    if (const int error = AccessList::set(folder.path.string(), "user::rwx user:4321:rw- group::r-- mask::rwx other::---",
                                          AccessList::defaultAttribute))
        GTEST_SKIP() << "no access lists in " << folder.path << ": " << std::strerror(error);

    PendingFile::write(target, "saved");
    EXPECT_EQ(AccessList::of(target), std::nullopt);
    EXPECT_EQ(statusOf(target).st_mode & 07777, 0640u);
    // A new file takes the folder's list, as every file made there does.
    PendingFile::write(folder / "new.json", "new");
    EXPECT_EQ(AccessList::of(folder / "new.json"), "user::rw- user:4321:rw- group::r-- mask::rw- other::---");
}

// The old file stays as it was, list and all, when the new one cannot carry its list.
TEST(PendingFileAccess, AListThatCannotBeKeptStopsTheSave)
{
    expectOldFileKept(Cause::unkeepableAccessList, "doc.json", [](const std::string &target) {
        return errorOf([&] { PendingFile::write(target, "new content"); });
    });
}

// A colleague given write access by the list, but outside the file's group, saves: the new
// file is theirs and in their own group, which the old group's entry must not reach.
TEST(PendingFileAccess, AGroupThatCannotBeKeptGetsNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can set up a file of another owner and group";
    const uid_t colleague = 65534;
    const Outcome outcome = attempt(Cause::none, "doc.json", "old", 0, [&](const std::string &target) -> std::string {
        ::chmod(fs::path(target).parent_path().c_str(), 0777);
        if (::chown(target.c_str(), 0, 4242) != 0)
            return "cannot run here: no chown";
        const std::string list = "user::rw- user:" + std::to_string(colleague) + ":rw- group::rw- mask::rw- other::---";
        if (const int error = AccessList::set(target, list))
            return std::string("cannot run here: no access lists: ") + std::strerror(error);
        if (::setgroups(0, nullptr) != 0 || ::setgid(colleague) != 0 || ::setuid(colleague) != 0)
            return "cannot run here: no unprivileged user";
        if (std::string error = errorOf([&] { PendingFile::write(target, "saved by a colleague"); }); !error.empty())
            return error;
        const struct stat saved = statusOf(target);
        return std::to_string(saved.st_uid) + ":" + std::to_string(saved.st_gid) + " "
            + AccessList::of(target).value_or("(no list)");
    });
    if (outcome.reported.starts_with("cannot run here: "))
        GTEST_SKIP() << outcome.reported;
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "65534:65534 user::rw- user:65534:rw- group::--- mask::rw- other::---");
}
