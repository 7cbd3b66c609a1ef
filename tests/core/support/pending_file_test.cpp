#include "core/support/pending_file.h"

#include "error_of.h"
#include "write_failure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>
#include <atomic>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace WriteFailure;

namespace {

// A fresh folder, removed with everything in it.
struct Folder {
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "vantrel-pending-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    fs::path operator/(const std::string &name) const { return path / name; }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path path;
};

std::string contentOf(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(PendingFile, AFailedWriteKeepsTheOldFileAndSaysWhyWithTheName)
{
    expectEveryFailureRefused(
        "doc.json", [](Cause cause, Payload) { return savedMessage(cause, "doc.json"); },
        [](const std::string &path, Payload payload) {
            return errorOf([&] { PendingFile::write(path, std::string(payload.isLarge ? 1536 * 1024 : 10 * 1024, 'x')); });
        });
}

// Renaming over a file needs only the folder's permission; a read-only file stays.
TEST(PendingFile, AReadOnlyFileIsNotReplaced)
{
    expectReadOnlyRefused("doc.json", [](const std::string &path) {
        return errorOf([&] { PendingFile::write(path, "new content"); });
    });
}

TEST(PendingFile, ReplacesInPlaceThroughALinkAndKeepsPermissions)
{
    Folder folder;
    const fs::path target = folder / "doc.json";
    std::ofstream(target) << "old";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("doc.json", folder / "link.json");

    PendingFile::write(folder / "link.json", "new through the link");
    EXPECT_TRUE(fs::is_symlink(folder / "link.json"));
    EXPECT_EQ(contentOf(target), "new through the link");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"doc.json", "link.json"}));

    // An empty file is a file too.
    PendingFile::write(target, "");
    EXPECT_EQ(contentOf(target), "");
}

// A document shared through its group stays the group's after someone else saves it. Root
// (as in CI) may give any group; anyone else one of their own other than their first.
TEST(PendingFile, AReplacedFileKeepsItsGroup)
{
    std::optional<gid_t> other;
    if (::geteuid() == 0) {
        other = ::getegid() + 4242;
    } else {
        std::vector<gid_t> groups(size_t(std::max(::getgroups(0, nullptr), 0)));
        groups.resize(size_t(std::max(::getgroups(int(groups.size()), groups.data()), 0)));
        for (gid_t group : groups) {
            if (group != ::getegid())
                other = group;
        }
    }
    if (!other)
        GTEST_SKIP() << "no group to give the file but the saver's own";
    Folder folder;
    const fs::path target = folder / "doc.json";
    std::ofstream(target) << "old";
    ASSERT_EQ(::chown(target.c_str(), uid_t(-1), *other), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0660), 0);

    PendingFile::write(target, "saved by another member");
    struct stat saved {};
    ASSERT_EQ(::stat(target.c_str(), &saved), 0);
    EXPECT_EQ(saved.st_gid, *other);
    EXPECT_EQ(saved.st_mode & 07777, 0660u);
    EXPECT_EQ(contentOf(target), "saved by another member");
}

TEST(PendingFile, NothingIsLeftBehindWithoutACommit)
{
    Folder folder;
    std::ofstream(folder / "doc.json") << "old";
    {
        PendingFile file(folder / "doc.json");
        file.append("half of it");
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"doc.json"});
    EXPECT_EQ(contentOf(folder / "doc.json"), "old");

    // A library wrote by path; the commit still flushes and renames it, or writes it over a
    // file with a second name.
    PendingFile byPath(folder / "book.xlsx");
    std::ofstream(byPath.temporaryPath(), std::ios::binary) << "zip";
    byPath.commit();
    EXPECT_EQ(contentOf(folder / "book.xlsx"), "zip");
    fs::create_hard_link(folder / "book.xlsx", folder / "linked.xlsx");
    PendingFile overLinked(folder / "book.xlsx");
    std::ofstream(overLinked.temporaryPath(), std::ios::binary) << "zipped again";
    overLinked.commit();
    EXPECT_EQ(contentOf(folder / "linked.xlsx"), "zipped again");
}

TEST(PendingFile, RefusalsNameTheFileAndLeaveTheFolderAsItWas)
{
    Folder folder;
    std::ofstream(folder / "Chart.pdf") << "mine";
    // A second name, with which a save writes over the file: never where it must not replace.
    fs::create_hard_link(folder / "Chart.pdf", folder / "Copy.pdf");
    fs::create_directory(folder / "Reports");

    EXPECT_EQ(errorOf([&] { PendingFile::write(folder / "Chart.pdf", "new", PendingFile::Placement::keepExisting); }),
              "The file “Chart.pdf” could not be saved: a file of that name already exists.");
    EXPECT_EQ(errorOf([&] { PendingFile::write(folder / "Reports", "new"); }),
              "The file “Reports” could not be saved: a folder has that name.");
    EXPECT_EQ(errorOf([&] { PendingFile::write(folder / "gone" / "doc.json", "new"); }),
              "The file “doc.json” could not be saved: the folder does not exist.");
    EXPECT_EQ(contentOf(folder / "Chart.pdf"), "mine");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"Chart.pdf", "Copy.pdf", "Reports"}));

    try {
        PendingFile::write(folder / "gone" / "doc.json", "new");
    } catch (const FileWriteError &error) {
        EXPECT_EQ(error.fileName(), "doc.json");
        EXPECT_EQ(error.reason(), "the folder does not exist");
    }
}

// A saver stopped while it holds the file must not hold this one's window for ever.
TEST(PendingFile, ASaveHeldUpByAnotherGivesUpAndSaysSo)
{
    Folder folder;
    std::ofstream(folder / "doc.json") << "theirs";
    const int other = ::open((folder / "doc.json").c_str(), O_RDWR | O_CLOEXEC);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &whole), 0);
    EXPECT_EQ(errorOf([&] { PendingFile::write(folder / "doc.json", "mine"); }),
              "The file “doc.json” could not be saved: someone else is saving it.");
    EXPECT_EQ(contentOf(folder / "doc.json"), "theirs");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"doc.json"});
    ::close(other);
}

// A second save of the file in this process, through any of its names, would wait for the first,
// which its own thread may be the one to finish: it is refused at once, and the first goes on.
TEST(PendingFile, ASecondSaveInThisProcessIsRefusedAtOnce)
{
    Folder folder;
    std::ofstream(folder / "doc.json") << "old";
    fs::create_symlink(folder / "doc.json", folder / "link.json");
    PendingFile first(folder / "doc.json");
    first.append("first");
    for (const char *name : {"doc.json", "link.json"})
        EXPECT_EQ(errorOf([&] { PendingFile::write(folder / name, "second"); }),
                  "The file “" + std::string(name) + "” could not be saved: the file is in use.");
    first.commit();
    EXPECT_EQ(contentOf(folder / "doc.json"), "first");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"doc.json", "link.json"}));
}

// Hidden files of killed saves go once stale and held by no save, where the caller allows it;
// a young one may be a save's not held yet, and a held one is a live save's.
TEST(PendingFile, StaleHiddenFilesGoOnlyWhenOldAndUnheld)
{
    Folder folder;
    const std::string unheld = ".vantrel-00000000-0000-4000-8000-000000000001.part";
    const std::string held = ".vantrel-00000000-0000-4000-8000-000000000002.part";
    for (const std::string &name : {unheld, held, std::string(".vantrel-not-ours.part"), std::string("doc.json")})
        std::ofstream(folder / name) << "text";
    const int live = ::open((folder / held).c_str(), O_RDWR | O_CLOEXEC);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(live, F_OFD_SETLK, &whole), 0);
    const int opened = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int asked = 0;
    const auto allow = [&](bool answer) {
        return [&asked, answer] {
            ++asked;
            return answer;
        };
    };
    const time_t now = ::time(nullptr);
    const time_t later = now + 2 * Leftovers::staleAfterSeconds;
    std::vector<std::string> all = folder.entries();
    Leftovers::removeStale(opened, now, allow(true));
    EXPECT_EQ(folder.entries(), all) << "young";
    Leftovers::removeStale(opened, later, allow(false));
    EXPECT_EQ(folder.entries(), all) << "not allowed";
    Leftovers::removeStale(opened, later, {});
    EXPECT_EQ(folder.entries(), all) << "nobody asked";
    Leftovers::removeStale(opened, later, allow(true));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{held, ".vantrel-not-ours.part", "doc.json"}));
    EXPECT_EQ(asked, 2) << "asked once a call, and only when there is an old unheld file";
    ::close(live);
    ::close(opened);
}

// A program that takes no hold and writes the file while a save writes over it (here as the save
// reads the file back): the save says so rather than that it saved, and names its whole copy.
TEST(PendingFile, AWriterIgnoringTheHoldIsNotTakenForTheSave)
{
    Folder folder;
    const std::string newText(64 * 1024, 'n');
    std::ofstream(folder / "doc.json") << "old";
    fs::create_hard_link(folder / "doc.json", folder / "other.json"); // written over, and read back
    const int fan = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
    if (fan < 0 || ::fanotify_mark(fan, FAN_MARK_ADD, FAN_ACCESS_PERM, AT_FDCWD, (folder / "doc.json").c_str()) != 0) {
        if (fan >= 0)
            ::close(fan);
        GTEST_SKIP() << "no permission events of fanotify: " << std::strerror(errno);
    }
    const int intruder = ::open((folder / "other.json").c_str(), O_WRONLY | O_CLOEXEC);
    std::atomic<bool> done = false;
    std::atomic<int> written = 0;
    std::thread writer([&] {
        while (!done) {
            pollfd ready{.fd = fan, .events = POLLIN, .revents = 0};
            if (::poll(&ready, 1, 20) <= 0)
                continue;
            fanotify_event_metadata event {};
            if (::read(fan, &event, sizeof event) < ssize_t(sizeof event))
                continue;
            // Before the first read is let through, a byte of its own over the save's.
            if (written++ == 0 && ::pwrite(intruder, "X", 1, 100) != 1)
                ADD_FAILURE() << "the intruder could not write";
            const fanotify_response answer{.fd = event.fd, .response = FAN_ALLOW};
            [[maybe_unused]] const ssize_t sent = ::write(fan, &answer, sizeof answer);
            ::close(event.fd);
        }
    });
    const std::string said = errorOf([&] { PendingFile::write(folder / "doc.json", newText); });
    done = true;
    writer.join();
    ::close(fan);
    ::close(intruder);
    EXPECT_GE(written, 1) << "the save never read the file back";
    EXPECT_EQ(said, "The file “doc.json” could not be saved: another program wrote to it at the same time. It may be "
                    "incomplete now; its new contents are whole in “" + (folder / "doc (new contents).json").string() + "”.");
    EXPECT_EQ(contentOf(folder / "doc (new contents).json"), newText);
    const std::vector<FoundCopy> named = KeptCopies::of(folder / "doc.json");
    ASSERT_FALSE(named.empty());
    EXPECT_EQ(named.front().path, folder / "doc (new contents).json");
}

TEST(PendingFile, SystemErrorsReadAsPlainWords)
{
    const std::pair<int, const char *> reasons[] = {
        {ENOSPC, "the disk is full"},
        {EFBIG, "the file is larger than this disk or system allows"},
        {EROFS, "the disk is read-only"},
        {EACCES, "you do not have permission to save there"},
        {EDQUOT, "the disk quota is used up"},
        {EIO, "the disk reported an error"},
        {ENOMEM, "cannot allocate memory"}, // any other: the system's words, in lower case
    };
    for (const auto &[error, reason] : reasons)
        EXPECT_EQ(FileWriteError::reasonFor(error), reason) << error;
}
