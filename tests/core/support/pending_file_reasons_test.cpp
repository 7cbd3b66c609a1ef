#include "core/support/pending_file.h"

#include "error_of.h"
#include "write_failure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace WriteFailure;

namespace {

const std::string oldBytes = "old content that must stay\n";

std::string folderOf(const std::string &target) { return std::filesystem::path(target).parent_path().string(); }

std::string save(const std::string &target)
{
    return errorOf([&] { PendingFile::write(target, std::string(4096, 'x')); });
}

} // namespace

// The errors a user really meets when a save fails, as the sentence they read.

TEST(PendingFileReasons, AReadOnlyDisk)
{
    const Outcome outcome = attempt(Cause::none, "doc.json", oldBytes, 0, [](const std::string &target) {
        // The folder, mounted again read-only in namespaces of the child's own.
        const std::string folder = folderOf(target);
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return cannotRun + "no user and mount namespaces";
        Detail::writeText("/proc/self/setgroups", "deny");
        Detail::writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n");
        Detail::writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n");
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0
            || ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return cannotRun + "no read-only mount: " + std::strerror(errno);
        return save(target);
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    expectRefused(outcome, "doc.json", "The file “doc.json” could not be saved: the disk is read-only.");
}

TEST(PendingFileReasons, AFolderTheUserMayNotWriteIn)
{
    const Outcome outcome = attempt(Cause::none, "doc.json", oldBytes, 0, [](const std::string &target) {
        const std::string folder = folderOf(target);
        ::chmod(target.c_str(), 0644);
        ::chmod(folder.c_str(), 0555);
        // The administrator may write anywhere: the save runs as an ordinary user.
        if (::geteuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
                return cannotRun + "no ordinary user to run as";
        }
        const std::string reported = save(target);
        ::chmod(folder.c_str(), 0755); // so that the folder can be removed afterwards
        return reported;
    });
    SKIP_WHEN_IT_CANNOT_RUN(outcome);
    expectRefused(outcome, "doc.json", "The file “doc.json” could not be saved: you do not have permission to save there.");
}

// A full disk and a file past the size limit are made for real in pending_file_test.cpp; a
// used-up quota cannot be made without a disk that keeps quotas.
TEST(PendingFileReasons, AUsedUpQuotaAndErrorsWithoutWordsOfOurOwn)
{
    EXPECT_EQ(FileWriteError("doc.json", EDQUOT).what(),
              std::string("The file “doc.json” could not be saved: the disk quota is used up."));
    EXPECT_EQ(FileWriteError("doc.json", EDQUOT).reason(), "the disk quota is used up");
    // Any other error: the system's own words, starting in lower case inside the sentence.
    EXPECT_EQ(FileWriteError("doc.json", ENOMEM).what(),
              std::string("The file “doc.json” could not be saved: cannot allocate memory."));
}
