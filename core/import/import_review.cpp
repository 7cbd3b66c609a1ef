#include "core/import/import_review.h"

#include "core/model/fte_text.h"
#include "core/support/import_sheet.h"
#include "core/support/number_text.h"
#include "core/import/import_changes.h"
#include "core/import/reporting_walk.h"
#include "core/support/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <iterator>
#include <unordered_map>

std::vector<std::string> ImportReview::messages(int row, ImportMessageKind kind) const
{
    const std::string prefix = "Row " + std::to_string(row) + ":";
    std::vector<std::string> result;
    for (const std::string &message : kind == ImportMessageKind::error ? errors : warnings) {
        if (message.starts_with(prefix))
            result.push_back(message);
    }
    return result;
}

namespace TabularImport {

namespace {

using Row = std::vector<std::string>;

// What a row names as managers, resolved once every row is known.
struct PendingReferences {
    std::string primary;
    std::vector<std::string> dotted;
    int row = 0;
};

std::vector<std::string> splitNonEmpty(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// The index of the first row below the header; every row for a header above the sheet.
size_t firstDataRow(int headerRow)
{
    return headerRow < 0 ? 0 : static_cast<size_t>(headerRow) + 1;
}

bool isBlankRow(const Row &row)
{
    return std::all_of(row.begin(), row.end(), [](const std::string &cell) { return Text::isBlank(cell); });
}

std::optional<double> positiveNumber(std::string_view text)
{
    const std::optional<double> value = NumberText::decimal(text);
    if (!value || !std::isfinite(*value) || *value <= 0)
        return std::nullopt;
    return value;
}

// Whole-number digits compared by value: longer after leading zeros, or greater.
bool greaterDigits(std::string_view a, std::string_view b)
{
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    return a.size() != b.size() ? a.size() > b.size() : a > b;
}

// "00042" as "42", "000" as "0": what a spreadsheet program makes of a number it read.
std::string_view withoutLeadingZeros(std::string_view text)
{
    const size_t first = text.find_first_not_of('0');
    if (first != std::string_view::npos)
        return text.substr(first);
    return text.empty() ? text : text.substr(text.size() - 1);
}

bool isAllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool hasLeadingZeros(std::string_view text)
{
    return withoutLeadingZeros(text).size() < text.size();
}

// How a file's value differs from the stored one that reads the same without leading zeros:
// "17 lost the leading zeros of 00017", "00017 has leading zeros the stored 17 does not", or,
// where both keep some, "0017 differs from the stored 017 only by leading zeros". Only a
// spreadsheet program reading digits as a number drops every zero; 0B7 is no number.
std::string leadingZeroDifference(const std::string &value, const std::string &stored)
{
    if (hasLeadingZeros(value) && hasLeadingZeros(stored))
        return value + " differs from the stored " + stored + " only by leading zeros";
    if (hasLeadingZeros(value))
        return value + " has leading zeros the stored " + stored + " does not";
    if (isAllDigits(stored))
        return value + " lost the leading zeros of " + stored + " (a spreadsheet program may have read it as a number)";
    return value + " lost the leading zeros of " + stored;
}

// Organization::nextEmployeeNumber over many numbers: it depends only on the widest and the
// greatest all-digit number, so only those two are handed to it.
class EmployeeNumberPool {
public:
    void add(std::string_view number)
    {
        std::string trimmed = Text::trimmed(number);
        if (!isAllDigits(trimmed))
            return;
        if (trimmed.size() > m_widest.size())
            m_widest = trimmed;
        if (m_greatest.empty() || greaterDigits(trimmed, m_greatest))
            m_greatest = std::move(trimmed);
    }

    std::string next() const
    {
        Organization sample;
        for (const std::string *number : {&m_widest, &m_greatest}) {
            if (!number->empty())
                sample.positions.push_back(Position{.employee = Employee{.id = *number, .name = ""}});
        }
        return sample.nextEmployeeNumber();
    }

private:
    std::string m_widest;
    std::string m_greatest;
};

// The stored values of one kind (Position IDs, or employee numbers) that a file's value may
// differ from only by leading zeros. Only values that start with a zero are indexed up front,
// so in a district without any a row costs a look at its first characters; the index of
// every value is made on the first question that needs it. Holds views of the values.
class ZeroTwinIndex {
public:
    explicit ZeroTwinIndex(size_t expected) { m_values.reserve(expected); }

    void add(std::string_view stored)
    {
        if (stored.empty())
            return;
        m_values.push_back(stored);
        if (hasLeadingZeros(stored))
            m_padded[withoutLeadingZeros(stored)].note(stored);
    }

    // The first stored value that `value` differs from only by leading zeros; empty when
    // there is none or `value` is stored as written.
    std::string_view twin(std::string_view value)
    {
        const std::string_view bare = withoutLeadingZeros(value);
        const bool padded = bare.size() < value.size();
        if (!padded && m_padded.empty())
            return {};
        const auto found = m_padded.find(bare);
        // Every stored value with zeros is in m_padded: a padded value stored as written is there.
        if (found != m_padded.end() && found->second.holds(value))
            return {};
        if (!padded && isStored(value))
            return {};
        if (found != m_padded.end())
            return found->second.first;
        return padded && isStored(bare) ? bare : std::string_view();
    }

private:
    // The stored values that read alike: the first, and any other ("0017" beside "017"; one
    // per distinct value, so never more than the zeros a value can start with).
    struct Twins {
        std::string_view first;
        std::vector<std::string_view> others;

        void note(std::string_view value)
        {
            if (first.empty())
                first = value;
            else if (value != first && std::find(others.begin(), others.end(), value) == others.end())
                others.push_back(value);
        }
        bool holds(std::string_view value) const
        {
            return value == first || std::find(others.begin(), others.end(), value) != others.end();
        }
    };

    bool isStored(std::string_view value)
    {
        if (!m_all)
            m_all.emplace(m_values.begin(), m_values.end());
        return m_all->contains(value);
    }

    std::vector<std::string_view> m_values;
    std::unordered_map<std::string_view, Twins> m_padded; // by the value without its zeros
    std::optional<std::unordered_set<std::string_view>> m_all;
};

class Review {
public:
    Review(const ImportSheet &sheet, int headerRow, const ImportMapping &mapping, ManagerReferences references,
           ImportMode mode, const Organization &existing)
        : m_sheet(sheet), m_headerRow(headerRow), m_mapping(mapping), m_references(references),
          m_stored(existing), m_existing(mode == ImportMode::replace ? nullptr : &existing),
          m_updateMatchingIDs(mode == ImportMode::update)
    {
    }

    ImportReview run()
    {
        if (m_headerRow < 0 || static_cast<size_t>(m_headerRow) >= m_sheet.rows.size())
            return ImportReview{.errors = {"Choose a valid header row."}};
        addReaderIssues();
        checkMapping();
        prepare();
        for (size_t r = firstDataRow(m_headerRow); r < m_sheet.rows.size(); ++r) {
            if (!isBlankRow(m_sheet.rows[r]))
                readRow(m_sheet.rows[r], static_cast<int>(r) + 1);
        }
        if (m_imported.empty())
            m_result.errors.push_back("No position rows were found after the header.");
        resolveManagers();
        warnAboutWholeFile();
        checkStructure();
        if (m_result.errors.empty())
            merge();
        return std::move(m_result);
    }

private:
    bool isMapped(ImportField field) const { return m_mapping.contains(field); }

    // The trimmed cell of the field's column; empty when unmapped or beyond the row. Ids
    // and id references come in canonical form, as stored positions hold them.
    std::string value(const Row &row, ImportField field) const
    {
        const auto it = m_mapping.find(field);
        if (it == m_mapping.end() || it->second < 0 || static_cast<size_t>(it->second) >= row.size())
            return {};
        std::string text = Text::trimmed(row[static_cast<size_t>(it->second)]);
        const bool identifier = field == ImportField::positionID || field == ImportField::employeeID ||
                                field == ImportField::manager || field == ImportField::dotted;
        return identifier ? Text::canonicalForm(text) : text;
    }

    std::optional<bool> flag(const Row &row, ImportField field, int n)
    {
        const std::string text = Text::lowercased(value(row, field));
        if (text.empty())
            return std::nullopt;
        for (const char *word : {"yes", "y", "true", "1", "vacant"}) {
            if (text == word)
                return true;
        }
        for (const char *word : {"no", "n", "false", "0", "filled"}) {
            if (text == word)
                return false;
        }
        error(n, std::string(importFieldHeader(field)) + " must be Yes/No or True/False.");
        return std::nullopt;
    }

    void error(int n, const std::string &text) { m_result.errors.push_back("Row " + std::to_string(n) + ": " + text); }
    void warning(int n, const std::string &text) { m_result.warnings.push_back("Row " + std::to_string(n) + ": " + text); }

    void addReaderIssues()
    {
        if (!m_sheet.sourceIssues)
            return;
        for (const ImportCellIssue &issue : *m_sheet.sourceIssues) {
            if (issue.row < m_headerRow || static_cast<size_t>(issue.row) >= m_sheet.rows.size())
                continue;
            const Row &row = m_sheet.rows[static_cast<size_t>(issue.row)];
            if (issue.column < 0 || static_cast<size_t>(issue.column) >= row.size())
                continue;
            // A cell edited since reading no longer carries the reader's problem.
            if (row[static_cast<size_t>(issue.column)] != issue.value)
                continue;
            error(issue.row + 1, "column " + std::to_string(issue.column + 1) + ": " + issue.message);
        }
    }

    void checkMapping()
    {
        if (!isMapped(ImportField::title))
            m_result.errors.push_back("Map Pay Level (or a legacy Position / Title column).");
        if (!m_existing && !isMapped(ImportField::employeeID) && !isMapped(ImportField::positionID))
            m_result.errors.push_back("Map either Employee Number or Position ID.");
    }

    void prepare()
    {
        const size_t expected = m_sheet.rows.size() + (m_existing ? m_existing->positions.size() : 0);
        m_seenIDs.reserve(expected);
        m_reservedIDs.reserve(expected);
        m_directory.reserve(expected);
        m_seenNumbers.reserve(expected);
        m_imported.reserve(m_sheet.rows.size());
        m_storedOf.reserve(m_sheet.rows.size());
        m_pending.reserve(m_sheet.rows.size());
        EmployeeNumberPool numbers;
        for (size_t r = firstDataRow(m_headerRow); r < m_sheet.rows.size(); ++r) {
            const Row &row = m_sheet.rows[r];
            if (std::string id = value(row, ImportField::positionID); !id.empty())
                m_suppliedIDs.insert(std::move(id));
            if (std::string number = value(row, ImportField::employeeID); !number.empty())
                numbers.add(number);
            noteFilledColumns(row);
        }

        // Replacing too: the stored values are what a file without its zeros is checked against.
        for (const Position &p : m_stored.positions)
            noteZeroTwins(p);
        if (m_updateMatchingIDs) {
            m_storedByID.reserve(m_stored.positions.size());
            for (const Position &p : m_stored.positions)
                m_storedByID.emplace(p.id, &p);
        }
        if (m_existing) {
            for (const Position &p : m_existing->positions) {
                m_reservedIDs.insert(p.id);
                if (p.employee)
                    numbers.add(p.employee->id);
                if (!m_updateMatchingIDs || !m_suppliedIDs.contains(p.id))
                    m_base.push_back(&p);
            }
        }
        m_reservedIDs.insert(m_suppliedIDs.begin(), m_suppliedIDs.end());
        m_nextEmployeeNumber = numbers.next();

        for (const Position *p : m_base) {
            m_seenIDs.insert(p->id);
            if (p->employee)
                m_directory.insert_or_assign(Text::trimmed(p->employee->id), p->id);
        }
        for (const auto &entry : m_directory)
            m_seenNumbers.insert(entry.first);
    }

    // "P-" and the employee number, or "VACANT-ROW-" and the row, made unique against
    // every id in play with "-2", "-3", ...
    std::string generatedID(const std::string &employeeNumber, int n)
    {
        const std::string base = employeeNumber.empty() ? "VACANT-ROW-" + std::to_string(n) : "P-" + employeeNumber;
        std::string id = base;
        if (m_reservedIDs.contains(id)) {
            // Suffixes below the last one chosen for this base are all taken already.
            int &suffix = m_nextSuffix.try_emplace(base, 2).first->second;
            do {
                id = base + "-" + std::to_string(suffix++);
            } while (m_reservedIDs.contains(id));
        }
        m_reservedIDs.insert(id);
        return id;
    }

    // Updating: the stored position a row's Position ID names; null otherwise. Its fields
    // stand in for every column the mapping leaves out, so a file of a few columns changes
    // only those.
    const Position *storedMatch(const std::string &suppliedID) const
    {
        if (!m_updateMatchingIDs || suppliedID.empty())
            return nullptr;
        const auto found = m_storedByID.find(suppliedID);
        return found == m_storedByID.end() ? nullptr : found->second;
    }

    // A file's values are checked against the stored ones read without leading zeros: a
    // spreadsheet program reads "00042" as the number 42, and a padded column turns "42" into
    // "00042". Either way the row misses the position or person it means and adds another,
    // out of sight of the duplicate checks.
    void noteZeroTwins(const Position &p)
    {
        if (isMapped(ImportField::positionID))
            m_idTwins.add(p.id);
        if (p.employee && isMapped(ImportField::employeeID))
            m_numberTwins.add(employeeNumberOf(p));
    }

    // A position's employee number trimmed, as the file's are read: a view of the position's
    // own text, or of a trimmed copy kept for the review where trimming changes it.
    std::string_view employeeNumberOf(const Position &p)
    {
        const std::string_view number = p.employee->id;
        // Printable ASCII at both ends is no white space: the usual number needs no trimming.
        const auto printable = [](char c) { return c > ' ' && c < '\x7f'; };
        if (number.empty() || (printable(number.front()) && printable(number.back())))
            return number;
        if (std::string trimmed = Text::trimmed(number); trimmed.size() != number.size())
            return m_trimmedNumbers.emplace_back(std::move(trimmed));
        return number;
    }

    // Replacing, whether a row of the file brings back a stored employee number. Indexed on
    // the first question: only a number that lost or gained zeros asks it.
    bool fileHoldsNumber(std::string_view number)
    {
        if (!m_suppliedNumbers) {
            m_suppliedNumbers.emplace();
            for (size_t r = firstDataRow(m_headerRow); r < m_sheet.rows.size(); ++r) {
                if (std::string supplied = value(m_sheet.rows[r], ImportField::employeeID); !supplied.empty())
                    m_suppliedNumbers->insert(std::move(supplied));
            }
        }
        return m_suppliedNumbers->contains(std::string(number));
    }

    // What applying does with a row's value beside the stored one it differs from only by
    // leading zeros: the stored one stays unless replacing drops it (a row of the file may
    // bring it back), and the row's comes as another position or person.
    std::string zeroTwinOutcome(const std::string &value, const std::string &stored, bool inFile,
                                const char *kind) const
    {
        if (!m_existing && !inFile)
            return "; applying replaces " + stored + " with " + value + ".";
        return "; applying keeps " + stored + " and adds " + value + " as another " + kind + ".";
    }

    // A Position ID that names no stored position but differs from one only by leading zeros:
    // the row misses that position, and applying adds another beside it or replaces it.
    void checkLeadingZeroID(const std::string &suppliedID, int n)
    {
        if (suppliedID.empty())
            return;
        const std::string storedID(m_idTwins.twin(suppliedID));
        if (storedID.empty())
            return;
        warning(n, "position ID " + leadingZeroDifference(suppliedID, storedID) +
                       zeroTwinOutcome(suppliedID, storedID, m_suppliedIDs.contains(storedID), "position"));
        ++m_result.leadingZeroIDRows;
    }

    // An employee number that no stored person has but that differs from a stored one only by
    // leading zeros: on the row of that person's position it renumbers the person, elsewhere it
    // adds a second person or, replacing, renumbers. A number stored as it is written is no
    // such case, whatever else is stored. Generated numbers are never checked: they follow
    // every stored one.
    void checkLeadingZeroNumber(const Position *stored, const std::string &employeeNumber, int n)
    {
        if (!isMapped(ImportField::employeeID) || employeeNumber.empty())
            return;
        const std::string twin(m_numberTwins.twin(employeeNumber));
        if (twin.empty())
            return;
        if (stored && stored->employee) {
            const std::string own = Text::trimmed(stored->employee->id);
            if (withoutLeadingZeros(own) == withoutLeadingZeros(employeeNumber)) {
                warning(n, "employee number " + leadingZeroDifference(employeeNumber, own) + "; applying changes " +
                               own + " to " + employeeNumber + ".");
                ++m_result.leadingZeroRows;
                return;
            }
        }
        warning(n, "employee number " + leadingZeroDifference(employeeNumber, twin) +
                       zeroTwinOutcome(employeeNumber, twin, !m_existing && fileHoldsNumber(twin), "person"));
        ++m_result.leadingZeroRows;
    }

    // Updating, a column left blank in every row still speaks for every stored position
    // the file names; the whole-file warnings say what that clears.
    void noteFilledColumns(const Row &row)
    {
        if (!m_updateMatchingIDs)
            return;
        for (const auto &[field, column] : m_mapping) {
            bool &filled = m_filledColumns[static_cast<size_t>(field)];
            if (!filled)
                filled = !value(row, field).empty();
        }
    }

    // Updating, what the rows together do to the stored positions, said before any row's
    // warnings: each can change the whole district at once.
    void warnAboutWholeFile()
    {
        if (!m_updateMatchingIDs || m_imported.empty())
            return;
        std::vector<std::string> notes;
        if (m_result.updatingRows == 0 && !m_existing->positions.empty())
            notes.push_back("No row matches a stored Position ID: applying adds every row as a new position.");
        for (const auto &[field, column] : m_mapping) {
            if (m_filledColumns[static_cast<size_t>(field)])
                continue;
            int cleared = 0;
            for (size_t i = 0; i < m_imported.size(); ++i) {
                if (m_storedOf[i] && changesField(field, *m_storedOf[i], m_imported[i]))
                    ++cleared;
            }
            if (cleared > 0)
                notes.push_back("“" + std::string(importFieldHeader(field)) +
                                "” is blank in every row: applying clears it for " + std::to_string(cleared) +
                                (cleared == 1 ? " position." : " positions."));
        }
        m_result.warnings.insert(m_result.warnings.begin(), std::make_move_iterator(notes.begin()),
                                 std::make_move_iterator(notes.end()));
    }

    void readRow(const Row &row, int n)
    {
        const std::string suppliedID = value(row, ImportField::positionID);
        const Position *stored = storedMatch(suppliedID);
        if (stored)
            ++m_result.updatingRows;
        else
            checkLeadingZeroID(suppliedID, n);
        std::string employeeNumber = value(row, ImportField::employeeID);
        std::string name = value(row, ImportField::name);
        const std::optional<bool> vacantFlag = flag(row, ImportField::vacant, n);
        if (stored && vacantFlag != true)
            keepUnmappedPerson(*stored, employeeNumber, name);
        const bool vacant = vacantFlag.value_or(employeeNumber.empty() && name.empty());
        const std::string payLevel = value(row, ImportField::title);
        std::string jobTitle = isMapped(ImportField::jobTitle) ? value(row, ImportField::jobTitle) : payLevel;

        if (!vacant)
            checkLeadingZeroNumber(stored, employeeNumber, n);
        if (m_existing && !vacant && employeeNumber.empty() && !name.empty()) {
            employeeNumber = m_nextEmployeeNumber;
            EmployeeNumberPool following;
            following.add(employeeNumber);
            m_nextEmployeeNumber = following.next();
            warning(n, "generated employee number " + employeeNumber + ".");
        }

        std::string id = suppliedID;
        if (id.empty())
            id = generatedID(employeeNumber, n);
        if (!m_seenIDs.insert(id).second)
            error(n, "duplicate position ID " + id + ".");

        if (stored && !isMapped(ImportField::jobTitle) && stored->customJobTitle)
            jobTitle = *stored->customJobTitle;
        if (payLevel.empty())
            error(n, "Pay Level is required.");
        if (jobTitle.empty())
            error(n, "Job Title is required.");

        if (!vacant) {
            if (employeeNumber.empty() || name.empty())
                error(n, "filled positions need employee number and name.");
            // A missing number is reported above; it is no duplicate of another missing one.
            if (!employeeNumber.empty()) {
                if (!m_seenNumbers.insert(employeeNumber).second)
                    error(n, "duplicate employee number " + employeeNumber + ".");
                m_directory.try_emplace(employeeNumber, id);
            }
        } else if (!employeeNumber.empty() || !name.empty()) {
            error(n, "vacant positions cannot contain an employee. Clear the employee fields or mark it filled.");
        }

        Position position{
            .id = id,
            .title = payLevel,
            .department = stored && !isMapped(ImportField::department) ? stored->department
                                                                        : value(row, ImportField::department),
        };
        readShares(row, n, stored, position);
        position.isAssistant = flag(row, ImportField::assistant, n).value_or(false);
        if (jobTitle != payLevel)
            position.customJobTitle = std::move(jobTitle);
        if (!vacant)
            position.employee = Employee{.id = employeeNumber, .name = name};
        if (stored)
            keepUnmappedReporting(*stored, position);
        m_imported.push_back(std::move(position));
        m_storedOf.push_back(stored);

        PendingReferences pending{.primary = value(row, ImportField::manager), .row = n};
        for (const std::string &piece : splitNonEmpty(value(row, ImportField::dotted), ':')) {
            if (std::string reference = Text::trimmed(piece); !reference.empty())
                pending.dotted.push_back(std::move(reference));
        }
        m_pending.push_back(std::move(pending));
    }

    // The stored person fills the employee columns the file does not carry (unless the row
    // is marked vacant, which empties the position).
    void keepUnmappedPerson(const Position &stored, std::string &employeeNumber, std::string &name) const
    {
        if (!stored.employee)
            return;
        if (!isMapped(ImportField::employeeID))
            employeeNumber = Text::trimmed(stored.employee->id);
        if (!isMapped(ImportField::name))
            name = stored.employee->name;
    }

    // FTE, location with its school split and sibling order, in that order of messages; for
    // a stored position the columns left out keep its values.
    void readShares(const Row &row, int n, const Position *stored, Position &position)
    {
        const auto keeps = [&](ImportField field) { return stored && !isMapped(field); };
        position.fte = keeps(ImportField::fte) ? stored->fte : 1;
        const std::string fteCell = value(row, ImportField::fte);
        if (fteCell.empty() && stored && isMapped(ImportField::fte) && stored->fte != 1)
            warning(n, "FTE is blank; " + fteText(stored->fte) + " becomes 1.");
        if (!fteCell.empty()) {
            const std::optional<double> read = NumberText::decimal(fteCell);
            if (!read || !std::isfinite(*read) || *read <= 0)
                error(n, "FTE must be a positive number.");
            else if (*read > maximumEnteredFte)
                error(n, std::string("FTE must be at most ") + maximumEnteredFteText + ".");
            position.fte = read.value_or(1);
        }

        position.location = keeps(ImportField::location) ? stored->location : value(row, ImportField::location);
        position.schoolAssignments = keeps(ImportField::schoolAllocations)
                                         ? stored->schoolAssignments
                                         : readAllocations(value(row, ImportField::schoolAllocations), n);
        if (position.location.empty()) {
            if (position.schoolAssignments.empty())
                warning(n, "location is blank; District Office will be used.");
            position.location = position.schoolAssignments.empty() ? "District Office" : "Itinerant";
        }

        if (keeps(ImportField::siblingOrder))
            position.siblingOrder = stored->siblingOrder;
        if (const std::string text = value(row, ImportField::siblingOrder); !text.empty()) {
            position.siblingOrder = NumberText::wholeNumber(text);
            if (!position.siblingOrder)
                error(n, "sibling order must be a whole number.");
        }
    }

    // The stored managers, assistant flag and group count where no column speaks for them;
    // manager cells that are there are resolved once every row is known.
    void keepUnmappedReporting(const Position &stored, Position &position) const
    {
        if (!isMapped(ImportField::manager))
            position.managerID = stored.managerID;
        if (!isMapped(ImportField::dotted))
            position.dottedManagerIDs = stored.dottedManagerIDs;
        if (!isMapped(ImportField::assistant))
            position.isAssistant = stored.isAssistant;
        position.groupMemberCount = stored.groupMemberCount;
    }

    // "School=FTE; School=FTE"; each malformed piece is reported and left out.
    std::vector<SchoolAssignment> readAllocations(const std::string &text, int n)
    {
        std::vector<SchoolAssignment> allocations;
        for (const std::string &piece : splitNonEmpty(text, ';')) {
            const size_t equals = piece.find('=');
            std::vector<std::string> parts;
            if (equals == std::string::npos) {
                parts.push_back(piece);
            } else {
                for (std::string_view part : {std::string_view(piece).substr(0, equals), std::string_view(piece).substr(equals + 1)}) {
                    if (!part.empty())
                        parts.push_back(Text::trimmed(part));
                }
            }
            std::optional<double> share;
            if (parts.size() == 2 && !parts[0].empty())
                share = positiveNumber(parts[1]);
            if (!share) {
                error(n, "school allocations must use School=FTE; School=FTE.");
                continue;
            }
            allocations.push_back(SchoolAssignment{.school = parts[0], .fte = *share});
        }
        return allocations;
    }

    std::optional<std::string> resolve(const std::string &reference, int n)
    {
        if (m_references == ManagerReferences::employeeNumbers) {
            const auto found = m_directory.find(reference);
            if (found != m_directory.end())
                return found->second;
        } else if (m_seenIDs.contains(reference)) {
            return reference;
        }
        std::string message = "manager ID " + reference + " was not found. Check the reference type and mapped columns.";
        if (const std::string_view twin = referenceTwin(reference); !twin.empty())
            message += " " + std::string(twin) + " differs from it only by leading zeros.";
        error(n, message);
        return std::nullopt;
    }

    // What a reference not found differs from only by leading zeros among what it could
    // name: the employee numbers or the Position IDs that stay or come. Indexed on the first
    // reference not found: a file whose references lost their zeros misses on every row.
    std::string_view referenceTwin(const std::string &reference)
    {
        if (!m_referenceTwins) {
            m_referenceTwins.emplace(m_base.size() + m_imported.size());
            const bool byNumber = m_references == ManagerReferences::employeeNumbers;
            const auto note = [&](const Position &p) {
                if (!byNumber)
                    m_referenceTwins->add(p.id);
                else if (p.employee)
                    m_referenceTwins->add(employeeNumberOf(p));
            };
            for (const Position *p : m_base)
                note(*p);
            for (const Position &p : m_imported)
                note(p);
        }
        return m_referenceTwins->twin(reference);
    }

    void resolveManagers()
    {
        for (size_t i = 0; i < m_imported.size(); ++i) {
            Position &position = m_imported[i];
            const PendingReferences &pending = m_pending[i];
            if (!pending.primary.empty())
                position.managerID = resolve(pending.primary, pending.row);
            std::vector<std::string> dotted;
            for (const std::string &reference : pending.dotted) {
                if (std::optional<std::string> id = resolve(reference, pending.row))
                    dotted.push_back(std::move(*id));
            }
            std::sort(dotted.begin(), dotted.end());
            dotted.erase(std::unique(dotted.begin(), dotted.end()), dotted.end());
            if (isMapped(ImportField::dotted))
                position.dottedManagerIDs = std::move(dotted);
        }
    }

    void checkStructure()
    {
        if (m_imported.empty())
            return;
        std::vector<const Position *> merged(m_base.begin(), m_base.end());
        for (const Position &p : m_imported)
            merged.push_back(&p);
        const auto repeats = ReportingWalk::firstRepeatedIDs(merged, m_base.size());

        for (size_t i = 0; i < m_imported.size(); ++i) {
            const Position &p = m_imported[i];
            const int n = m_pending[i].row;
            const bool reportsToItself = p.managerID == p.id || std::find(p.dottedManagerIDs.begin(), p.dottedManagerIDs.end(),
                                                                          p.id) != p.dottedManagerIDs.end();
            if (reportsToItself)
                error(n, "a position cannot report to itself.");
            if (!p.schoolAssignments.empty()) {
                double sum = 0;
                for (const SchoolAssignment &a : p.schoolAssignments)
                    sum += a.fte;
                if (std::abs(sum - p.fte) >= 0.000001)
                    error(n, "school assignment FTE must total the position FTE (" + NumberText::shortestDecimal(p.fte) + ").");
            }
            if (repeats[i])
                error(n, "primary reporting relationships contain a cycle at " + std::string(*repeats[i]) + ".");
        }
    }

    // Updating: a row that shows its position as stored (see TabularImport::isUnchanged)
    // leaves that position as it was and where it was, so re-importing an exported workbook
    // writes nothing. Only a changed position is replaced and moves to the end.
    std::vector<bool> unchangedRows()
    {
        std::vector<bool> unchanged(m_imported.size(), false);
        if (!m_updateMatchingIDs)
            return unchanged;
        for (size_t i = 0; i < m_imported.size(); ++i) {
            const auto stored = m_storedByID.find(m_imported[i].id);
            unchanged[i] = stored != m_storedByID.end() && isUnchanged(*stored->second, m_imported[i]);
        }
        return unchanged;
    }

    void merge()
    {
        const std::vector<bool> unchanged = unchangedRows();
        std::unordered_set<const Position *> kept(m_base.begin(), m_base.end());
        for (size_t i = 0; i < m_imported.size(); ++i) {
            if (unchanged[i])
                kept.insert(m_storedByID.at(m_imported[i].id));
        }
        Organization organization;
        organization.positions.reserve(m_base.size() + m_imported.size());
        if (m_existing) {
            for (const Position &p : m_existing->positions) {
                if (kept.contains(&p))
                    organization.positions.push_back(p);
            }
        }
        for (size_t i = 0; i < m_imported.size(); ++i) {
            if (!unchanged[i])
                organization.positions.push_back(std::move(m_imported[i]));
        }
        try {
            organization.validate();
        } catch (const OrganizationError &failure) {
            m_result.errors.push_back(failure.message());
            return;
        }
        m_result.organization = std::move(organization);
    }

    const ImportSheet &m_sheet;
    const int m_headerRow;
    const ImportMapping &m_mapping;
    const ManagerReferences m_references;
    const Organization &m_stored;         // the open organization, in every mode
    const Organization *const m_existing; // absent when replacing
    const bool m_updateMatchingIDs;

    std::vector<const Position *> m_base; // existing positions that stay
    std::unordered_map<std::string_view, const Position *> m_storedByID; // updating
    ZeroTwinIndex m_idTwins{m_stored.positions.size()};
    ZeroTwinIndex m_numberTwins{m_stored.positions.size()};
    std::deque<std::string> m_trimmedNumbers; // stored numbers that trimming changed
    std::unordered_set<std::string> m_suppliedIDs; // the file's Position IDs
    std::optional<std::unordered_set<std::string>> m_suppliedNumbers; // see fileHoldsNumber
    std::array<bool, allImportFields.size()> m_filledColumns{}; // updating: a cell was not blank
    std::unordered_set<std::string> m_seenIDs;
    std::unordered_set<std::string> m_reservedIDs;
    std::unordered_map<std::string, int> m_nextSuffix;
    std::unordered_map<std::string, std::string> m_directory; // employee number -> position id
    std::unordered_set<std::string> m_seenNumbers;
    std::string m_nextEmployeeNumber;
    std::vector<Position> m_imported;
    std::vector<const Position *> m_storedOf; // per imported position: the stored one it updates
    std::vector<PendingReferences> m_pending;
    std::optional<ZeroTwinIndex> m_referenceTwins; // see referenceTwin
    ImportReview m_result;
};

bool isBlankCell(const Row &row, std::optional<int> column)
{
    return !column || *column < 0 || static_cast<size_t>(*column) >= row.size() ||
           Text::isBlank(row[static_cast<size_t>(*column)]);
}

} // namespace

ImportReview review(const ImportSheet &sheet, int headerRow, const ImportMapping &mapping,
                    ManagerReferences references, ImportMode mode, const Organization &existing)
{
    return Review(sheet, headerRow, mapping, references, mode, existing).run();
}

std::unordered_set<int> issueRows(const std::vector<std::string> &messages)
{
    std::unordered_set<int> rows;
    for (const std::string &message : messages) {
        if (!message.starts_with("Row "))
            continue;
        const size_t colon = message.find(':');
        if (colon == std::string::npos)
            continue;
        const std::optional<int64_t> row = NumberText::wholeNumber(std::string_view(message).substr(4, colon - 4));
        if (row && *row >= INT32_MIN && *row <= INT32_MAX)
            rows.insert(static_cast<int>(*row));
    }
    return rows;
}

std::vector<int> filteredRows(const ImportSheet &sheet, int headerRow, const ImportMapping &mapping,
                              const ImportReview &review, ImportRowFilter filter)
{
    std::unordered_set<int> named;
    if (filter == ImportRowFilter::errors)
        named = issueRows(review.errors);
    else if (filter == ImportRowFilter::warnings)
        named = issueRows(review.warnings);
    std::optional<int> managerColumn;
    if (const auto it = mapping.find(ImportField::manager); it != mapping.end())
        managerColumn = it->second;

    std::vector<int> rows;
    for (size_t r = firstDataRow(headerRow); r < sheet.rows.size(); ++r) {
        const Row &row = sheet.rows[r];
        if (isBlankRow(row))
            continue;
        const int index = static_cast<int>(r);
        bool kept = true;
        switch (filter) {
        case ImportRowFilter::all: break;
        case ImportRowFilter::errors:
        case ImportRowFilter::warnings: kept = named.contains(index + 1); break;
        case ImportRowFilter::nullManagers: kept = isBlankCell(row, managerColumn); break;
        }
        if (kept)
            rows.push_back(index);
    }
    return rows;
}

} // namespace TabularImport
