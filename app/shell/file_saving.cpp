#include "app/shell/file_saving.h"

#include <QFile>

#include <sys/stat.h>

namespace FileSaving {

FileStamp stampFrom(const struct stat &status)
{
    return FileStamp{.device = status.st_dev,
                     .inode = status.st_ino,
                     .size = status.st_size,
                     .modifiedNanoseconds = status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec,
                     .changedNanoseconds = status.st_ctim.tv_sec * 1'000'000'000LL + status.st_ctim.tv_nsec};
}

std::optional<FileStamp> stampOf(const QString &path)
{
    struct stat status {};
    if (::stat(localPath(path).c_str(), &status) != 0)
        return std::nullopt;
    return stampFrom(status);
}

std::optional<FileStamp> stampOf(int descriptor)
{
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        return std::nullopt;
    return stampFrom(status);
}

std::filesystem::path localPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

FileStamp write(const QString &path, std::string_view bytes)
{
    PendingFile file(localPath(path));
    file.append(bytes);
    file.commit();
    return stampFrom(file.placedStatus());
}

FileStamp write(const QString &path, const QByteArray &bytes)
{
    return write(path, std::string_view(bytes.constData(), size_t(bytes.size())));
}

} // namespace FileSaving
