#pragma once

#include "core/model/organization.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct QuickEntryRow;

// An index over QuickEntryRow::liveRows(positions, rows) restricted to people (not vacant,
// with a name), without copying the positions into rows. Both lists are referenced, not
// copied, and must outlive the index; positions may be appended through positionAdded().
class QuickEntryLiveRows {
public:
    QuickEntryLiveRows(const std::vector<Position> &positions, const std::vector<QuickEntryRow> &rows);

    // positions[index] was appended after the index was built.
    void positionAdded(size_t index);

    // The department of the one live person the manager text names, or nullptr when it
    // names nobody or several people. Identity (a bare position id, or a text ending in
    // "[<key>]") is tried before the name, which compares ignoring case.
    const std::string *managerDepartment(std::string_view trimmedText) const;

    // The first position with this id, or nullptr.
    const Position *position(std::string_view id) const;

    // Every k for which the text ends with "[" + k + "]", longest first.
    static std::vector<std::string_view> bracketedKeys(std::string_view text);

private:
    struct Person {
        const QuickEntryRow *row = nullptr; // null: a position without a grid row
        size_t positionIndex = 0;
    };

    void addPerson(Person person, const std::string &name, const std::string &originalID, const std::string &key);
    const std::string &department(const Person &person) const;

    const std::vector<Position> &m_positions;
    std::unordered_set<std::string> m_rowOriginalIDs;
    std::unordered_map<std::string, size_t> m_positionIndexByID;
    std::vector<Person> m_people;
    std::unordered_map<std::string, std::vector<size_t>> m_byOriginalID;
    std::unordered_map<std::string, std::vector<size_t>> m_byKey;
    std::unordered_map<std::string, std::vector<size_t>> m_byFoldedName;
};
