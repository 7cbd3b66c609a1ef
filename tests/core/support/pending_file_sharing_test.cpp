// Whoever saves a shared document, everyone keeps exactly the access they had: its owner,
// group, mode, access list, attributes and names stay. Where a rename would lose any of them
// the bytes are written over the old file, and no failure leaves the document without a whole
// copy.
#include "core/support/pending_file.h"

#include "access_list.h"
#include "error_of.h"
#include "write_failure.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <grp.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace WriteFailure;

namespace {

struct User {
    const char *name;
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
};

const User owner{"owner", 5555, 5555, {4321}};
const User colleague{"colleague", 65534, 65534, {}};
const User member{"member", 7777, 7777, {4321}};
const User colleaguesGroup{"colleague's group", 9999, 9999, {65534}};
const User stranger{"stranger", 8888, 8888, {}};
const User root{"root", 0, 0, {}};

const std::string newBytes(10 * 1024, 'n');

// Runs `work` with the ids of `user`, then is root again: the saved id stays root's. Empty
// when done, else why the ids could not be taken.
template <typename Work>
std::string as(const User &user, Work &&work)
{
    if (::setgroups(user.groups.size(), user.groups.data()) != 0 || ::setegid(user.gid) != 0 || ::seteuid(user.uid) != 0)
        return cannotRun + "no ids of another user: " + std::strerror(errno);
    work();
    if (::seteuid(0) != 0 || ::setegid(0) != 0 || ::setgroups(0, nullptr) != 0)
        return cannotRun + "root's ids could not be taken back";
    return "";
}

std::string attributeOf(const std::string &path, const char *name)
{
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? "(none)" : std::string(value, size_t(size));
}

// Who may read and write the file, tried by each user: "owner rw, colleague rw, member r-, …".
std::string accessOf(const std::string &path)
{
    std::string text;
    for (const User *user : {&owner, &colleague, &member, &colleaguesGroup, &stranger}) {
        std::string rights = "--";
        const std::string refused = as(*user, [&] {
            for (const auto &[flag, letter] : {std::pair{O_RDONLY, 'r'}, std::pair{O_WRONLY, 'w'}}) {
                const int file = ::open(path.c_str(), flag | O_CLOEXEC);
                if (file >= 0)
                    rights[flag == O_RDONLY ? 0 : 1] = letter;
                ::close(file);
            }
        });
        text += (text.empty() ? "" : ", ") + std::string(user->name) + " " + (refused.empty() ? rights : refused);
    }
    return text;
}

// Everything that decides who may use the file, and what other programs keep on it.
std::string describe(const std::string &path)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", unsigned(status.st_mode & 07777));
    return std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid) + " " + mode + " "
        + std::to_string(status.st_nlink) + " names, " + AccessList::of(path).value_or("(no list)") + ", note "
        + attributeOf(path, "user.note") + ", label " + attributeOf(path, "trusted.label") + "; " + accessOf(path);
}

// Gives the file in the folder everyone may write to its owner and group, with an access list
// or only a mode, and the attributes a desktop and an administrator put on it.
std::string share(const std::string &target, uid_t fileOwner, gid_t group, mode_t mode, const char *list)
{
    if (::chmod(fs::path(target).parent_path().c_str(), 0777) != 0 || ::chown(target.c_str(), fileOwner, group) != 0
        || ::chmod(target.c_str(), mode) != 0)
        return cannotRun + "no chown";
    if (list) {
        if (const int error = AccessList::set(target, list))
            return cannotRun + "no access lists: " + std::strerror(error);
    }
    ::setxattr(target.c_str(), "user.note", "kept", 4, 0);
    ::setxattr(target.c_str(), "trusted.label", "audited", 7, 0);
    return "";
}

const char *const sharedList = "user::rw- user:65534:rw- group::r-- mask::rw- other::---";

struct Case {
    const char *name;
    uid_t fileOwner;
    gid_t group;
    mode_t mode;
    const char *list;
    const User &saver;
    bool secondName;
    bool labelled; // with an administrator's trusted attribute
    const char *path; // the way the save is expected to take
};

} // namespace

TEST(PendingFileSharing, EveryoneKeepsTheirAccessWhoeverSaves)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make files of other users";
    const Case cases[] = {
        // The owner cannot read an administrator's trusted attribute, so cannot tell it is
        // there: only the owner's own save loses it, and it has none here.
        {"the owner", 5555, 4321, 0660, sharedList, owner, false, false, "renamed"},
        {"a colleague named in the list", 5555, 4321, 0660, sharedList, colleague, false, true, "written over"},
        {"an owner outside the file's group", 65534, 4321, 0640, nullptr, colleague, false, true, "written over"},
        {"root", 5555, 4321, 0660, sharedList, root, false, true, "renamed"},
        {"the owner, with a second name", 5555, 4321, 0660, sharedList, owner, true, true, "written over"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = attempt(Cause::none, "doc.json", "old", 0, [&](const std::string &target) -> std::string {
            if (std::string refused = share(target, c.fileOwner, c.group, c.mode, c.list); !refused.empty())
                return refused;
            if (!c.labelled)
                ::removexattr(target.c_str(), "trusted.label");
            const std::string other = fs::path(target).replace_filename("other.json");
            if (c.secondName && ::link(target.c_str(), other.c_str()) != 0)
                return cannotRun + "no hard links";
            const std::string before = describe(target);
            struct stat old {};
            ::stat(target.c_str(), &old);
            std::string error;
            if (std::string refused = as(c.saver, [&] { error = errorOf([&] { PendingFile::write(target, newBytes); }); });
                !refused.empty())
                return refused;
            if (!error.empty())
                return error;
            struct stat saved {};
            ::stat(target.c_str(), &saved);
            std::string report = saved.st_ino == old.st_ino ? "written over" : "renamed";
            if (const std::string after = describe(target); after != before)
                report += "\n   was: " + before + "\n   now: " + after;
            if (Detail::readText(target) != newBytes || (c.secondName && Detail::readText(other) != newBytes))
                report += "\n   the new content is not under every name";
            return report;
        });
        if (outcome.reported.starts_with(cannotRun)) {
            std::cout << "[ skipped  ] " << c.name << ": " << outcome.reported << "\n";
            continue;
        }
        EXPECT_EQ(outcome.childFailure, "");
        EXPECT_EQ(outcome.reported, c.path);
    }
}

// While a colleague's save is under way, the copy beside the file is theirs alone: the old
// file's group is not theirs to give, and its entry must not reach their own group.
TEST(PendingFileSharing, TheCopyBesideLetsInNobodyTheFileKeptOut)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make files of other users";
    const Outcome outcome = attempt(Cause::none, "doc.json", "old", 0, [&](const std::string &target) -> std::string {
        if (std::string refused = share(target, 5555, 4321, 0660, "user::rw- user:65534:rw- group::rw- mask::rw- other::---");
            !refused.empty())
            return refused;
        std::optional<PendingFile> pending;
        if (std::string refused = as(colleague, [&] { pending.emplace(target); }); !refused.empty())
            return refused;
        const std::string copy = describe(pending->temporaryPath());
        pending->discard();
        return copy;
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "65534:65534 0660 1 names, user::rw- user:65534:rw- group::--- mask::rw- other::---, "
                                "note kept, label (none); owner --, colleague rw, member --, colleague's group --, "
                                "stranger --");
}

namespace {

const std::string oldBytes = "old content that must stay\n";

// A second name makes anyone's save write over the file.
std::string linkBeside(const std::string &target)
{
    const std::string other = fs::path(target).replace_filename("other.json");
    return ::link(target.c_str(), other.c_str()) == 0 ? "" : cannotRun + "no hard links";
}

} // namespace

// Room for the copy beside the file but not for the new content over it as well: the room is
// asked for before the first byte goes over the old file.
TEST(PendingFileSharing, AFullDiskLeavesTheOldDocumentWhole)
{
    const Outcome outcome = attempt(Cause::fullDisk, "doc.json", oldBytes, 16 * 1024, [](const std::string &target) {
        if (std::string refused = linkBeside(target); !refused.empty())
            return refused;
        return errorOf([&] { PendingFile::write(target, newBytes); });
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "The file “doc.json” could not be saved: the disk is full.");
    EXPECT_TRUE(outcome.targetKept);
    EXPECT_EQ(outcome.files, (std::vector<std::string>{"doc.json", "other.json"}));
}

// A file-size limit met half-way over the old file, on a disk that reserves no room ahead:
// the whole new content stays beside it, under a name a file dialog shows, and the message
// gives it.
TEST(PendingFileSharing, AFailureHalfWayKeepsTheWholeCopyAndNamesIt)
{
    const Outcome outcome = attempt(Cause::none, "doc.json", oldBytes, 0, [](const std::string &target) {
        const std::string folder = fs::path(target).parent_path();
        if (std::optional<std::string> refused = Detail::mountSmallDisk(folder, "ramfs"))
            return cannotRun + *refused;
        Detail::writeText(target, oldBytes);
        if (std::string refused = linkBeside(target); !refused.empty())
            return refused;
        std::string error = errorOf([&] {
            PendingFile file(target);
            file.append(newBytes);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 4096;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            file.commit();
        });
        if (const size_t at = error.find(folder); at != std::string::npos)
            error.replace(at, folder.size(), "<folder>");
        const bool whole = Detail::readText(folder + "/doc (new contents).json") == newBytes;
        return error + (whole ? "" : " [the copy is not whole]");
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "The file “doc.json” could not be saved: the file is larger than this disk or system "
                                "allows. It may be incomplete now; its new contents are whole in “<folder>/doc (new "
                                "contents).json”.");
    EXPECT_EQ(outcome.targetSize, 4096u) << "not written over half-way";
    EXPECT_EQ(outcome.files, (std::vector<std::string>{"doc (new contents).json", "doc.json", "other.json"}));
}
