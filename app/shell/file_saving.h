#pragma once

#include "core/support/pending_file.h"

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <optional>
#include <string_view>

// What tells a file from the one that stood at its path before: another program that writes
// the file or puts another in its place changes its stamp. The modification time alone is not
// enough: a program may set it back (as a copy that keeps times does), but not the change time.
struct FileStamp {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modifiedNanoseconds = 0;
    long long changedNanoseconds = 0;

    bool operator==(const FileStamp &) const = default;
};

// PendingFile for paths and bytes as Qt holds them.
namespace FileSaving {

// The stamp of the file at `path`, or of an open file; nothing when there is none.
std::optional<FileStamp> stampOf(const QString &path);
std::optional<FileStamp> stampOf(int descriptor);
FileStamp stampFrom(const struct stat &status);

// The file system's name for a path shown to the user.
std::filesystem::path localPath(const QString &path);

// Writes the whole file through a PendingFile: the old file is replaced only once every byte
// is on the disk. Returns the stamp of the file written, taken from the file itself: one that
// another program puts at the path right after is not taken for ours. Throws FileWriteError,
// whose message names the file and says why.
FileStamp write(const QString &path, std::string_view bytes);
FileStamp write(const QString &path, const QByteArray &bytes);

} // namespace FileSaving
