// Whoever saves a shared document, everyone keeps exactly the access they had: its owner,
// group, mode, access list, attributes and names stay. Where a rename would lose any of them
// the bytes are written over the old file, and no failure leaves the document without a whole
// copy.
#include "core/support/pending_file.h"

#include "access_list.h"
#include "error_of.h"
#include "write_failure.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <optional>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
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
// The group may write too: a second saver.
const char *const groupWritesList = "user::rw- user:65534:rw- group::rw- mask::rw- other::---";
// The file's group is kept out while everyone else may read.
const char *const othersReadList = "user::rw- user:65534:rw- group::--- mask::rw- other::r--";

const User ownerAlone{"the owner outside the group", 5555, 5555, {}};

// What happens besides the save itself.
enum class Twist {
    none,
    // The saver is killed by a signal after its first write over the file.
    killed,
    // The same, with "doc (new contents).json" already someone else's.
    killedWithNameTaken,
    // The same twice over, and someone else's "doc (new contents).json" touched after.
    killedTwiceBesideAnother,
    // Killed once the copy is named, before the first byte of the file changes.
    killedBeforeWritingOver,
    // Killed once writing over, then a second save killed once the file names its copy, before
    // the copy takes that name.
    killedThenKilledBeforeNaming,
    // Killed once writing over, beside a hidden file an earlier version left; hidden files are
    // then cleared as an hour later.
    killedBesideALeftover,
    // A member of the group saves another text at the same moment.
    secondSaver,
    // Writes past 4 KB fail, and nothing but the save keeps the signal from ending the program.
    fileSizeLimit,
    // The saver may write the file but not its folder.
    closedFolder,
    // The same, and writes past 4 KB fail once the copy is written.
    closedFolderHalfWay,
    // The same, where the saver's own folder would be under a file.
    closedFolderOwnFolderUnderAFile,
    // The same, where the saver's own folder would be in one closed to them.
    closedFolderOwnFolderClosed,
};

struct Case {
    const char *name;
    uid_t fileOwner;
    gid_t group;
    mode_t mode;
    const char *list;
    const User &saver;
    bool secondName;
    bool labelled; // with an administrator's trusted attribute
    bool longerBefore; // the old text is longer than the new one
    Twist twist;
    const char *expected; // the way the save took, and what it left
};

// Runs `work` in a child process and gives back what it reported, or how it ended.
template <typename Work>
std::string inChild(Work &&work)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const std::string report = work();
        [[maybe_unused]] const ssize_t sent = ::write(channel[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, size_t(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : report;
}

// Ends this process at its next rename that refuses to replace, as a kill then would: a save
// writing over a file names its copy so. False where the system keeps no filters of system calls.
bool killAtNamingTheCopy()
{
    return WriteFailure::filterSystemCall(__NR_renameat2, std::nullopt, SECCOMP_RET_KILL_PROCESS);
}

void limitFileSize(rlim_t bytes)
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

bool sameStatus(const struct stat &a, const struct stat &b)
{
    return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec
        && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec
        && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Whether a lock on the file with inode `inode` waits for another, as /proc/locks shows it.
bool aSaveWaits(ino_t inode)
{
    const std::string locks = Detail::readText("/proc/locks");
    const std::string file = ":" + std::to_string(inode) + " ";
    for (size_t at = 0; (at = locks.find("->", at)) != std::string::npos; ++at) {
        const size_t end = locks.find('\n', at);
        if (locks.substr(at, end - at).find(file) != std::string::npos)
            return true;
    }
    return false;
}

// Who besides `saver` may read or write the file: "nobody else", or "member r-, …".
std::string othersAllowedIn(const std::string &path, const User &saver)
{
    std::string text;
    for (const User *user : {&owner, &colleague, &member, &colleaguesGroup, &stranger}) {
        if (user->uid == saver.uid)
            continue;
        std::string rights = "--";
        as(*user, [&] {
            for (const auto &[flag, letter] : {std::pair{O_RDONLY, 'r'}, std::pair{O_WRONLY, 'w'}}) {
                const int file = ::open(path.c_str(), flag | O_CLOEXEC);
                if (file >= 0)
                    rights[flag == O_RDONLY ? 0 : 1] = letter;
                ::close(file);
            }
        });
        if (rights != "--")
            text += (text.empty() ? "" : ", ") + std::string(user->name) + " " + rights;
    }
    return text.empty() ? "nobody else" : text;
}

// Runs `step` with the ids of `user`: what it threw, else what it said.
template <typename Step>
std::string stepAs(const User &user, Step &&step)
{
    std::string said;
    std::string error;
    if (std::string refused = as(user, [&] { error = errorOf([&] { said = step(); }); }); !refused.empty())
        return refused;
    return error.empty() ? said : error;
}

// The saver and a member of the group save at once: the saver holds the file first, the member
// starts while it does, and the saver goes on once the member waits (or has done). Each says
// whether it saved or found the file changed since it was read.
std::string twoSaversAtOnce(const User &saver, const std::string &target)
{
    struct stat read {};
    ::stat(target.c_str(), &read);
    const std::string otherText(newBytes.size(), 'm');
    int ready[2], go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0)
        return "no pipes";
    const auto save = [&](const User &user, const std::string &text, bool first) {
        return std::string(user.name) + " " + stepAs(user, [&]() -> std::string {
            PendingFile file(target);
            char signal = 0;
            if (first && (::write(ready[1], "!", 1) != 1 || ::read(go[0], &signal, 1) != 1))
                return "lost its signal";
            if (!file.targetStatus() || !sameStatus(*file.targetStatus(), read))
                return "found it changed";
            file.append(text);
            file.commit();
            return "saved";
        });
    };
    std::string first, second;
    std::thread firstSave([&] { first = inChild([&] { return save(saver, newBytes, true); }); });
    char signal = 0;
    if (::read(ready[0], &signal, 1) == 1) {
        std::thread secondSave([&] { second = inChild([&] { return save(member, otherText, false); }); });
        for (int wait = 0; wait < 400 && !aSaveWaits(read.st_ino) && second.empty(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        [[maybe_unused]] const ssize_t sent = ::write(go[1], "!", 1);
        secondSave.join();
    }
    ::close(go[1]);
    firstSave.join();
    for (const int end : {ready[0], ready[1], go[0]})
        ::close(end);
    return first + ", " + second;
}

// Saves as `c.saver` with the twist, in a child that may be killed: how it went, and who else
// could open the copy while it waited.
std::string saveWithTwist(const Case &c, const std::string &target)
{
    if (c.twist == Twist::secondSaver)
        return twoSaversAtOnce(c.saver, target);
    if (c.twist == Twist::killedThenKilledBeforeNaming) {
        Case once = c;
        once.twist = Twist::killed;
        const std::string first = saveWithTwist(once, target);
        const std::string second = inChild([&] {
            std::optional<PendingFile> file;
            if (std::string error = stepAs(c.saver, [&] { file.emplace(target); return ""; }); !error.empty())
                return error;
            if (!killAtNamingTheCopy())
                return cannotRun + "no system call filters";
            return stepAs(c.saver, [&] {
                file->append(newBytes);
                file->commit();
                return "saved";
            });
        });
        return second.starts_with(cannotRun) ? second : first + ", then " + second;
    }
    if (c.twist == Twist::killedTwiceBesideAnother) {
        Case once = c;
        once.twist = Twist::killed;
        const std::string first = saveWithTwist(once, target);
        const std::string second = saveWithTwist(once, target);
        const std::string other = fs::path(target).replace_filename("doc (new contents).json");
        ::utimensat(AT_FDCWD, other.c_str(), nullptr, 0);
        return first + ", then " + second;
    }
    return inChild([&] {
        // As the system sets it: only the save may keep a file-size limit from ending the program.
        std::signal(SIGXFSZ, SIG_DFL);
        if (c.twist == Twist::fileSizeLimit)
            limitFileSize(4096);
        std::optional<PendingFile> file;
        if (std::string error = stepAs(c.saver, [&] { file.emplace(target); return ""; }); !error.empty())
            return error;
        // Open to anyone else from the start, the copy could be read after: it is looked at now.
        const std::string copy = "copy open to " + othersAllowedIn(file->temporaryPath(), c.saver);
        const std::string said = stepAs(c.saver, [&] {
            file->append(newBytes);
            // The limit's signal ends the save at its second write over the file, or with no
            // room at all, at its first.
            const bool killed = c.twist == Twist::killed || c.twist == Twist::killedWithNameTaken
                || c.twist == Twist::killedBeforeWritingOver || c.twist == Twist::killedBesideALeftover;
            if (killed)
                std::signal(SIGXFSZ, SIG_DFL);
            if (killed || c.twist == Twist::closedFolderHalfWay)
                limitFileSize(c.twist == Twist::killedBeforeWritingOver ? 0 : 4096);
            file->commit();
            return "";
        });
        return said.empty() ? copy : said + " | " + copy;
    });
}

} // namespace

// Every way a save can end keeps the document whole or its whole text findable, and leaves who
// may read and write it as it was.
TEST(PendingFileSharing, EveryoneKeepsTheirAccessWhoeverSaves)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make files of other users";
    const Case cases[] = {
        // The owner cannot read an administrator's trusted attribute, so cannot tell it is
        // there: only the owner's own save loses it, and it has none here.
        {"the owner", 5555, 4321, 0660, sharedList, owner, false, false, false, Twist::none,
         "copy open to colleague rw, member r- | renamed"},
        {"a colleague named in the list", 5555, 4321, 0660, sharedList, colleague, false, true, false, Twist::none,
         "copy open to owner r- | written over"},
        // The colleague owns the file: the copy is theirs alone.
        {"an owner outside the file's group", 65534, 4321, 0640, nullptr, colleague, false, true, false, Twist::none,
         "copy open to nobody else | written over"},
        {"root", 5555, 4321, 0660, sharedList, root, false, true, false, Twist::none,
         "copy open to owner rw, colleague rw, member r- | renamed"},
        {"the owner, with a second name", 5555, 4321, 0660, sharedList, owner, true, true, false, Twist::none,
         "copy open to nobody else | written over"},
        {"the owner outside the group, with a list", 5555, 4321, 0660, sharedList, ownerAlone, false, false, false,
         Twist::none, "copy open to nobody else | written over"},
        // The copy is the colleague's and the owner's: a copy open to others would let the group in.
        {"a group kept out while others read", 5555, 4321, 0664, othersReadList, colleague, false, true, false,
         Twist::none, "copy open to owner r- | written over"},
        // The file is cut to the new length.
        {"a shorter text over a longer one", 5555, 4321, 0660, sharedList, colleague, false, true, true, Twist::none,
         "copy open to owner r- | written over"},
        // The file names the colleague's copy, which its owner may open.
        {"killed once writing over", 5555, 4321, 0660, sharedList, colleague, false, true, true, Twist::killed,
         "killed by signal 25 | written over | torn | marked doc (new contents).json by nobody | owner reads it whole | "
         "left doc (new contents).json 65534 0640 whole"},
        // Only copies of this file are named, the newer first; someone else's of that name never,
        // even when it was touched last.
        {"killed, the copy's name taken", 5555, 4321, 0660, sharedList, colleague, false, true, false,
         Twist::killedWithNameTaken,
         "killed by signal 25 | written over | torn | marked doc (new contents 2).json by nobody | owner reads it whole | "
         "left doc (new contents).json 5555 0644 | left doc (new contents 2).json 65534 0640 whole"},
        {"killed twice, the copy's name taken", 5555, 4321, 0660, sharedList, colleague, false, true, false,
         Twist::killedTwiceBesideAnother,
         "killed by signal 25, then killed by signal 25 | written over | torn | marked doc (new contents 3).json by "
         "nobody | found doc (new contents 2).json by nobody | owner reads it whole | left doc (new contents 3).json "
         "65534 0640 whole | left doc (new contents).json 5555 0644 | left doc (new contents 2).json 65534 0640 whole"},
        // The file is still whole and old, and leads to the newer text.
        {"killed before writing over", 5555, 4321, 0660, sharedList, colleague, false, true, true,
         Twist::killedBeforeWritingOver,
         "killed by signal 25 | written over | old text | marked doc (new contents).json by nobody | owner reads it "
         "whole | left doc (new contents).json 65534 0640 whole"},
        // Until the second save's copy has the name the file gives, the file leads to the first.
        {"killed, then killed before naming its copy", 5555, 4321, 0660, sharedList, colleague, false, true, true,
         Twist::killedThenKilledBeforeNaming,
         "killed by signal 25, then killed by signal 31 | written over | torn | marked doc (new contents).json by "
         "nobody | owner reads it whole | left (hidden) 65534 0640 whole | left doc (new contents).json 65534 0640 "
         "whole"},
        // A hidden file beside a torn document may hold its only whole text: it stays.
        {"killed beside a hidden file of an earlier version", 5555, 4321, 0660, sharedList, colleague, false, true,
         true, Twist::killedBesideALeftover,
         "killed by signal 25 | written over | torn | marked doc (new contents).json by nobody | owner reads it whole | "
         "left (hidden) 0 0644 whole | left doc (new contents).json 65534 0640 whole"},
        // The member waits for the colleague's save, then finds the file changed and writes nothing.
        {"two savers at once", 5555, 4321, 0660, groupWritesList, colleague, false, true, false, Twist::secondSaver,
         "colleague saved, member found it changed | written over"},
        {"a file-size limit", 5555, 4321, 0660, sharedList, colleague, false, true, false, Twist::fileSizeLimit,
         "The file “doc.json” could not be saved: the file is larger than this disk or system allows. | copy open to "
         "owner r- | written over | old text"},
        // The copy waits in the colleague's own folder, and goes with the save. The file names it
        // to its owner, who cannot open it there but knows whom to ask.
        {"a folder the saver cannot write", 5555, 4321, 0660, sharedList, colleague, false, true, false,
         Twist::closedFolder, "copy open to nobody else | written over"},
        {"a folder the saver cannot write, failing half-way", 5555, 4321, 0660, sharedList, colleague, false, true,
         false, Twist::closedFolderHalfWay,
         "The file “doc.json” could not be saved: the file is larger than this disk or system allows. It may be "
         "incomplete now; its new contents are whole in “<folder>/state/vantrel/doc (new contents).json”. | copy "
         "open to nobody else | written over | torn | marked state/vantrel/doc (new contents).json by nobody | owner "
         "cannot read it | left state/vantrel/doc (new contents).json 65534 0600 whole"},
        // Without a folder of their own, the saver is told so: the file itself they may write.
        {"a folder the saver cannot write, their own under a file", 5555, 4321, 0660, sharedList, colleague, false, true,
         false, Twist::closedFolderOwnFolderUnderAFile,
         "The file “doc.json” could not be saved: you may not add files to its folder, and your own folder for the "
         "copy a save keeps, “<folder>/state/vantrel”, cannot be used: part of its path is not a folder. | written "
         "over | old text | left state 65534 0644"},
        {"a folder the saver cannot write, their own in a closed one", 5555, 4321, 0660, sharedList, colleague, false,
         true, false, Twist::closedFolderOwnFolderClosed,
         "The file “doc.json” could not be saved: you may not add files to its folder, and your own folder for the "
         "copy a save keeps, “<folder>/state/vantrel”, cannot be used: you may not make it, or it is not yours alone. "
         "| written over | old text"},
    };
    int skipped = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string oldBytes = c.longerBefore ? std::string(3 * newBytes.size(), 'o') : "old";
        const Outcome outcome = attempt(Cause::none, "doc.json", oldBytes, 0, [&](const std::string &target) -> std::string {
            const std::string folder = fs::path(target).parent_path();
            if (std::string refused = share(target, c.fileOwner, c.group, c.mode, c.list); !refused.empty())
                return refused;
            if (!c.labelled)
                ::removexattr(target.c_str(), "trusted.label");
            const std::string other = fs::path(target).replace_filename("other.json");
            if (c.secondName && ::link(target.c_str(), other.c_str()) != 0)
                return cannotRun + "no hard links";
            const std::string leftover = folder + "/.vantrel-00000000-0000-4000-8000-000000000000.part";
            if (c.twist == Twist::killedBesideALeftover && !Detail::writeText(leftover, newBytes))
                return cannotRun + "no hidden file";
            if (c.twist == Twist::killedWithNameTaken || c.twist == Twist::killedTwiceBesideAnother) {
                Detail::writeText(folder + "/doc (new contents).json", "the owner's");
                ::chown((folder + "/doc (new contents).json").c_str(), owner.uid, owner.gid);
            }
            if (c.twist == Twist::closedFolder || c.twist == Twist::closedFolderHalfWay
                || c.twist == Twist::closedFolderOwnFolderUnderAFile || c.twist == Twist::closedFolderOwnFolderClosed) {
                const std::string state = folder + "/state";
                if (c.twist == Twist::closedFolderOwnFolderUnderAFile)
                    Detail::writeText(state, "a file");
                else
                    ::mkdir(state.c_str(), c.twist == Twist::closedFolderOwnFolderClosed ? 0755 : 0700);
                if (c.twist != Twist::closedFolderOwnFolderClosed)
                    ::chown(state.c_str(), c.saver.uid, c.saver.gid);
                ::setenv("XDG_STATE_HOME", state.c_str(), 1);
                ::chmod(folder.c_str(), 0755);
            }
            const std::string before = describe(target);
            struct stat old {};
            ::stat(target.c_str(), &old);
            std::string said = saveWithTwist(c, target);
            if (const size_t at = said.find(folder); at != std::string::npos)
                said.replace(at, folder.size(), "<folder>");
            struct stat saved {};
            ::stat(target.c_str(), &saved);
            std::string report = said + " | " + (saved.st_ino == old.st_ino ? "written over" : "renamed");
            if (const std::string after = describe(target); after != before)
                report += "\n   was: " + before + "\n   now: " + after;
            const std::string text = Detail::readText(target);
            report += text == newBytes ? "" : text == oldBytes ? " | old text" : " | torn";
            if (c.secondName && Detail::readText(other) != text)
                report += " | the other name holds another text";
            if (c.twist == Twist::killedBesideALeftover) {
                const int opened = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                Leftovers::removeStale(opened, ::time(nullptr) + 2 * Leftovers::staleAfterSeconds,
                                       [&] { return Detail::readText(target) == newBytes; });
                ::close(opened);
            }
            // What opening the file would point the owner to, by the file's mark or the copy's, and
            // whether the owner can read it. The owner's own folder is not the saver's.
            std::vector<FoundCopy> found;
            std::optional<FoundCopy> marked;
            std::string owned;
            ::unsetenv("XDG_STATE_HOME");
            as(owner, [&] {
                found = KeptCopies::of(target);
                marked = KeptCopies::marked(target);
                if (!found.empty())
                    owned = Detail::readText(found.front().path) == newBytes ? "owner reads it whole" : "owner cannot read it";
            });
            for (const FoundCopy &copy : found)
                report += (copy == marked ? " | marked " : " | found ") + fs::relative(copy.path, folder).string() + " by "
                    + copy.holder;
            if (!owned.empty())
                report += " | " + owned;
            // The group may read the file but not the copy, nor so the copy's own mark.
            std::vector<FoundCopy> foundByMember;
            as(member, [&] { foundByMember = KeptCopies::of(target); });
            if (foundByMember.empty() != found.empty() || (!found.empty() && foundByMember.front() != found.front()))
                report += " | the group led "
                    + (foundByMember.empty() ? "nowhere" : "to " + fs::relative(foundByMember.front().path, folder).string());
            // Hidden files first: their names are random, and so their place in the folder.
            std::string hidden;
            for (const auto &entry : fs::recursive_directory_iterator(folder)) {
                const std::string name = fs::relative(entry.path(), folder).string();
                if (name == "doc.json" || name == "other.json" || !entry.is_regular_file())
                    continue;
                struct stat status {};
                ::stat(entry.path().c_str(), &status);
                char mode[8];
                std::snprintf(mode, sizeof mode, "%04o", unsigned(status.st_mode & 07777));
                const bool isHidden = name.find(".vantrel-") != std::string::npos;
                (isHidden ? hidden : report) += " | left " + (isHidden ? "(hidden)" : name) + " "
                    + std::to_string(status.st_uid) + " " + mode + (Detail::readText(entry.path()) == newBytes ? " whole" : "");
            }
            return report.insert(std::min(report.find(" | left "), report.size()), hidden);
        });
        if (outcome.reported.starts_with(cannotRun)) {
            std::cout << "[ skipped  ] " << c.name << ": " << outcome.reported << "\n";
            ++skipped;
            continue;
        }
        EXPECT_EQ(outcome.childFailure, "");
        EXPECT_EQ(outcome.reported, c.expected);
    }
    EXPECT_LT(skipped, int(std::size(cases))) << "no case could run here";
}

// While a colleague's save is under way, the copy beside the file is theirs, and its owner's to
// read: one named entry, no group or others' bits, so neither the file's group nor their own
// gets in; the attributes others keep on the file come along.
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
    EXPECT_EQ(outcome.reported, "65534:65534 0640 1 names, user::rw- user:5555:r-- group::--- mask::r-- other::---, note "
                                "kept, label (none); owner r-, colleague rw, member --, colleague's group --, stranger --");
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
// asked for before the first byte goes over the old file, and the message says how much lacks,
// which is then enough.
TEST(PendingFileSharing, AFullDiskLeavesTheOldDocumentWhole)
{
    const Outcome outcome = attempt(Cause::fullDisk, "doc.json", oldBytes, 16 * 1024, [](const std::string &target) {
        if (std::string refused = linkBeside(target); !refused.empty())
            return refused;
        const std::string first = errorOf([&] { PendingFile::write(target, newBytes); });
        const bool kept = Detail::readText(target) == oldBytes;
        const size_t at = first.find("needs ");
        if (at == std::string::npos)
            return first;
        const std::string filler = fs::path(target).replace_filename(Detail::fillerName);
        ::truncate(filler.c_str(), off_t(fs::file_size(filler) - std::stoul(first.substr(at + 6)) * 1024));
        const std::string second = errorOf([&] { PendingFile::write(target, newBytes); });
        return first + (kept ? "" : " | the old file was touched") + " | then " + (second.empty() ? "saved" : second);
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "The file “doc.json” could not be saved: the disk is full; the save needs 4 KB more free "
                                "space. | then saved");
    EXPECT_EQ(outcome.targetSize, newBytes.size());
    EXPECT_EQ(outcome.files, (std::vector<std::string>{"doc.json", "other.json"}));
}

// A file-size limit met half-way over the old file: the whole new content stays beside it,
// under a name a file dialog shows, and the message gives it. The error tells the file as the
// save left it; the next save finds it so, and once it succeeds the copy goes.
TEST(PendingFileSharing, AFailureHalfWayKeepsTheWholeCopyAndNamesIt)
{
    const Outcome outcome = attempt(Cause::none, "doc.json", oldBytes, 0, [](const std::string &target) {
        const std::string folder = fs::path(target).parent_path();
        if (std::optional<std::string> refused = Detail::mountSmallDisk(folder, "ramfs"))
            return cannotRun + *refused;
        Detail::writeText(target, oldBytes);
        if (std::string refused = linkBeside(target); !refused.empty())
            return refused;
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t unlimited = limit.rlim_cur;
        std::optional<FileWriteError> failure;
        try {
            PendingFile file(target);
            file.append(newBytes);
            limit.rlim_cur = 4096;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            file.commit();
        } catch (const FileWriteError &error) {
            failure = error;
        }
        if (!failure || !failure->keptCopy() || !failure->leftStatus())
            return std::string("no copy or status given");
        std::string error = failure->message();
        if (const size_t at = error.find(folder); at != std::string::npos)
            error.replace(at, folder.size(), "<folder>");
        const bool whole = Detail::readText(folder + "/doc (new contents).json") == newBytes;
        const size_t torn = Detail::readText(target).size();
        // Opening the torn file finds the copy: by the mark, or on a disk that keeps none, by its name.
        std::string found;
        for (const FoundCopy &copy : KeptCopies::of(target))
            found += " found " + fs::path(copy.path).filename().string() + ";";
        limit.rlim_cur = unlimited;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        PendingFile retry(target);
        const bool asLeft = retry.targetStatus() && sameStatus(*retry.targetStatus(), *failure->leftStatus());
        retry.supersede(*failure->keptCopy());
        retry.append(newBytes);
        retry.commit();
        return error + (whole ? "" : " [the copy is not whole]") + " " + std::to_string(torn) + " bytes"
            + (asLeft ? "" : " [not as the save left it]") + found;
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "The file “doc.json” could not be saved: the file is larger than this disk or system "
                                "allows. It may be incomplete now; its new contents are whole in “<folder>/doc (new "
                                "contents).json”. 4096 bytes found doc (new contents).json;");
    EXPECT_EQ(outcome.targetSize, newBytes.size());
    EXPECT_EQ(outcome.files, (std::vector<std::string>{"doc.json", "other.json"}));
}

// The retry after a failure half-way, on a disk with room for its copy but not for a second one
// as well: the earlier copy goes once the new one stands whole and the file leads to it, and its
// room is what the file takes.
TEST(PendingFileSharing, ARetryOnAFullDiskNeedsNoRoomForASecondCopy)
{
    const Outcome outcome = attempt(Cause::none, "doc.json", oldBytes, 0, [](const std::string &target) {
        const std::string folder = fs::path(target).parent_path();
        if (std::optional<std::string> refused = Detail::mountSmallDisk(folder))
            return cannotRun + *refused;
        Detail::writeText(target, oldBytes);
        if (std::string refused = linkBeside(target); !refused.empty())
            return refused;
        // As an earlier save left it: the file torn, its whole text beside it.
        const std::string earlier = folder + "/doc (new contents).json";
        Detail::writeText(target, newBytes.substr(0, 4096));
        Detail::writeText(earlier, newBytes);
        struct stat status {};
        ::stat(earlier.c_str(), &status);
        const KeptCopy kept{earlier, status.st_dev, status.st_ino};
        // Room for the new copy, and a page.
        if (!Detail::leaveRoom(folder, 4 * 4096))
            return std::string("the disk could not be filled");
        return errorOf([&] {
            PendingFile retry(target);
            retry.supersede(kept);
            retry.append(newBytes);
            retry.commit();
        });
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, "");
    EXPECT_EQ(outcome.targetSize, newBytes.size());
    EXPECT_EQ(outcome.files, (std::vector<std::string>{"doc.json", "other.json"}));
}
