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
// then puts it in place. A failure before that, or destruction before commit(), removes the
// temporary file, so the target keeps its old content byte for byte. A target that is a
// symbolic link is written where the link points. A target the user may not write is not
// replaced.
//
// A replaced file keeps who may use it. Where the temporary file can carry everything the old
// one had (its owner and group, mode, access control list, other extended attributes, and a
// single name), it is renamed over the old file, atomically. Where it cannot (the saver is not
// the owner and not root, may not give the old group or copy an attribute, or the file has
// other hard links), the checked bytes are written over the old file itself, flushed, and only
// then is the temporary file removed. A failure once the old file has been touched keeps the
// temporary file, whole, under a name the user can find, and the error gives it. Nobody gets
// more access than the old file gave, at any moment: the temporary file opens only as far as
// the old file was, and a list that cannot be put on it stops the save.
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
    // then the caller's to check; commit() still flushes it before putting it in place.
    std::filesystem::path temporaryPath();
    // Puts the file in place. Throws FileWriteError and discards the temporary file, unless
    // the old file was already partly written over: then the temporary file stays, under a
    // visible name that the error gives.
    void commit(Placement placement = Placement::replaceExisting);
    // Removes the temporary file now; nothing happens to the target.
    void discard();

    // The name the target was given (a link's, not its file's), as error messages give it.
    const std::string &fileName() const { return m_fileName; }
    // After commit(): the file put in place, as its own descriptor saw it just after the
    // rename (which moves its change time) or the last write over the old file. What another
    // program puts at the name afterwards is told apart from it; a write into the temporary
    // file before the rename keeps the status from before.
    const struct stat &placedStatus() const { return m_placed; }

    // The whole file at once: a PendingFile given `bytes`, then committed.
    static void write(const std::filesystem::path &target, std::string_view bytes,
                      Placement placement = Placement::replaceExisting);

private:
    [[noreturn]] void fail(int error);
    [[noreturn]] void fail(std::string reason);
    [[noreturn]] void failKeepingCopy(int error);
    void keepAccessOf(const struct stat &existing);
    bool keepAttributesOf(const std::filesystem::path &existing);
    void replaceByRename(Placement placement, const struct stat &written);
    void writeOver(const struct stat &written);

    std::string m_fileName;
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    int m_folder = -1;
    int m_file = -1;
    long long m_written = 0;
    // Bytes may have arrived by path, so the size written here says nothing.
    bool m_writtenByPath = false;
    // A rename would lose some of what the old file had: the bytes are written over it.
    bool m_overwrite = false;
    struct stat m_placed {};
};
