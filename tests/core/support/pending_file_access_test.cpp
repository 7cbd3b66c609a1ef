// A replaced file keeps who may use it: its access list, mask included, and its other
// attributes; and a save never lets in anyone the old file kept out.
#include "core/support/pending_file.h"

#include "access_list.h"
#include "error_of.h"
#include "write_failure.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

// A list the new file cannot carry (it names a group the saver's namespace cannot) stays on
// the old file, which takes the bytes itself.
TEST(PendingFileAccess, AListThatCannotBeCopiedStaysOnTheFileWrittenOver)
{
    const Outcome outcome = attempt(Cause::unkeepableAccessList, "doc.json", "old content that must stay\n", 0,
                                    [](const std::string &target) {
                                        const std::optional<std::string> before = AccessList::of(target);
                                        const std::string error =
                                            errorOf([&] { PendingFile::write(target, "new content"); });
                                        return error + (AccessList::of(target) == before ? "" : " [the list changed]");
                                    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "");
    EXPECT_EQ(outcome.targetSize, std::string("new content").size());
    EXPECT_EQ(outcome.files, std::vector<std::string>{"doc.json"});
}
