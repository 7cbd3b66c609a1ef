// The lists the editor derives from its working positions: manager options, completion
// lists, the match panels and their row texts.
#include "app/entry/position_editor_model.h"

#include "core/support/text.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace {

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

const QString emDash = QStringLiteral(" — ");
const QString dot = QStringLiteral(" · ");

QString personOrVacant(const Position &position)
{
    return position.employee ? toQt(position.employee->name) : QStringLiteral("Vacant");
}

// Collation keys of many texts that repeat (titles, departments): each distinct text once.
class CollationKeys {
public:
    const std::string &key(const std::string &text)
    {
        auto found = m_keys.find(text);
        if (found == m_keys.end())
            found = m_keys.emplace(text, Text::localizedStandardKey(text)).first;
        return found->second;
    }

private:
    std::unordered_map<std::string, std::string> m_keys;
};

std::string fieldValue(const Position &position, PositionEditorModel::CompletionField field)
{
    switch (field) {
    case PositionEditorModel::CompletionField::payLevel:
        return position.title;
    case PositionEditorModel::CompletionField::jobTitle:
        return position.jobTitle();
    case PositionEditorModel::CompletionField::department:
        return position.department;
    case PositionEditorModel::CompletionField::location:
        return position.location;
    }
    return {};
}

QStringList completionList(const std::vector<Position> &positions, PositionEditorModel::CompletionField field,
                           CollationKeys &keys)
{
    std::unordered_set<std::string> seen;
    std::vector<std::string> values;
    for (const Position &position : positions) {
        std::string value = fieldValue(position, field);
        if (!value.empty() && seen.insert(value).second)
            values.push_back(std::move(value));
    }
    // Texts the collation finds equal ("Teacher", "teacher") follow in plain order so the
    // list is the same on every opening.
    std::sort(values.begin(), values.end(), [&](const std::string &a, const std::string &b) {
        const std::string &ka = keys.key(a);
        const std::string &kb = keys.key(b);
        return ka != kb ? ka < kb : a < b;
    });
    QStringList list;
    list.reserve(qsizetype(values.size()));
    for (const std::string &value : values)
        list.append(toQt(value));
    return list;
}

} // namespace

void PositionEditorModel::entryPositionsChanged()
{
    ++m_entryVersion;
    m_peopleIndex.reset();
    m_entryIndex.reset();
    m_entryLists.reset();
}

const PositionEditorModel::EntryLists &PositionEditorModel::entryLists() const
{
    if (m_entryLists)
        return *m_entryLists;
    ++m_listBuildCount;
    EntryLists &lists = m_entryLists.emplace();
    const std::vector<Position> &positions = m_entry.positions;

    // One strict order: collated job title, then where that exact title first appears (texts
    // the collation finds equal keep their order of appearance), then id in plain order.
    CollationKeys keys;
    std::unordered_map<std::string_view, size_t> firstOfTitle;
    for (size_t i = 0; i < positions.size(); ++i)
        firstOfTitle.emplace(positions[i].jobTitle(), i);
    struct Keyed {
        const std::string *collated;
        size_t firstOfTitle;
        size_t index;
    };
    std::vector<Keyed> order;
    order.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
        order.push_back({&keys.key(positions[i].jobTitle()), firstOfTitle.at(positions[i].jobTitle()), i});
    std::sort(order.begin(), order.end(), [&](const Keyed &a, const Keyed &b) {
        if (*a.collated != *b.collated)
            return *a.collated < *b.collated;
        if (a.firstOfTitle != b.firstOfTitle)
            return a.firstOfTitle < b.firstOfTitle;
        return Text::codePointLess(positions[a.index].id, positions[b.index].id);
    });
    lists.sortedManagers.reserve(order.size());
    for (const Keyed &k : order) {
        const Position &p = positions[k.index];
        lists.sortedManagers.push_back({toQt(p.id), toQt(p.jobTitle()) + emDash + personOrVacant(p),
                                        toQt(p.id) + dot + toQt(p.department) + dot + toQt(p.location)});
    }

    for (CompletionField field : {CompletionField::payLevel, CompletionField::jobTitle, CompletionField::department,
                                  CompletionField::location})
        lists.completions[size_t(field)] = completionList(positions, field, keys);
    return lists;
}

const Position *PositionEditorModel::entryPosition(const std::string &id) const
{
    if (!m_entryIndex) {
        const std::vector<Position> &positions = m_entry.positions;
        m_entryIndex.emplace().reserve(positions.size());
        for (size_t i = 0; i < positions.size(); ++i)
            m_entryIndex->emplace(positions[i].id, i);
    }
    const auto found = m_entryIndex->find(id);
    return found == m_entryIndex->end() ? nullptr : &m_entry.positions[found->second];
}

std::vector<DropdownOption> PositionEditorModel::managerOptions() const
{
    std::vector<DropdownOption> options;
    const std::vector<DropdownOption> &sortedManagers = entryLists().sortedManagers;
    options.reserve(sortedManagers.size() + 1);
    options.push_back({QString(), QStringLiteral("None — top-level position"), QString()});
    const QString self = toQt(m_position.id);
    for (const DropdownOption &option : sortedManagers) {
        if (option.id != self)
            options.push_back(option);
    }
    return options;
}

const QStringList &PositionEditorModel::completions(CompletionField field) const
{
    return entryLists().completions[size_t(field)];
}

std::vector<DropdownOption> PositionEditorModel::additionalManagerOptions() const
{
    const std::set<QString> dotted = [&] {
        std::set<QString> ids;
        for (const std::string &id : m_position.dottedManagerIDs)
            ids.insert(toQt(id));
        return ids;
    }();
    const std::optional<QString> manager =
        m_position.managerID ? std::optional<QString>(toQt(*m_position.managerID)) : std::nullopt;
    std::vector<DropdownOption> options = managerOptions();
    std::erase_if(options, [&](const DropdownOption &option) {
        return option.id.isEmpty() || option.id == manager || dotted.contains(option.id);
    });
    return options;
}

QString PositionEditorModel::additionalManagerLabel(const std::string &id) const
{
    const Position *manager = entryPosition(id);
    if (!manager)
        return toQt(id);
    return toQt(manager->jobTitle()) + emDash + personOrVacant(*manager);
}

const std::vector<PositionEntryMatch> &PositionEditorModel::peopleMatches() const
{
    PeopleKey key{m_employeeName, m_employeeNumber, m_position.id, m_vacant, m_entryVersion};
    if (m_peopleKey == key)
        return m_peopleMatches;
    m_peopleKey = std::move(key);
    m_peopleMatches.clear();
    if (m_vacant)
        return m_peopleMatches;
    if (!m_peopleIndex)
        m_peopleIndex.emplace(m_entry.positions);
    m_peopleMatches = PositionEntryMatching::people(m_entry.positions, *m_peopleIndex, m_employeeName,
                                                    m_employeeNumber, m_position.id);
    return m_peopleMatches;
}

const std::vector<PositionEntryMatch> &PositionEditorModel::vacancyMatches() const
{
    VacancyKey key{m_position, isCreating(), m_entryVersion};
    if (m_vacancyKey != key) {
        m_vacancyMatches = isCreating() ? PositionEntryMatching::vacancies(m_entry.positions, m_position)
                                        : std::vector<PositionEntryMatch>();
        m_vacancyKey = std::move(key);
    }
    return m_vacancyMatches;
}

const OrganizationSheet *PositionEditorModel::selectedSheet() const
{
    const auto found = std::find_if(m_sheets.begin(), m_sheets.end(),
                                    [&](const OrganizationSheet &sheet) { return sheet.id == m_selectedSheetID; });
    return found == m_sheets.end() ? nullptr : &*found;
}

static bool lists(const OrganizationSheet &sheet, const std::string &positionID)
{
    return std::find(sheet.positionIDs.begin(), sheet.positionIDs.end(), positionID) != sheet.positionIDs.end();
}

QString PositionEditorModel::chartNames(const std::string &positionID, const QString &none) const
{
    QStringList names;
    for (const OrganizationSheet &sheet : m_sheets) {
        if (lists(sheet, positionID))
            names.append(toQt(sheet.name));
    }
    return names.isEmpty() ? none : names.join(QStringLiteral(", "));
}

std::array<QString, 4> PositionEditorModel::matchSummary(const PositionEntryMatch &match) const
{
    const Position &p = match.position;
    const Position *manager = p.managerID ? entryPosition(*p.managerID) : nullptr;
    QString managerLabel = QStringLiteral("None");
    if (manager)
        managerLabel = toQt(manager->employee ? manager->employee->name : manager->jobTitle());
    return {
        personOrVacant(p) + emDash + toQt(p.jobTitle()),
        toQt(match.reason) + dot + toQt(p.department) + dot + toQt(p.location),
        QStringLiteral("Manager: ") + managerLabel + QStringLiteral(" · Charts: ")
            + chartNames(p.id, QStringLiteral("No sheet")),
        QStringLiteral("Position ") + toQt(p.id) + QStringLiteral(" · Employee ")
            + (p.employee ? toQt(p.employee->id) : QStringLiteral("Unfilled")),
    };
}

PositionMatchPanel PositionEditorModel::panel(const std::vector<PositionEntryMatch> &matches, bool people) const
{
    PositionMatchPanel result;
    const OrganizationSheet *sheet = selectedSheet();
    const bool offersInclude = people && m_onInclude && !m_selectedSheetID.empty();
    for (size_t i = 0; i < matches.size() && i < 3; ++i) {
        PositionMatchRow row{.positionID = matches[i].id(), .lines = matchSummary(matches[i])};
        if (offersInclude) {
            const bool onChart = sheet && lists(*sheet, row.positionID);
            row.includeTitle = onChart ? QStringLiteral("Already on This Chart") : QStringLiteral("Add to This Chart");
            row.includeEnabled = !onChart;
        }
        result.rows.push_back(std::move(row));
    }
    if (matches.size() >= 4) {
        result.countLine = people
            ? QStringLiteral("%1 matches. Type more of the name to narrow the list.").arg(matches.size())
            : QStringLiteral("%1 vacancies. Choose a manager, department or more specific title to rank the closest first.")
                  .arg(matches.size());
    }
    return result;
}

PositionMatchPanel PositionEditorModel::peoplePanel() const
{
    return panel(peopleMatches(), true);
}

PositionMatchPanel PositionEditorModel::vacancyPanel() const
{
    return panel(vacancyMatches(), false);
}

QString PositionEditorModel::vacancyButtonTitle() const
{
    return m_vacant ? QStringLiteral("Use Existing Vacancy") : QStringLiteral("Fill This Vacancy");
}
