#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <string>
#include <vector>

namespace Fixtures {

QByteArray zip(const std::map<std::string, std::string> &members);
std::string worksheet(const std::string &rows);
std::string sharedStrings(const std::vector<std::string> &items);

// Parts of a workbook whose sheets point at "worksheets/sheet<N>.xml".
std::map<std::string, std::string> workbookParts(const std::vector<std::string> &worksheets);
QByteArray workbook(const std::vector<std::string> &worksheets, const std::string &sharedStringsPart = {},
                    const std::string &stylesPart = {});

// Runs `build`, JavaScript returning a workbook of the library (global XLSX), and writes it as .xls.
QByteArray writtenByLibrary(const QString &build);

// Turns the cached "empty text" of every BIFF8 formula record into an unknown result type,
// which the library reads as a formula without a saved value.
QByteArray withoutFormulaResults(QByteArray xls);

// Writes `data` to `name` inside a fresh temporary folder that lives as long as the test run.
QString temporaryFile(const QString &name, const QByteArray &data);

} // namespace Fixtures
