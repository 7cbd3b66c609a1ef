#include "core/entry/entry_matching.h"

#include "core/support/identifiers.h"
#include "core/support/text.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <unordered_set>

namespace {

icu::UnicodeString fromUtf8(std::string_view text)
{
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// Case and diacritics removed the same way in every locale: full case folding, then the
// nonspacing marks of the canonical decomposition dropped, then recomposed so that scripts
// whose letters decompose (Hangul) keep whole letters.
icu::UnicodeString folded(std::string_view text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2 *nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString source = fromUtf8(text);
    source.foldCase();
    if (U_FAILURE(status))
        return source;
    const icu::UnicodeString decomposed = nfd->normalize(source, status);
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) != U_NON_SPACING_MARK)
            stripped.append(c);
    }
    icu::UnicodeString composed = nfc->normalize(stripped, status);
    return U_FAILURE(status) ? stripped : composed;
}

bool isWordCharacter(UChar32 c)
{
    const uint32_t mask = U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK;
    return (U_GET_GC_MASK(c) & mask) != 0;
}

bool isASCII(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Most names are plain ASCII, where folding is lower-casing and the word characters are
// letters and digits: the same result as below without the cost of ICU on every redraw.
std::vector<std::string> asciiWords(std::string_view text)
{
    std::vector<std::string> result;
    std::string word;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z') {
            word.push_back(static_cast<char>(c - 'A' + 'a'));
            continue;
        }
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            word.push_back(c);
            continue;
        }
        if (!word.empty())
            result.push_back(std::move(word));
        word.clear();
    }
    if (!word.empty())
        result.push_back(std::move(word));
    return result;
}

// The folded words of a text: letters, marks and digits; everything else separates.
std::vector<std::string> words(std::string_view text)
{
    if (isASCII(text))
        return asciiWords(text);
    const icu::UnicodeString f = folded(text);
    std::vector<std::string> result;
    icu::UnicodeString word;
    auto flush = [&] {
        if (word.isEmpty())
            return;
        std::string utf8;
        word.toUTF8String(utf8);
        result.push_back(std::move(utf8));
        word.remove();
    };
    for (int32_t i = 0; i < f.length();) {
        const UChar32 c = f.char32At(i);
        i += U16_LENGTH(c);
        if (isWordCharacter(c))
            word.append(c);
        else
            flush();
    }
    flush();
    return result;
}

std::string concatenated(const std::vector<std::string> &list, std::string_view separator = "")
{
    std::string out;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += separator;
        out += list[i];
    }
    return out;
}

std::vector<std::string> sortedCopy(std::vector<std::string> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

bool contains(std::string_view haystack, std::string_view needle)
{
    return haystack.find(needle) != std::string_view::npos;
}

const std::string &label(const Position &p)
{
    return p.employee ? p.employee->name : p.jobTitle();
}

// Strongest first; equal scores by label in file-browser order, then by id, so that the
// list is the same on every redraw.
std::vector<PositionEntryMatch> sorted(std::vector<PositionEntryMatch> matches)
{
    struct Keyed {
        PositionEntryMatch match;
        std::string labelKey;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(matches.size());
    for (PositionEntryMatch &m : matches) {
        std::string key = Text::localizedStandardKey(label(m.position));
        keyed.push_back({std::move(m), std::move(key)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.match.score != b.match.score)
            return a.match.score > b.match.score;
        if (a.labelKey != b.labelKey)
            return a.labelKey < b.labelKey;
        return a.match.position.id < b.match.position.id;
    });
    std::vector<PositionEntryMatch> result;
    result.reserve(keyed.size());
    for (Keyed &k : keyed)
        result.push_back(std::move(k.match));
    return result;
}

struct NameQuery {
    std::vector<std::string> words;
    std::vector<std::string> sortedWords;
    std::string joined;
    bool longEnough = false; // a one-letter name is too vague to match on
};

NameQuery nameQuery(std::string_view name)
{
    NameQuery q;
    q.words = words(name);
    q.sortedWords = sortedCopy(q.words);
    q.joined = concatenated(q.words);
    q.longEnough = Text::characterCount(q.joined) >= 2;
    return q;
}

bool isExactName(const NameQuery &q, const std::vector<std::string> &candidate, const std::string &candidateJoined)
{
    if (q.words.empty())
        return false;
    return q.sortedWords == sortedCopy(candidate) || q.joined == candidateJoined;
}

bool isSimilarName(const NameQuery &q, const std::vector<std::string> &candidate, const std::string &candidateJoined)
{
    const bool everyWordFound = std::all_of(q.words.begin(), q.words.end(), [&](const std::string &w) {
        return std::any_of(candidate.begin(), candidate.end(), [&](const std::string &c) { return contains(c, w); });
    });
    return everyWordFound || contains(candidateJoined, q.joined);
}

struct RoleKeys {
    std::string job;
    std::string pay;
};

RoleKeys roleKeys(const Position &p)
{
    return {concatenated(words(p.jobTitle()), " "), concatenated(words(p.title), " ")};
}

} // namespace

namespace PositionEntryMatching {

PeopleIndex::PeopleIndex(const std::vector<Position> &positions)
{
    for (size_t i = 0; i < positions.size(); ++i) {
        const Position &p = positions[i];
        if (!p.employee)
            continue;
        std::vector<std::string> nameWords = words(p.employee->name);
        std::string joined = concatenated(nameWords);
        people.push_back({i, std::move(nameWords), std::move(joined), Text::trimmed(p.employee->id)});
    }
}

std::vector<PositionEntryMatch> people(const std::vector<Position> &positions, std::string_view name,
                                       std::string_view employeeNumber, const std::optional<std::string> &excluding)
{
    return people(positions, PeopleIndex(positions), name, employeeNumber, excluding);
}

std::vector<PositionEntryMatch> people(const std::vector<Position> &positions, const PeopleIndex &index,
                                       std::string_view name, std::string_view employeeNumber,
                                       const std::optional<std::string> &excluding)
{
    const NameQuery query = nameQuery(name);
    const std::string number = Text::trimmed(employeeNumber);

    std::vector<PositionEntryMatch> matches;
    for (const PeopleIndex::Person &person : index.people) {
        const Position &p = positions[person.position];
        if (excluding && *excluding == p.id)
            continue;
        const bool sameNumber = !number.empty() && person.number == number;
        if (!sameNumber && !query.longEnough)
            continue;
        const bool exact = isExactName(query, person.words, person.joined);
        const bool similar = query.longEnough && isSimilarName(query, person.words, person.joined);
        if (!sameNumber && !similar)
            continue;
        PositionEntryMatch match{.position = p, .exactName = exact};
        if (sameNumber) {
            match.reason = "Same employee number";
            match.score = 1000;
        } else if (exact) {
            match.reason = "Same name — verify identity";
            match.score = 800;
        } else {
            match.reason = "Similar name";
            match.score = 500;
        }
        matches.push_back(std::move(match));
    }
    return sorted(std::move(matches));
}

std::vector<PositionEntryMatch> vacancies(const std::vector<Position> &positions, const Position &matching)
{
    const RoleKeys target = roleKeys(matching);
    const bool jobLongEnough = Text::characterCount(target.job) >= 2;
    const bool payLongEnough = Text::characterCount(target.pay) >= 2;
    if (!jobLongEnough && !payLongEnough)
        return {};
    const std::vector<std::string> department = words(matching.department);
    const std::vector<std::string> location = words(matching.location);

    std::vector<PositionEntryMatch> matches;
    for (const Position &p : positions) {
        if (p.id == matching.id || p.employee)
            continue;
        const RoleKeys candidate = roleKeys(p);
        const bool exact = (!target.job.empty() && target.job == candidate.job) ||
                           (!target.pay.empty() && target.pay == candidate.pay);
        const bool similar = (jobLongEnough && contains(candidate.job, target.job)) ||
                             (payLongEnough && contains(candidate.pay, target.pay));
        if (!exact && !similar)
            continue;
        int score = exact ? 300 : 100;
        if (matching.managerID && p.managerID == matching.managerID)
            score += 150;
        // Emptiness is of the raw text: a department of punctuation only has no words and
        // still earns the bonus against another such department.
        if (!matching.department.empty() && words(p.department) == department)
            score += 80;
        if (!matching.location.empty() && words(p.location) == location)
            score += 40;
        matches.push_back({.position = p,
                           .reason = exact ? "Matching vacant role" : "Similar vacant role",
                           .exactName = false,
                           .score = score});
    }
    return sorted(std::move(matches));
}

Position nextPosition(const Position &after, const std::vector<Position> &positions)
{
    std::unordered_set<std::string_view> taken;
    taken.reserve(positions.size());
    for (const Position &p : positions)
        taken.insert(p.id);
    std::string id;
    do {
        id = "P-" + makeUUID();
    } while (taken.contains(id));

    Position next;
    next.id = std::move(id);
    next.title = after.title;
    next.customJobTitle = after.customJobTitle;
    next.department = after.department;
    next.managerID = after.managerID;
    next.location = after.location;
    next.fte = after.fte;
    next.isAssistant = after.isAssistantPosition();
    return next;
}

} // namespace PositionEntryMatching
