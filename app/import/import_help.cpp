#include "app/import/import_help.h"

#include "app/shell/dialogs.h"
#include "app/shell/file_saving.h"
#include "core/support/organization_error.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ImportHelp {

QString resourceDirectory()
{
    // bin/vantrel finds share/vantrel; build/app/vantrel and build/tests/* find build/share/vantrel.
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/vantrel"));
}

void openInstructions(const QString &directory, const std::function<bool(const QUrl &)> &open)
{
    const QString path = QDir(directory).filePath(guideFileName);
    const bool opened = QFileInfo(path).isFile()
        && (open ? open(QUrl::fromLocalFile(path)) : QDesktopServices::openUrl(QUrl::fromLocalFile(path)));
    if (!opened)
        throw OrganizationError::invalid("Could not open the bundled import instructions.");
}

void saveTemplate(Dialogs &dialogs, const QString &directory)
{
    QFile source(QDir(directory).filePath(templateFileName));
    if (!source.exists())
        throw OrganizationError::invalid("The import template is not available.");
    const std::optional<QString> destination = dialogs.fileToSave(QStringLiteral("Excel Workbook (*.xlsx)"), templateFileName);
    if (!destination)
        return;
    if (!source.open(QIODevice::ReadOnly))
        throw OrganizationError::invalid(source.errorString().toStdString());
    const QByteArray bytes = source.readAll();
    // A copy cut short by a failed read would be saved as if whole.
    if (source.error() != QFileDevice::NoError)
        throw OrganizationError::invalid(source.errorString().toStdString());
    FileSaving::write(*destination, bytes);
}

} // namespace ImportHelp
