#include "spreadsheet/organization_workbook.h"

#include "core/support/organization_error.h"
#include "core/support/pending_file.h"
#include "core/support/text.h"
#include "spreadsheet/zip_parts.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <unordered_set>

namespace {

const char *const instructionsName = "Instructions";
constexpr size_t sheetNameLimit = 31; // UTF-16 units

const std::vector<std::string> instructionRows = {
    "Vantrel Department Workbook",
    "Complete the department worksheets. Keep existing Position ID and Employee Number values unchanged.",
    "Use Primary Manager ID to reference a Position ID, including a manager on another sheet.",
    "For new people leave IDs blank; import using Add people to generate IDs. Existing IDs cannot be added twice.",
    "Dotted Manager IDs are separated by colons. Vacant and Assistant accept Yes or No. FTE defaults to 1.",
    "Pay Level identifies the position. Job Title is the employee-facing label, including for vacancies. Both are "
    "required; legacy Title columns populate both.",
    "Import one worksheet at a time using Import Excel / CSV. Review all validation messages before applying.",
    "To return edited department sheets, choose Update Matching IDs / Add New. Missing rows are kept, never deleted. "
    "Position ID identifies the position to update.",
    "Do not use the Instructions tab as an import worksheet.",
};

const std::vector<std::string> headerRow = {
    "Position ID", "Employee Number", "Employee Name", "Pay Level",         "Job Title",
    "Department",  "Primary Manager ID", "Dotted Manager IDs", "Location",  "FTE",
    "Vacant",      "Assistant",       "Sibling Order",     "School Allocations",
};

// The shortest decimal that reads back as the same number; a whole number keeps ".0".
std::string fteText(double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".eE") == std::string::npos && text.find_first_of("0123456789") != std::string::npos)
        text += ".0";
    return text;
}

template <typename Items, typename Text>
std::string joined(const Items &items, std::string_view separator, Text text)
{
    std::string result;
    bool first = true;
    for (const auto &item : items) {
        if (!first)
            result += separator;
        first = false;
        result += text(item);
    }
    return result;
}

std::vector<std::string> positionRow(const Position &p)
{
    return {
        p.id,
        p.employee ? p.employee->id : "",
        p.employee ? p.employee->name : "",
        p.title,
        p.jobTitle(),
        p.department,
        p.managerID.value_or(""),
        joined(p.dottedManagerIDs, ":", [](const std::string &id) { return id; }),
        p.location,
        fteText(p.fte),
        p.isVacant() ? "Yes" : "No",
        p.isAssistantPosition() ? "Yes" : "No",
        p.siblingOrder ? std::to_string(*p.siblingOrder) : "",
        joined(p.schoolAssignments, "; ", [](const SchoolAssignment &s) { return s.school + "=" + fteText(s.fte); }),
    };
}

ImportSheet tab(std::string name, const std::vector<const Position *> &positions)
{
    ImportSheet sheet{.name = std::move(name), .rows = {headerRow}, .sourceIssues = std::vector<ImportCellIssue>{}};
    sheet.rows.reserve(positions.size() + 1);
    for (const Position *position : positions)
        sheet.rows.push_back(positionRow(*position));
    return sheet;
}

// The longest prefix of `text` within `limit` UTF-16 units that ends between code points.
std::string prefixWithin(const std::string &text, size_t limit)
{
    const std::u32string codePoints = Text::toUtf32(text);
    std::u32string kept;
    size_t units = 0;
    for (char32_t c : codePoints) {
        units += c >= 0x10000 ? 2 : 1;
        if (units > limit)
            break;
        kept.push_back(c);
    }
    return Text::toUtf8(kept);
}

std::string baseName(const std::string &name)
{
    std::string cleaned = name;
    for (char &c : cleaned) {
        if (c == '\\' || c == '/' || c == '?' || c == '*' || c == '[' || c == ']' || c == ':')
            c = '-';
    }
    std::string base = Text::trimmed(prefixWithin(cleaned, sheetNameLimit));
    // Excel refuses a sheet name that starts or ends with an apostrophe.
    if (!base.empty() && base.front() == '\'')
        base.front() = '-';
    if (!base.empty() && base.back() == '\'')
        base.back() = '-';
    return base.empty() ? "Sheet" : base;
}

[[noreturn]] void failWriting()
{
    throw OrganizationError::invalid("Could not create the Excel workbook.");
}

void check(lxw_error result)
{
    if (result != LXW_NO_ERROR)
        failWriting();
}

void writeTab(lxw_workbook *book, const ImportSheet &tab, const std::string &name)
{
    lxw_worksheet *sheet = workbook_add_worksheet(book, name.c_str());
    if (!sheet)
        failWriting();
    size_t width = 0;
    for (size_t r = 0; r < tab.rows.size(); ++r) {
        const std::vector<std::string> &row = tab.rows[r];
        width = std::max(width, row.size());
        for (size_t c = 0; c < row.size(); ++c) {
            // An empty text is no cell at all, as the import reads it back.
            if (!row[c].empty())
                check(worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), row[c].c_str(), nullptr));
        }
    }
    const bool instructions = tab.name == instructionsName;
    const size_t columns = tab.rows.empty() ? 0 : tab.rows.front().size();
    for (size_t c = 0; c < columns; ++c) {
        const double characters = instructions ? 110 : (c == 2 || c == 3) ? 32 : 23;
        check(worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), characters, nullptr));
    }
    if (!instructions && !tab.rows.empty() && width > 0)
        check(worksheet_autofilter(sheet, 0, 0, lxw_row_t(tab.rows.size() - 1), lxw_col_t(width - 1)));
}

} // namespace

std::vector<ImportSheet> OrganizationWorkbook::tabs(const OrganizationArchive &archive,
                                                    const std::optional<std::string> &sheetID)
{
    std::vector<ImportSheet> result;
    ImportSheet instructions{.name = instructionsName, .sourceIssues = std::vector<ImportCellIssue>{}};
    for (const std::string &line : instructionRows)
        instructions.rows.push_back({line});
    result.push_back(std::move(instructions));

    const std::vector<Position> &positions = archive.organization.positions;
    const std::vector<OrganizationSheet> noCharts;
    const std::vector<OrganizationSheet> &charts = archive.sheets ? *archive.sheets : noCharts;
    std::unordered_set<std::string_view> charted;
    for (const OrganizationSheet &chart : charts) {
        if (sheetID && chart.id != *sheetID)
            continue;
        const std::unordered_set<std::string_view> listed(chart.positionIDs.begin(), chart.positionIDs.end());
        std::vector<const Position *> onChart;
        for (const Position &position : positions) {
            if (listed.contains(position.id))
                onChart.push_back(&position);
        }
        result.push_back(tab(chart.name, onChart));
    }
    if (sheetID)
        return result;

    for (const OrganizationSheet &chart : charts)
        charted.insert(chart.positionIDs.begin(), chart.positionIDs.end());
    std::vector<const Position *> unassigned;
    for (const Position &position : positions) {
        if (!charted.contains(position.id))
            unassigned.push_back(&position);
    }
    if (charts.empty() || !unassigned.empty())
        result.push_back(tab("Unassigned", unassigned));
    return result;
}

std::vector<std::string> OrganizationWorkbook::tabNames(const std::vector<ImportSheet> &tabs)
{
    std::vector<std::string> names;
    std::unordered_set<std::string> used;
    for (const ImportSheet &tab : tabs) {
        const std::string base = baseName(tab.name);
        std::string name = base;
        for (int suffix = 2; used.contains(Text::lowercased(name)); ++suffix) {
            const std::string ending = " (" + std::to_string(suffix) + ")";
            name = prefixWithin(base, sheetNameLimit - ending.size()) + ending;
        }
        used.insert(Text::lowercased(name));
        names.push_back(std::move(name));
    }
    return names;
}

namespace {

const std::string incompleteReason = "the workbook could not be written whole; the disk may be full";

// Whether `xml` ends with the end of the element it starts with: a part cut short does not.
bool isWholeXml(std::string_view xml)
{
    size_t at = 0;
    // Past the declaration and any comment before the root element.
    while ((at = xml.find('<', at)) != std::string_view::npos && at + 1 < xml.size()
           && (xml[at + 1] == '?' || xml[at + 1] == '!'))
        ++at;
    if (at == std::string_view::npos)
        return false;
    const size_t nameEnd = xml.find_first_of(" \t\r\n/>", at + 1);
    if (nameEnd == std::string_view::npos)
        return false;
    const std::string_view root = xml.substr(at + 1, nameEnd - at - 1);
    while (!xml.empty() && std::isspace(static_cast<unsigned char>(xml.back())))
        xml.remove_suffix(1);
    const std::string closing = "</" + std::string(root) + ">";
    return xml.ends_with(closing) || (xml.ends_with("/>") && xml.find('<', at + 1) == std::string_view::npos);
}

bool isWholeWorkbook(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const ZipParts parts(file.readAll());
    const std::vector<std::string> names = parts.names();
    return !names.empty() && std::all_of(names.begin(), names.end(), [&](const std::string &name) {
        if (!name.ends_with(".xml") && !name.ends_with(".rels"))
            return true;
        const std::optional<std::string> part = parts.part(name);
        return part && isWholeXml(*part);
    });
}

// The workbook written by the library at `path`. Throws OrganizationError "Could not create the
// Excel workbook." when the content cannot be stored as given, and FileWriteError (for
// `fileName`) when the file itself cannot be written.
void writeBook(const OrganizationArchive &archive, const std::optional<std::string> &sheetID, const std::string &path,
               const std::string &fileName)
{
    const std::vector<ImportSheet> workbookTabs = OrganizationWorkbook::tabs(archive, sheetID);
    const std::vector<std::string> names = OrganizationWorkbook::tabNames(workbookTabs);

    // The library's scratch files stay out of the user's folder.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        failWriting();
    QByteArray scratchFolder = scratch.path().toUtf8();
    lxw_workbook_options options{.constant_memory = LXW_FALSE, .tmpdir = scratchFolder.data(), .use_zip64 = LXW_FALSE};
    lxw_workbook *book = workbook_new_opt(path.c_str(), &options);
    if (!book)
        failWriting();
    try {
        for (size_t i = 0; i < workbookTabs.size(); ++i)
            writeTab(book, workbookTabs[i], names[i]);
    } catch (...) {
        workbook_close(book); // frees the workbook; the caller drops the half-written file
        throw;
    }
    // Every cell was accepted above: what fails now is the disk.
    errno = 0;
    if (workbook_close(book) != LXW_NO_ERROR)
        throw FileWriteError(fileName, errno != 0 ? errno : EIO);
}

} // namespace

QByteArray OrganizationWorkbook::write(const OrganizationArchive &archive, const std::optional<std::string> &sheetID)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        failWriting();
    const QString path = folder.filePath(QStringLiteral("workbook.xlsx"));
    try {
        writeBook(archive, sheetID, QFile::encodeName(path).toStdString(), "workbook.xlsx");
    } catch (const FileWriteError &) {
        failWriting(); // the scratch file's name would mean nothing to the reader
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failWriting();
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        failWriting();
    return bytes;
}

void OrganizationWorkbook::save(const OrganizationArchive &archive, const std::optional<std::string> &sheetID,
                                const std::filesystem::path &target)
{
    PendingFile file(target);
    const std::string path = file.temporaryPath().string();
    writeBook(archive, sheetID, path, file.fileName());
    // The library does not notice every failed write of its scratch files, nor says why one
    // failed: only a workbook whose every part is whole is put in place.
    if (!isWholeWorkbook(QString::fromStdString(path)))
        throw FileWriteError(file.fileName(), incompleteReason);
    file.commit();
}
