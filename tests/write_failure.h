#pragma once

// Runs a writer where writes really fail, in a child process: under a file-size limit
// (RLIMIT_FSIZE, writes fail with EFBIG), on a nearly full tmpfs mounted in the child's own
// namespaces (ENOSPC), over a read-only file as an unprivileged user, or over a file whose
// access list the new file cannot carry. The child checks what is left and reports back
// through a pipe.

#include "access_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iostream>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <optional>
#include <sched.h>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace WriteFailure {

// From now on this process answers the system call `number` with `action` (SECCOMP_RET_…),
// where its second argument's low half is `secondArgument` when one is given (these machines
// are little-endian; callers pass values under 4 GiB), and runs every other call. False where
// the system keeps no filters of system calls.
inline bool filterSystemCall(int number, std::optional<uint32_t> secondArgument, uint32_t action)
{
#if defined(__x86_64__)
    const uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    const uint32_t arch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    const uint8_t argumentSteps = secondArgument ? 2 : 0;
    std::vector<sock_filter> filter{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 0, uint8_t(3 + argumentSteps)),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(number), 0, uint8_t(1 + argumentSteps)),
    };
    if (secondArgument) {
        filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])));
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, *secondArgument, 0, 1));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, action));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program{.len = static_cast<unsigned short>(filter.size()), .filter = filter.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

enum class Cause {
    fileSizeLimit, // writes past the room fail with EFBIG
    fullDisk,      // the disk has only the room left: ENOSPC
    readOnlyFile,  // the old file is read-only (chmod 444), in a folder the writer may write
    // The old file's access list names a group, which the writer's own user namespace cannot
    // name: the list reads back with a group no file can be given.
    unkeepableAccessList,
    none,          // nothing fails: the writer's content is measured
};

inline const char *nameOf(Cause cause)
{
    switch (cause) {
    case Cause::fileSizeLimit: return "file size limit";
    case Cause::fullDisk: return "full disk";
    case Cause::readOnlyFile: return "read-only file";
    case Cause::unkeepableAccessList: return "access list that cannot be kept";
    case Cause::none: break;
    }
    return "no failure";
}

// The reason a refused write gives for the cause.
inline std::string reasonOf(Cause cause)
{
    if (cause == Cause::readOnlyFile)
        return "the file is read-only";
    if (cause == Cause::unkeepableAccessList)
        return "the access rights set on it (its ACL) could not be kept";
    return cause == Cause::fileSizeLimit ? "the file is larger than this disk or system allows" : "the disk is full";
}

// Payloads on both sides of the 16 KB that Qt's file buffer holds back: a failure inside
// the buffer and one while writing through it. Writes fail past `room` bytes.
struct Payload {
    const char *name;
    size_t room;
    bool isLarge; // the payload passes 1 MB; else it stays under 16 KB

    // Payload limits for the writer's content.
    size_t atLeast() const { return isLarge ? 1024 * 1024 : room + 1; }
    size_t below() const { return isLarge ? size_t(-1) : 16 * 1024; }
};
inline constexpr Payload small{"small", 2048, false};
inline constexpr Payload large{"large", 256 * 1024, true};
inline constexpr Cause causes[] = {Cause::fileSizeLimit, Cause::fullDisk};
inline constexpr Payload payloads[] = {small, large};

struct Outcome {
    // Why the case could not run on this machine (no tmpfs mount allowed).
    std::optional<std::string> skipped;
    // What the writer reported; empty when it reported success.
    std::string reported;
    // The target still holds its old bytes exactly.
    bool targetKept = false;
    // The folder's entries afterwards, sorted.
    std::vector<std::string> files;
    // The target's size afterwards.
    size_t targetSize = 0;
    // How the child ended when it did not end normally.
    std::string childFailure;
};

namespace Detail {

inline void put(std::string &out, const std::string &text)
{
    out += std::to_string(text.size()) + ":" + text;
}

inline std::string take(std::string_view &in)
{
    const size_t colon = in.find(':');
    if (colon == std::string_view::npos)
        return {};
    const size_t length = std::stoul(std::string(in.substr(0, colon)));
    std::string text(in.substr(colon + 1, length));
    in.remove_prefix(std::min(in.size(), colon + 1 + length));
    return text;
}

inline std::string encode(const Outcome &outcome)
{
    std::string out;
    put(out, outcome.skipped ? "1" + *outcome.skipped : "0");
    put(out, outcome.reported);
    put(out, outcome.targetKept ? "1" : "0");
    put(out, std::to_string(outcome.targetSize));
    put(out, std::to_string(outcome.files.size()));
    for (const std::string &file : outcome.files)
        put(out, file);
    return out;
}

inline Outcome decode(std::string_view in)
{
    Outcome outcome;
    const std::string skipped = take(in);
    if (skipped.starts_with("1"))
        outcome.skipped = skipped.substr(1);
    outcome.reported = take(in);
    outcome.targetKept = take(in) == "1";
    outcome.targetSize = std::stoul("0" + take(in));
    const std::string count = take(in);
    for (size_t i = 0, n = count.empty() ? 0 : std::stoul(count); i < n; ++i)
        outcome.files.push_back(take(in));
    return outcome;
}

inline bool writeText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.flush();
    return bool(out);
}

inline std::string readText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline const char *fillerName = "zz-filler";

// Mounts a small tmpfs (or a disk of another `type`) on `folder` in namespaces of this
// process's own. Nothing when allowed, else why not.
inline std::optional<std::string> mountSmallDisk(const std::string &folder, const char *type = "tmpfs")
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return std::string("no user and mount namespaces: ") + std::strerror(errno);
    writeText("/proc/self/setgroups", "deny");
    if (!writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n")
        || !writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
        return std::string("no user mapping");
    ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    if (::mount(type, folder.c_str(), type, 0, "size=8m") != 0)
        return std::string("no ") + type + " mount: " + std::strerror(errno);
    return std::nullopt;
}

// Makes `target` read-only and, for root, who may write anything, goes on as an unprivileged
// user owning `folder` and `target`. Nothing when done, else why not.
inline std::optional<std::string> makeReadOnly(const std::string &folder, const std::string &target)
{
    if (::chmod(target.c_str(), 0444) != 0)
        return std::string("no chmod: ") + std::strerror(errno);
    if (::geteuid() != 0)
        return std::nullopt;
    const uid_t nobody = 65534;
    if (::chown(folder.c_str(), nobody, nobody) != 0 || ::chown(target.c_str(), nobody, nobody) != 0)
        return std::string("no chown: ") + std::strerror(errno);
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
        return std::string("no unprivileged user: ") + std::strerror(errno);
    return std::nullopt;
}

// Gives `target` an access list that lets a group (the child's own, in its namespace) write,
// then goes on in a nested user namespace that maps no group. Nothing when done, else why not.
inline std::optional<std::string> makeAccessListUnkeepable(const std::string &target)
{
    if (const int error = AccessList::set(target, "user::rw- group::r-- group:0:rw- mask::rw- other::---"))
        return std::string("no access lists: ") + std::strerror(error);
    const uid_t uid = ::getuid();
    if (::unshare(CLONE_NEWUSER) != 0)
        return std::string("no nested user namespace: ") + std::strerror(errno);
    if (!writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n"))
        return std::string("no user mapping");
    return std::nullopt;
}

// Fills the disk holding `folder`, then frees `room` bytes of it again.
inline bool leaveRoom(const std::string &folder, size_t room)
{
    const std::string path = folder + "/" + fillerName;
    FILE *filler = std::fopen(path.c_str(), "wb");
    if (!filler)
        return false;
    const std::string block(4096, '\0');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
    }
    std::fclose(filler);
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && size > room && ::truncate(path.c_str(), off_t(size - room)) == 0;
}

inline Outcome runInChild(Cause cause, const std::string &folder, const std::string &fileName,
                          const std::string &oldBytes, size_t room,
                          const std::function<std::string(const std::string &)> &write)
{
    Outcome outcome;
    if (cause == Cause::fullDisk || cause == Cause::unkeepableAccessList) {
        if (std::optional<std::string> refused = mountSmallDisk(folder)) {
            outcome.skipped = refused;
            return outcome;
        }
    }
    const std::string target = folder + "/" + fileName;
    if (!writeText(target, oldBytes)) {
        outcome.childFailure = "the old file could not be written";
        return outcome;
    }
    if (cause == Cause::readOnlyFile) {
        if (std::optional<std::string> refused = makeReadOnly(folder, target)) {
            outcome.skipped = refused;
            return outcome;
        }
    }
    if (cause == Cause::unkeepableAccessList) {
        if (std::optional<std::string> refused = makeAccessListUnkeepable(target)) {
            outcome.skipped = refused;
            return outcome;
        }
    }
    if (cause == Cause::fullDisk && !leaveRoom(folder, room)) {
        outcome.childFailure = "the disk could not be filled";
        return outcome;
    }
    // The writer itself must keep the limit's signal from ending the program: it is put back as
    // the system sets it, whatever an earlier writer in this process made of it.
    if (cause == Cause::fileSizeLimit) {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(room);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    outcome.reported = write(target);
    const std::string written = readText(target);
    outcome.targetKept = written == oldBytes;
    outcome.targetSize = written.size();
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != fillerName)
            outcome.files.push_back(name);
    }
    std::sort(outcome.files.begin(), outcome.files.end());
    return outcome;
}

} // namespace Detail

// In a child process: a fresh folder holding `fileName` with `oldBytes`; then writes fail
// past `room` bytes for `cause`; then `write` runs with the path of `fileName` and returns
// what the writer reported ("" for success). The child ends without running destructors or
// test hooks. It has only the thread that forked it: work that a thread pool made before the
// fork would run never runs in the child, so such work is done before the attempt.
inline Outcome attempt(Cause cause, const std::string &fileName, const std::string &oldBytes, size_t room,
                       const std::function<std::string(const std::string &targetPath)> &write)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-write-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return Outcome{.childFailure = "no temporary folder"};
    const std::string folder = pattern;
    int channel[2];
    if (::pipe(channel) != 0)
        return Outcome{.childFailure = "no pipe"};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        ::alarm(600); // a hung writer ends the child, and the case fails
        std::string report;
        try {
            report = Detail::encode(Detail::runInChild(cause, folder, fileName, oldBytes, room, write));
        } catch (const std::exception &error) {
            report = Detail::encode(Outcome{.reported = std::string("uncaught: ") + error.what()});
        }
        for (std::string_view left = report; !left.empty();) {
            const ssize_t sent = ::write(channel[1], left.data(), left.size());
            if (sent <= 0)
                break;
            left.remove_prefix(size_t(sent));
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string received;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        received.append(buffer, size_t(got));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || received.empty())
        return Outcome{.childFailure = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                                           : "ended without a report"};
    Outcome outcome = Detail::decode(received);
    return outcome;
}

// The writer said why with the file's name, never claimed success, and left the folder as it
// was: the old file whole and no temporary file beside it.
inline void expectRefused(const Outcome &outcome, const std::string &fileName, const std::string &message)
{
    EXPECT_EQ(outcome.childFailure, "");
    EXPECT_EQ(outcome.reported, message);
    EXPECT_TRUE(outcome.targetKept) << "the old file changed";
    EXPECT_EQ(outcome.files, std::vector<std::string>{fileName}) << "something was left beside the file";
}

// Runs `write` for every cause and size and expects each to be refused; `message` is what
// the writer should say. `write` gets the target and the size its content must
// have, and returns what the writer reported ("" for success).
inline void expectEveryFailureRefused(const std::string &fileName,
                                      const std::function<std::string(Cause, Payload)> &message,
                                      const std::function<std::string(const std::string &, Payload)> &write)
{
    for (const Cause cause : causes) {
        for (const Payload payload : payloads) {
            SCOPED_TRACE(std::string(nameOf(cause)) + ", " + payload.name + " payload");
            if (cause == causes[0]) {
                // With room to spare the writer succeeds, with content of the size asked for.
                const Outcome written = attempt(Cause::none, fileName, "old", 0,
                                                [&](const std::string &target) { return write(target, payload); });
                EXPECT_EQ(written.reported, "");
                EXPECT_GE(written.targetSize, payload.atLeast()) << "content too small";
                EXPECT_LT(written.targetSize, payload.below()) << "content too large";
            }
            const Outcome outcome = attempt(cause, fileName, "old content that must stay\n", payload.room,
                                            [&](const std::string &target) { return write(target, payload); });
            if (outcome.skipped) {
                std::cout << "[ skipped  ] " << nameOf(cause) << ": " << *outcome.skipped << "\n";
                continue;
            }
            expectRefused(outcome, fileName, message(cause, payload));
        }
    }
}

// Runs `write` over an old file holding `oldBytes` that is read-only, or whose access list
// cannot be kept (`cause`), and expects it refused with the usual sentence.
inline void expectOldFileKept(Cause cause, const std::string &fileName,
                              const std::function<std::string(const std::string &targetPath)> &write,
                              const std::string &oldBytes = "old content that must stay\n")
{
    const Outcome outcome = attempt(cause, fileName, oldBytes, 0, write);
    if (outcome.skipped) {
        std::cout << "[ skipped  ] " << nameOf(cause) << ": " << *outcome.skipped << "\n";
        return;
    }
    expectRefused(outcome, fileName,
                  "The file \u201c" + fileName + "\u201d could not be saved: " + reasonOf(cause) + ".");
}

inline void expectReadOnlyRefused(const std::string &fileName,
                                  const std::function<std::string(const std::string &targetPath)> &write,
                                  const std::string &oldBytes = "old content that must stay\n")
{
    expectOldFileKept(Cause::readOnlyFile, fileName, write, oldBytes);
}

// How a writer's report starts when the case cannot be set up on this machine.
inline const std::string cannotRun = "cannot run here: ";

// The usual sentence for a file that could not be saved.
inline std::string savedMessage(Cause cause, const std::string &fileName)
{
    return "The file \u201c" + fileName + "\u201d could not be saved: " + reasonOf(cause) + ".";
}

} // namespace WriteFailure

// A case that could not be set up on this machine ends as skipped, saying why.
#define SKIP_WHEN_IT_CANNOT_RUN(outcome)                                                                               \
    if ((outcome).skipped || (outcome).reported.starts_with(WriteFailure::cannotRun))                                  \
    GTEST_SKIP() << (outcome).skipped.value_or((outcome).reported)
