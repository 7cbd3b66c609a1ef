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

// The text a position sorts by.
const std::string &sortText(const Position &p)
{
    return p.employee ? p.employee->name : p.jobTitle();
}

// Person order on keys made by SortKeys.
bool keyedBefore(const SortKeys::Keys &ka, const Position &a, const SortKeys::Keys &kb, const Position &b)
{
    const bool vacantA = !a.employee.has_value();
    const bool vacantB = !b.employee.has_value();
    if (vacantA != vacantB)
        return vacantB;
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

const SortKeys::Keys &SortKeys::of(const std::string &text)
{
    if (const auto found = m_recent.find(text); found != m_recent.end())
        return found->second;
    // Moved over as a node: the keys stay where they are, so references stay valid.
    if (auto node = m_older.extract(text))
        return m_recent.insert(std::move(node)).position->second;
    ++m_made;
    Keys keys{Text::localizedStandardKey(lastName(text)), Text::localizedStandardKey(text)};
    return m_recent.emplace(text, std::move(keys)).first->second;
}

void SortKeys::trim()
{
    if (m_recent.size() <= m_limit)
        return;
    m_older = std::move(m_recent);
    m_recent.clear();
}

namespace {

const SortKeys::Keys &keysOf(SortKeys &keys, const Position &p)
{
    return keys.of(sortText(p));
}

// The person order of `positions` as indices. Stable.
std::vector<size_t> personOrder(const std::vector<const Position *> &positions, SortKeys *kept)
{
    // Collation keys compare bytewise exactly as the collator compares the texts, so the
    // costly collation runs once per text instead of once per comparison.
    SortKeys local;
    SortKeys &keys = kept ? *kept : local;
    keys.trim();
    std::vector<const SortKeys::Keys *> keyOf;
    keyOf.reserve(positions.size());
    for (const Position *p : positions)
        keyOf.push_back(&keysOf(keys, *p));

    std::vector<size_t> order(positions.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return keyedBefore(*keyOf[a], *positions[a], *keyOf[b], *positions[b]);
    });
    return order;
}

} // namespace

bool before(const Position &a, const Position &b, SortKeys *kept)
{
    SortKeys local;
    SortKeys &keys = kept ? *kept : local;
    keys.trim();
    const SortKeys::Keys &ka = keysOf(keys, a);
    return keyedBefore(ka, a, keysOf(keys, b), b);
}

std::vector<Position> sorted(std::vector<Position> positions, SortKeys *keys)
{
    if (positions.size() < 2)
        return positions;
    std::vector<const Position *> pointers;
    pointers.reserve(positions.size());
    for (const Position &p : positions)
        pointers.push_back(&p);
    std::vector<Position> result;
    result.reserve(positions.size());
    for (size_t index : personOrder(pointers, keys))
        result.push_back(std::move(positions[index]));
    return result;
}

std::vector<const Position *> sorted(std::vector<const Position *> positions, SortKeys *keys)
{
    if (positions.size() < 2)
        return positions;
    std::vector<const Position *> result;
    result.reserve(positions.size());
    for (size_t index : personOrder(positions, keys))
        result.push_back(positions[index]);
    return result;
}

} // namespace EmployeeDirectory
