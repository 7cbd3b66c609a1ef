#pragma once

#include "core/support/kept_copy.h"
#include "core/support/organization_error.h"
#include "core/support/save_lock.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
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
    // A failure after which the file's new contents are whole in `kept`, if given, which the
    // message then names. `left` is the file as the save left it, once it had begun writing
    // over it.
    FileWriteError(std::string fileName, const std::string &reason, std::optional<KeptCopy> kept,
                   std::optional<struct stat> left = std::nullopt);

    const std::string &fileName() const { return m_fileName; }
    // The reason alone, e.g. "the disk is full", and where the new contents are kept if so.
    const std::string &reason() const { return m_reason; }
    // The whole copy of the new contents that the failed save, or an earlier one of the same
    // file, left behind.
    const std::optional<KeptCopy> &keptCopy() const { return m_kept; }
    // The file as this save left it, partly written over: its own writing, not another
    // program's change.
    const std::optional<struct stat> &leftStatus() const { return m_left; }
    // Plain words for a system error number, starting in lower case.
    static std::string reasonFor(int error);

private:
    std::string m_fileName;
    std::string m_reason;
    std::optional<KeptCopy> m_kept;
    std::optional<struct stat> m_left;
};

// Hidden files ".vantrel-….part" that saves killed long ago left in a folder.
namespace Leftovers {

// A save's hidden file is held a moment after it is made: one younger than this may be a save's
// that is not held yet.
inline constexpr time_t staleAfterSeconds = 10 * 60;
// Removes those in `folder` older than that at `now` that no save holds, where `mayRemove`
// (asked once, only when there is such a file) allows: earlier versions left the whole text of
// a torn document in one.
void removeStale(int folder, time_t now, const std::function<bool()> &mayRemove);

} // namespace Leftovers

// The one way the program writes a file. The bytes go to a hidden temporary file in the
// target's folder; commit() flushes it to the disk, checks that every byte arrived, and only
// then puts it in place. A failure before that, or destruction before commit(), removes the
// temporary file, so the target keeps its old content byte for byte. A target that is a
// symbolic link is written where the link points. A target the user may not write is not
// replaced. A write past a file-size limit fails like a full disk rather than ending the
// program.
//
// From construction to commit() or discard() the target is held (SaveLock): another save of it
// waits, so a caller that checks the target first knows nobody else saves it in between.
//
// A replaced file keeps who may use it. Where the temporary file can carry everything the old
// one had (its owner and group, mode, access control list, other extended attributes, and a
// single name), it is renamed over the old file, atomically. Where it cannot (the saver is not
// the owner and not root, may not give the old group or copy an attribute, the file has other
// hard links, or its folder takes no new file), the checked bytes are written over the old file
// itself. The temporary file is then a copy that is the saver's alone from its creation; before
// the first byte of the old file is touched, it is flushed and given a name the user can find
// beside the file (or, where the folder takes none, in the saver's own folder), the old file's
// owner may read it, and the file itself is marked with where it is and whose; it is removed,
// and the mark, once the file is written and checked byte for byte. A save ended at any moment,
// killed or failed, leaves the old content, the new one, or a torn file with the whole copy
// under that name; a failure says where.
class PendingFile {
public:
    enum class Placement {
        replaceExisting,
        // Never replaces: commit() fails with "a file of that name already exists".
        keepExisting,
    };

    // Waits for the target, then creates the temporary file. Throws FileWriteError, also for a
    // target the user may not write or whose access list the new file cannot carry. Hidden
    // files killed saves left beside the target go only where `leftoversMayGo` allows: where
    // the target reads whole (see Leftovers).
    explicit PendingFile(const std::filesystem::path &target, const std::function<bool()> &leftoversMayGo = {});
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    // The file at the target as held, before anything is written: nothing when there is none.
    const std::optional<struct stat> &targetStatus() const { return m_lock.status(); }
    // A copy an earlier failed save of the same target left, which this one makes needless: it
    // is removed once the file is put in place or a newer whole copy stands beside it. A
    // failure meanwhile names it.
    void supersede(KeptCopy copy) { m_superseded = std::move(copy); }

    // Asks the disk for room for `total` bytes at once: a full disk says how much more the save
    // needs before anything is written. Throws FileWriteError and discards the file.
    void reserve(size_t total);
    // Writes `bytes` after what was written before. Throws FileWriteError and discards the file.
    void append(std::string_view bytes);
    // For a library that writes by path: the temporary file, already created. Its content is
    // then the caller's to check; commit() still flushes it before putting it in place.
    std::filesystem::path temporaryPath();
    // Puts the file in place and lets the target go. Throws FileWriteError and discards the
    // temporary file, unless the old file was already partly written over: then the copy
    // stays, under its visible name, which the error gives.
    void commit(Placement placement = Placement::replaceExisting);
    // Removes the temporary file now and lets the target go; nothing happens to the target.
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
    [[noreturn]] void fail(std::string reason, std::optional<struct stat> left = std::nullopt);
    [[noreturn]] void failWritingOver(int target, const std::string &reason, bool touched);
    int createTemporary(int folder, mode_t mode);
    void useOwnFolder();
    bool keepsEverythingOf(const struct stat &existing);
    void keepAccessOf(const struct stat &existing);
    bool keepAttributesOf(const std::filesystem::path &existing, bool accessToo);
    void makeCopyOwn();
    void showCopy(int target);
    int targetForWriting();
    void replaceByRename(Placement placement, const struct stat &written);
    void writeOver(const struct stat &written);
    int matchesCopy(int target, off_t size);
    void markTarget(int target, const std::string &name);
    void unmarkTarget(int target);

    std::string m_fileName;
    std::filesystem::path m_target;
    int m_folder = -1;
    // Where the temporary file is: the target's folder, or the saver's own.
    int m_copyFolder = -1;
    std::filesystem::path m_copyFolderPath;
    std::filesystem::path m_temporary; // its name there; empty once not ours to remove
    bool m_copyShown = false;
    int m_file = -1;
    SaveLock m_lock;
    long long m_written = 0;
    // Bytes may have arrived by path, so the size written here says nothing.
    bool m_writtenByPath = false;
    // A rename would lose some of what the old file had: the bytes are written over it.
    bool m_overwrite = false;
    // The temporary file waits in the saver's own folder: the target's takes no new file.
    bool m_inOwnFolder = false;
    // The temporary file was given to the old file's owner or opened as far as the old file.
    bool m_opened = false;
    std::optional<KeptCopy> m_superseded;
    // The superseded copy was removed: this one holds the only whole text of the two.
    bool m_supersededRemoved = false;
    // The target names the copy (KeptCopies::markAttribute); what it named before, if anything.
    bool m_marked = false;
    bool m_previousRead = false;
    std::optional<std::string> m_previousMark;
    struct stat m_placed {};
};
