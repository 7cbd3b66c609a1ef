#pragma once

#include "core/support/organization_error.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>

// A file that could not be written. The message names the file and says why in plain words:
// "The file “doc.json” could not be saved: the disk is full.".
class FileWriteError : public OrganizationError {
public:
    // `error` is the system's error number.
    FileWriteError(std::string fileName, int error);
    // A reason of the caller's own, for failures the system did not name.
    FileWriteError(std::string fileName, std::string reason);

    const std::string &fileName() const { return m_fileName; }
    // The reason alone, e.g. "the disk is full".
    const std::string &reason() const { return m_reason; }
    // Plain words for a system error number, starting in lower case.
    static std::string reasonFor(int error);

private:
    std::string m_fileName;
    std::string m_reason;
};

// The one way the program writes a file. The bytes go to a hidden temporary file in the
// target's folder; commit() flushes it to the disk, checks that every byte arrived, and only
// then renames it over the target. A failure at any step, or destruction before commit(),
// removes the temporary file, so the target keeps its old content byte for byte. A target
// that is a symbolic link is replaced where the link points. A target the user may not write is
// not replaced.
//
// A replaced file keeps who may use it: its owner (for root) and group where the user may give
// them, its mode, its access control list and its other extended attributes. Nobody gets more
// access than the old file gave, at any moment: a list that cannot be put on the new file stops
// the save, and where the group cannot be kept its entry gives the new group nothing.
class PendingFile {
public:
    enum class Placement {
        replaceExisting,
        // Never replaces: commit() fails with "a file of that name already exists".
        keepExisting,
    };

    // Creates the temporary file with the replaced file's access. Throws FileWriteError, also
    // for a target the user may not write or whose access list the new file cannot carry.
    explicit PendingFile(const std::filesystem::path &target);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    // Writes `bytes` after what was written before. Throws FileWriteError and discards the file.
    void append(std::string_view bytes);
    // For a library that writes by path: the temporary file, already created. Its content is
    // then the caller's to check; commit() still flushes it before the rename.
    std::filesystem::path temporaryPath();
    // Puts the file in place. Throws FileWriteError and discards the file.
    void commit(Placement placement = Placement::replaceExisting);
    // Removes the temporary file now; nothing happens to the target.
    void discard();

    // The name the target was given (a link's, not its file's), as error messages give it.
    const std::string &fileName() const { return m_fileName; }
    // After commit(): the file put in place, as its own descriptor saw it just after the
    // rename (which moves its change time). What another program puts at the name afterwards
    // is told apart from it; a write into it before the rename keeps the status from before.
    const struct stat &placedStatus() const { return m_placed; }

    // The whole file at once: a PendingFile given `bytes`, then committed.
    static void write(const std::filesystem::path &target, std::string_view bytes,
                      Placement placement = Placement::replaceExisting);

private:
    [[noreturn]] void fail(int error);
    [[noreturn]] void fail(std::string reason);
    void keepAccessOf(const struct stat &existing);
    void keepAttributesOf(const std::filesystem::path &existing);

    std::string m_fileName;
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    int m_folder = -1;
    int m_file = -1;
    long long m_written = 0;
    // Bytes may have arrived by path, so the size written here says nothing.
    bool m_writtenByPath = false;
    struct stat m_placed {};
};
