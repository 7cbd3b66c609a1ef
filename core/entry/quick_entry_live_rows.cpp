#include "core/entry/quick_entry_live_rows.h"

#include "core/entry/quick_entry.h"
#include "core/support/text.h"

QuickEntryLiveRows::QuickEntryLiveRows(const std::vector<Position> &positions, const std::vector<QuickEntryRow> &rows)
    : m_positions(positions)
{
    for (const QuickEntryRow &row : rows) {
        if (row.originalPosition)
            m_rowOriginalIDs.insert(row.originalPosition->id);
    }
    m_positionIndexByID.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
        positionAdded(i);
    for (const QuickEntryRow &row : rows) {
        if (row.vacant)
            continue;
        addPerson({.row = &row}, row.name, row.originalPosition ? row.originalPosition->id : std::string(), row.key());
    }
}

void QuickEntryLiveRows::positionAdded(size_t index)
{
    const Position &p = m_positions[index];
    m_positionIndexByID.emplace(p.id, index);
    // A position with a grid row is represented by that row and its unsaved edits.
    if (!p.employee || m_rowOriginalIDs.contains(p.id))
        return;
    addPerson({.positionIndex = index}, p.employee->name, p.id, p.id);
}

void QuickEntryLiveRows::addPerson(Person person, const std::string &name, const std::string &originalID,
                                   const std::string &key)
{
    if (Text::isBlank(name))
        return;
    const size_t index = m_people.size();
    m_people.push_back(person);
    if (!originalID.empty())
        m_byOriginalID[originalID].push_back(index);
    m_byKey[key].push_back(index);
    m_byFoldedName[Text::caseFolded(name)].push_back(index);
}

const std::string &QuickEntryLiveRows::department(const Person &person) const
{
    return person.row ? person.row->department : m_positions[person.positionIndex].department;
}

std::vector<std::string_view> QuickEntryLiveRows::bracketedKeys(std::string_view text)
{
    std::vector<std::string_view> keys;
    if (!text.ends_with(']'))
        return keys;
    for (size_t open = text.find('['); open != std::string_view::npos; open = text.find('[', open + 1))
        keys.push_back(text.substr(open + 1, text.size() - open - 2));
    return keys;
}

const std::string *QuickEntryLiveRows::managerDepartment(std::string_view trimmedText) const
{
    if (trimmedText.empty())
        return nullptr;
    std::unordered_set<size_t> identity;
    auto collect = [&](const std::unordered_map<std::string, std::vector<size_t>> &map, std::string_view key) {
        auto found = map.find(std::string(key));
        if (found != map.end())
            identity.insert(found->second.begin(), found->second.end());
    };
    collect(m_byOriginalID, trimmedText);
    for (std::string_view key : bracketedKeys(trimmedText))
        collect(m_byKey, key);
    if (identity.size() == 1)
        return &department(m_people[*identity.begin()]);
    if (!identity.empty())
        return nullptr;

    auto byName = m_byFoldedName.find(Text::caseFolded(trimmedText));
    if (byName == m_byFoldedName.end() || byName->second.size() != 1)
        return nullptr;
    return &department(m_people[byName->second.front()]);
}

const Position *QuickEntryLiveRows::position(std::string_view id) const
{
    auto found = m_positionIndexByID.find(std::string(id));
    return found == m_positionIndexByID.end() ? nullptr : &m_positions[found->second];
}
