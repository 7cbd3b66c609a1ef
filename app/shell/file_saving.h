#pragma once

#include "core/support/pending_file.h"

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <string_view>

// PendingFile for paths and bytes as Qt holds them.
namespace FileSaving {

// The file system's name for a path shown to the user.
std::filesystem::path localPath(const QString &path);

// Writes the whole file through a PendingFile: the old file is replaced only once every byte
// is on the disk. Throws FileWriteError, whose message names the file and says why.
void write(const QString &path, std::string_view bytes);
void write(const QString &path, const QByteArray &bytes);

} // namespace FileSaving
