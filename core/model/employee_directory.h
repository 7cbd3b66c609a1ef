#pragma once

#include "core/model/organization.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The one order in which people appear in lists: occupied positions by the person's last
// name, then vacancies by the last word of their job title.
namespace EmployeeDirectory {

// The sort key of a person's name: the text before the first comma ("Lee, Ann" gives
// "Lee"), else the last word, skipping a trailing "Jr", "Sr", "II", "III" or "IV".
// Empty for a blank name.
std::string lastName(std::string_view name);

// Collation keys kept from one sort to the next, per name or job title: a list sorted again
// after an edit collates only the texts it has not seen. Once more than `limit` texts were
// used since it last forgot, it forgets those not used since then: texts that stay in the
// lists keep their keys however many come and go. Not shared between threads.
class SortKeys {
public:
    struct Keys {
        std::string lastName; // collation key
        std::string whole;    // collation key
    };

    explicit SortKeys(std::size_t limit = 1 << 16)
        : m_limit(limit)
    {
    }
    // Made now or kept from before; valid until the next trim.
    const Keys &of(const std::string &text);
    // Forgets what went unused, as above. Call between sorts, never while keys are in use.
    void trim();
    std::size_t size() const { return m_recent.size() + m_older.size(); }
    // How many keys were made in all, kept ones not counted again.
    std::size_t made() const { return m_made; }

private:
    std::unordered_map<std::string, Keys> m_recent; // used since it last forgot
    std::unordered_map<std::string, Keys> m_older;  // used before that
    std::size_t m_limit;
    std::size_t m_made = 0;
};

// The same positions in person order: occupied first; then last name, whole name (job title
// for a vacancy), both in the localized standard order; then id in plain order. Stable.
// Sort keys are computed once per text (or taken from `keys`): n log n on a 20,000-position
// district.
std::vector<Position> sorted(std::vector<Position> positions, SortKeys *keys = nullptr);
// The same order for positions held elsewhere, without copying them.
std::vector<const Position *> sorted(std::vector<const Position *> positions, SortKeys *keys = nullptr);
// Whether `a` comes before `b` in that order: for placing a few positions among sorted ones.
bool before(const Position &a, const Position &b, SortKeys *keys = nullptr);

} // namespace EmployeeDirectory
