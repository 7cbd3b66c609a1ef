#include "spreadsheet/workbook_library.h"

#include <QFile>

std::optional<QString> WorkbookLibrary::script()
{
    QFile file(QStringLiteral(":/spreadsheet/xlsx.full.min.js"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}
