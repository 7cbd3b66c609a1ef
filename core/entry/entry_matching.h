#pragma once

#include "core/model/organization.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One existing person or vacancy offered while a new entry is typed.
struct PositionEntryMatch {
    Position position; // the candidate, copied whole
    std::string reason; // shown to the user unchanged
    bool exactName = false; // always false for vacancies
    int score = 0; // higher is a stronger match

    const std::string &id() const { return position.id; }

    bool operator==(const PositionEntryMatch &) const = default;
};

// Suggestions for the position editor: people who may already exist, vacancies the entry
// could fill, and the blank entry that follows a save. Pure functions; nothing fails.
// Names and titles are compared as words folded for case and diacritics, so "José Núñez"
// equals "Jose Nunez" and "Smith, John" equals "John Smith".
namespace PositionEntryMatching {

// The folded name words of every occupied position, made once for the many calls of
// people() that typing a name makes over the same positions. Linear to build.
struct PeopleIndex {
    struct Person {
        size_t position; // index into the positions the index was made from
        std::vector<std::string> words;
        std::string joined;
        std::string number; // trimmed employee number
    };
    std::vector<Person> people;

    explicit PeopleIndex(const std::vector<Position> &positions);
};

// Occupied positions whose employee number equals `employeeNumber` (trimmed, exact) or
// whose name is like `name`, strongest first. `excluding` is the position being edited.
// One pass over the positions plus a sort of the matches.
std::vector<PositionEntryMatch> people(const std::vector<Position> &positions, std::string_view name,
                                       std::string_view employeeNumber,
                                       const std::optional<std::string> &excluding = std::nullopt);
// The same over an index made from `positions`: no name is folded again.
std::vector<PositionEntryMatch> people(const std::vector<Position> &positions, const PeopleIndex &index,
                                       std::string_view name, std::string_view employeeNumber,
                                       const std::optional<std::string> &excluding = std::nullopt);

// Vacant positions whose job title or pay level is like those of `matching`, strongest
// first; the same manager, department and location add weight. One pass plus a sort.
std::vector<PositionEntryMatch> vacancies(const std::vector<Position> &positions, const Position &matching);

// The blank vacant entry that follows a save of `after`: a fresh "P-" + UUID id that no
// position in `positions` has, with the saved pay level, job title, department, manager,
// location, FTE and assistant flag.
Position nextPosition(const Position &after, const std::vector<Position> &positions);

} // namespace PositionEntryMatching
