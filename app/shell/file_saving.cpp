#include "app/shell/file_saving.h"

#include <QFile>

namespace FileSaving {

std::filesystem::path localPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

void write(const QString &path, std::string_view bytes)
{
    PendingFile::write(localPath(path), bytes);
}

void write(const QString &path, const QByteArray &bytes)
{
    write(path, std::string_view(bytes.constData(), size_t(bytes.size())));
}

} // namespace FileSaving
