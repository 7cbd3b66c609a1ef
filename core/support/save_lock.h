#pragma once

#include <filesystem>
#include <optional>
#include <sys/stat.h>

// The hold every save of the program takes on the file it replaces, from before it looks at
// the file until the file is written over or replaced: a second save waits, then finds the file
// as the first left it, so two saves never mix their bytes nor replace each other unasked. An
// open-file-description lock, so two windows of one process are told apart as two processes
// are; programs that take no such lock are not held back.
class SaveLock {
public:
    SaveLock() = default;
    // Waits until no other save holds the regular file at `path` (links already followed), and
    // holds it; after ten seconds of another save's hold, holds nothing and error() is EAGAIN. A file replaced while waiting is let go and the new one held. Holds nothing
    // where there is no such file, the user may not write it, or its file system keeps no
    // locks. Where this process already holds it, holds nothing and error() is ETXTBSY: waiting
    // for itself, it would wait for ever.
    explicit SaveLock(const std::filesystem::path &path);
    ~SaveLock();
    SaveLock(SaveLock &&other) noexcept;
    SaveLock &operator=(SaveLock &&other) noexcept;

    // The file at the path once held: nothing when there is none.
    const std::optional<struct stat> &status() const { return m_status; }
    // The same file open for writing, and for reading where the user may: -1 when it could not
    // be opened for writing.
    int descriptor() const { return m_file; }
    bool isReadable() const { return m_readable; }
    // 0, or why the file could not be held although it is there: ETXTBSY or EAGAIN.
    int error() const { return m_error; }
    // Lets the file go; the descriptor closes.
    void release();

private:
    int m_file = -1;
    bool m_readable = false;
    bool m_registered = false;
    int m_error = 0;
    std::optional<struct stat> m_status;
};
