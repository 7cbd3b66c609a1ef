#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

class Dialogs;

// The import window's "Help & Template" menu: the instructions page and a copy of the
// template workbook, both installed under share/vantrel beside the program.
namespace ImportHelp {

inline const QString guideFileName = QStringLiteral("ImportGuide.html");
inline const QString templateFileName = QStringLiteral("Vantrel Import Workbook.xlsx");

// share/vantrel beside the program's folder: the install prefix, or the build tree.
QString resourceDirectory();

// Opens the guide with the user's default application. Throws OrganizationError "Could not
// open the bundled import instructions." when the page is missing or cannot be opened.
void openInstructions(const QString &directory = resourceDirectory(),
                      const std::function<bool(const QUrl &)> &open = {});

// Asks where to save the template and copies it there atomically; a cancel does nothing.
// Throws OrganizationError "The import template is not available." when it is missing, or
// the file system's own message when reading or writing fails.
void saveTemplate(Dialogs &dialogs, const QString &directory = resourceDirectory());

} // namespace ImportHelp
