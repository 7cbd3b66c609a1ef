#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// The whole copy of a file's new contents that a save writing over the file keeps under a name
// its user can find, "doc (new contents).json", until the file holds them: a save that does not
// finish leaves it, and says where. It is the saver's, readable by the file's owner too.
struct KeptCopy {
    std::filesystem::path path;
    // What tells it from a file another program put at its name later.
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const KeptCopy &) const = default;
    // Removes the copy, unless another file now has its name.
    void remove() const;
};

// A copy found for a file, and the user whose save left it.
struct FoundCopy {
    std::filesystem::path path;
    std::string holder;

    bool operator==(const FoundCopy &) const = default;
};

namespace KeptCopies {

// Names are numbered from 2 when taken, up to this.
inline constexpr int mostNumbers = 99;
// Attributes of our own: on a file while a save writes over it, whose copy holds its new
// contents and where; on a copy, the file it is the new contents of. Never carried to a new file.
inline constexpr const char *markAttribute = "user.vantrel.kept-copy";
inline constexpr const char *copyOfAttribute = "user.vantrel.copy-of";
inline constexpr const char *ownAttributePrefix = "user.vantrel.";

// The name of the `number`th copy for a file named `fileName`: "doc (new contents).json",
// "doc (new contents 2).json"; the stem is cut where the whole would pass the file system's
// limit on a name.
std::string name(const std::filesystem::path &fileName, int number);

// The copies of `target`'s new contents that saves left, the one its mark names first, then
// those beside it or in the user's own folder marked as its copies, the newest first. Where
// the disk keeps no marks, those beside it by name. Cost: a few look-ups per possible name.
std::vector<FoundCopy> of(const std::filesystem::path &target);
// The copy the mark on `target` names, if it bears one that still leads to a file (or to one
// the user may not look at). Whole or not, `target` may be older than it.
std::optional<FoundCopy> marked(const std::filesystem::path &target);

// The value of the mark for `copy`, open, kept at `path` by the user the process runs as. Where
// the file's mark `before` leads to a copy, the mark leads there too while `copy` has no name.
std::string markFor(int copy, const std::filesystem::path &path, const std::optional<std::string> &before);
// The name of the user `user`, or the number where it has none.
std::string holderName(uid_t user);

// Hidden files of saves that did not finish, ".vantrel-….part".
bool isHiddenTemporary(const std::string &fileName);
// Those beside `target`, newest first.
std::vector<FoundCopy> hiddenBeside(const std::filesystem::path &target);

// The saver's own folder for copies where a file's folder takes none: $XDG_STATE_HOME/vantrel,
// else ~/.local/state/vantrel, made for the user alone when missing. Its descriptor, or -1 with
// errno when there is none, or it is not the user's alone. `path` is where it is, or would be:
// empty without a home folder.
int openPrivateFolder(std::filesystem::path &path);
// Marks a copy as `target`'s, which a copy of the same name kept for another file of that name
// is not. Where the disk keeps no such marks, one in the saver's own folder goes unfound.
void markAsCopyOf(int copy, const std::filesystem::path &target);
// Lets the user `owner` read the copy too, through one entry of its access list: the owner of
// the file it is the new contents of, who may then open it. Where the disk keeps no lists,
// the copy stays the saver's alone.
void letOwnerRead(int copy, uid_t owner);

} // namespace KeptCopies
