#include "core/model/employee_directory.h"

#include "core/support/text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <numeric>

namespace EmployeeDirectory {

namespace {

bool isGenerationalSuffix(std::string_view word)
{
    const std::u32string letters = Text::toUtf32(Text::lowercased(word));
    auto isPunctuation = [](char32_t c) { return u_ispunct(static_cast<UChar32>(c)) != 0; };
    size_t begin = 0;
    size_t end = letters.size();
    while (begin < end && isPunctuation(letters[begin]))
        ++begin;
    while (end > begin && isPunctuation(letters[end - 1]))
        --end;
    const std::string core = Text::toUtf8(std::u32string_view(letters).substr(begin, end - begin));
    static constexpr std::array<std::string_view, 5> suffixes{"jr", "sr", "ii", "iii", "iv"};
    return std::find(suffixes.begin(), suffixes.end(), core) != suffixes.end();
}

struct SortKey {
    bool vacant = false;
    std::string lastName; // collation key
    std::string whole;    // collation key
};

// Person order on keys made by sortKey.
bool keyedBefore(const SortKey &ka, const Position &a, const SortKey &kb, const Position &b)
{
    if (ka.vacant != kb.vacant)
        return kb.vacant;
    if (ka.lastName != kb.lastName)
        return ka.lastName < kb.lastName;
    if (ka.whole != kb.whole)
        return ka.whole < kb.whole;
    return Text::codePointLess(a.id, b.id);
}

} // namespace

std::string lastName(std::string_view name)
{
    if (const size_t comma = name.find(','); comma != std::string_view::npos)
        return Text::trimmed(name.substr(0, comma));
    std::vector<std::string> parts = Text::words(name);
    while (parts.size() >= 2 && isGenerationalSuffix(parts.back()))
        parts.pop_back();
    return parts.empty() ? std::string() : parts.back();
}

namespace {

SortKey sortKey(const Position &p)
{
    const std::string &text = p.employee ? p.employee->name : p.jobTitle();
    return SortKey{!p.employee.has_value(), Text::localizedStandardKey(lastName(text)), Text::localizedStandardKey(text)};
}

// The person order of `positions` as indices. Stable.
std::vector<size_t> personOrder(const std::vector<const Position *> &positions)
{
    // Collation keys compare bytewise exactly as the collator compares the texts, so the
    // costly collation runs once per position instead of once per comparison.
    std::vector<SortKey> keys;
    keys.reserve(positions.size());
    for (const Position *p : positions)
        keys.push_back(sortKey(*p));

    std::vector<size_t> order(positions.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return keyedBefore(keys[a], *positions[a], keys[b], *positions[b]);
    });
    return order;
}

} // namespace

bool before(const Position &a, const Position &b)
{
    return keyedBefore(sortKey(a), a, sortKey(b), b);
}

std::vector<Position> sorted(std::vector<Position> positions)
{
    if (positions.size() < 2)
        return positions;
    std::vector<const Position *> pointers;
    pointers.reserve(positions.size());
    for (const Position &p : positions)
        pointers.push_back(&p);
    std::vector<Position> result;
    result.reserve(positions.size());
    for (size_t index : personOrder(pointers))
        result.push_back(std::move(positions[index]));
    return result;
}

std::vector<const Position *> sorted(std::vector<const Position *> positions)
{
    if (positions.size() < 2)
        return positions;
    std::vector<const Position *> result;
    result.reserve(positions.size());
    for (size_t index : personOrder(positions))
        result.push_back(positions[index]);
    return result;
}

} // namespace EmployeeDirectory
