#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// The whole copy of a file's new contents that a save writing over the file keeps under a name
// its user can find, "doc (new contents).json", until the file holds them: a save that does not
// finish leaves it, and says where. It is the saver's alone.
struct KeptCopy {
    std::filesystem::path path;
    // What tells it from a file another program put at its name later.
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const KeptCopy &) const = default;
    // Removes the copy, unless another file now has its name.
    void remove() const;
};

namespace KeptCopies {

// Names are numbered from 2 when taken, up to this.
inline constexpr int mostNumbers = 99;

// The name of the `number`th copy for a file named `fileName`: "doc (new contents).json",
// "doc (new contents 2).json"; the stem is cut where the whole would pass the file system's
// limit on a name.
std::string name(const std::filesystem::path &fileName, int number);

// The copies standing beside `target`, or kept for it in the user's own folder, the newest
// first. Cost: two look-ups per possible name.
std::vector<std::filesystem::path> of(const std::filesystem::path &target);

// The saver's own folder for copies where a file's folder takes none: $XDG_STATE_HOME/vantrel,
// else ~/.local/state/vantrel, made for the user alone when missing. Its descriptor and `path`,
// or -1 with errno when there is none, or it is not the user's alone.
int openPrivateFolder(std::filesystem::path &path);
// Marks a copy in the saver's own folder as `target`'s, which a copy of the same name kept
// for another file of that name is not. Where the disk keeps no such marks, it goes unfound.
void markAsCopyOf(int copy, const std::filesystem::path &target);

} // namespace KeptCopies
