#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <string>
#include <vector>

// Workbooks made by the tests themselves: zip containers of hand-written parts (to reach
// every rule and limit of the .xlsx reader) and .xls files written by the workbook library.
namespace Fixtures {

inline const std::string relationshipsNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// A zip container holding exactly these members.
QByteArray zip(const std::map<std::string, std::string> &members);

// A worksheet part whose sheetData holds `rows` (row and cell elements as written).
std::string worksheet(const std::string &rows);
// A shared-strings part with these "si" items (each written as it stands).
std::string sharedStrings(const std::vector<std::string> &items);
// A styles part defining `numberFormats` (id, code) and one cell format per id in `cellFormats`.
std::string styles(const std::map<int, std::string> &numberFormats, const std::vector<int> &cellFormats);

// The parts of a workbook whose sheets point at "worksheets/sheet<N>.xml"; callers add or
// replace parts before zipping.
std::map<std::string, std::string> workbookParts(const std::vector<std::string> &worksheets);
// The same, zipped, with optional shared strings and styles.
QByteArray workbook(const std::vector<std::string> &worksheets, const std::string &sharedStringsPart = {},
                    const std::string &stylesPart = {});

// Runs `build`, JavaScript that must evaluate to a workbook object of the workbook library
// (global XLSX), and writes it as `bookType` ("xls" for BIFF8 in a compound file, "biff2"
// for a bare stream).
QByteArray writtenByLibrary(const QString &build, const QString &bookType = QStringLiteral("xls"));

// Turns the cached "empty text" of every formula record in a BIFF8 workbook into an unknown
// result type, which the library reads as a formula without a saved value.
QByteArray withoutFormulaResults(QByteArray xls);

// Turns every worksheet whose used range is just A1 into an empty one, as Excel writes it
// (a dimensions record of zeros), which the library reads as a worksheet without a range.
QByteArray withEmptyRanges(QByteArray xls);

// Writes `data` to `name` inside a fresh temporary folder that lives as long as the test run.
QString temporaryFile(const QString &name, const QByteArray &data);

} // namespace Fixtures
