#pragma once

#include "core/model/organization.h"

#include <string>
#include <string_view>
#include <vector>

// The one order in which people appear in lists: occupied positions by the person's last
// name, then vacancies by the last word of their job title.
namespace EmployeeDirectory {

// The sort key of a person's name: the text before the first comma ("Lee, Ann" gives
// "Lee"), else the last word, skipping a trailing "Jr", "Sr", "II", "III" or "IV".
// Empty for a blank name.
std::string lastName(std::string_view name);

// The same positions in person order: occupied first; then last name, whole name (job title
// for a vacancy), both in the localized standard order; then id in plain order. Stable.
// Sort keys are computed once per position: n log n on a 20,000-position district.
std::vector<Position> sorted(std::vector<Position> positions);
// The same order for positions held elsewhere, without copying them.
std::vector<const Position *> sorted(std::vector<const Position *> positions);
// Whether `a` comes before `b` in that order: for placing a few positions among sorted ones.
bool before(const Position &a, const Position &b);

} // namespace EmployeeDirectory
