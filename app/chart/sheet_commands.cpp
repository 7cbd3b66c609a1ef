#include "app/chart/sheet_commands.h"

#include "core/support/text.h"

#include <string_view>
#include <unordered_set>

QString SheetCommands::newSheetTitle()
{
    return QStringLiteral("New Organization Sheet");
}

QString SheetCommands::newSheetMessage()
{
    return QStringLiteral("Use a department name to include its existing unassigned people automatically. "
                          "Then choose Quick Entry to add people.");
}

QString SheetCommands::renameTitle()
{
    return QStringLiteral("Rename Chart");
}

QString SheetCommands::renameMessage()
{
    return QStringLiteral("Renaming keeps this chart\u2019s positions, shared links, and paper settings.");
}

OrganizationSheet SheetCommands::newSheet(const OrganizationArchive &archive, const std::string &name)
{
    std::string trimmed = Text::trimmed(name);
    if (trimmed.empty())
        throw OrganizationError::invalid("Enter a sheet name.");
    std::unordered_set<std::string_view> assigned;
    if (archive.sheets) {
        for (const OrganizationSheet &sheet : *archive.sheets) {
            if (Text::caseInsensitiveEquals(sheet.name, trimmed))
                throw OrganizationError::invalid("A sheet with that name already exists.");
            assigned.insert(sheet.positionIDs.begin(), sheet.positionIDs.end());
        }
    }
    std::vector<std::string> members;
    // Departments repeat: compare each distinct one once.
    std::unordered_set<std::string_view> matching, other;
    for (const Position &position : archive.organization.positions) {
        if (assigned.contains(position.id))
            continue;
        const std::string_view department = position.department;
        if (other.contains(department))
            continue;
        if (!matching.contains(department)) {
            if (!Text::caseInsensitiveEquals(department, trimmed)) {
                other.insert(department);
                continue;
            }
            matching.insert(department);
        }
        members.push_back(position.id);
    }
    return OrganizationSheet::make(std::move(trimmed), std::move(members));
}

QString SheetCommands::safeFileName(const QString &name)
{
    QString safe = name;
    safe.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char('\\'), QLatin1Char('-'));
    for (qsizetype i = 0; i < safe.size() && safe[i] == QLatin1Char('.'); ++i)
        safe[i] = QLatin1Char('_');
    return safe;
}
