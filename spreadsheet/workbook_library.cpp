#include "spreadsheet/workbook_library.h"

#include <QFile>
#include <QLoggingCategory>

#include <cstring>
#include <mutex>

namespace {

QLoggingCategory::CategoryFilter previousFilter = nullptr;

// The engine's compiler warns about the minified library's hoisted variables, harmlessly and
// by the hundred; every other category keeps whatever filter was there before.
void quietCompilerWarnings(QLoggingCategory *category)
{
    if (std::strcmp(category->categoryName(), "qt.qml.compiler") == 0) {
        category->setEnabled(QtDebugMsg, false);
        category->setEnabled(QtInfoMsg, false);
        category->setEnabled(QtWarningMsg, false);
        return;
    }
    if (previousFilter)
        previousFilter(category);
}

} // namespace

std::optional<QString> WorkbookLibrary::script()
{
    static std::once_flag filterInstalled;
    std::call_once(filterInstalled, [] { previousFilter = QLoggingCategory::installFilter(quietCompilerWarnings); });

    QFile file(QStringLiteral(":/spreadsheet/xlsx.full.min.js"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}
