#include "app/entry/position_editor_model.h"

#include "app/shell/dialogs.h"
#include "core/model/fte_text.h"
#include "core/support/text.h"

#include <QLocale>
#include <QScopedValueRollback>

#include <algorithm>
#include <climits>
#include <utility>

namespace {

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

PositionEditorModel::PositionEditorModel(Position position, std::vector<Position> positions, bool isNew,
                                         std::vector<OrganizationSheet> sheets, std::string selectedSheetID,
                                         SaveAction onSave, IncludeAction onInclude, Dialogs &dialogs,
                                         QObject *parent)
    : QObject(parent)
    , m_sheets(std::move(sheets))
    , m_selectedSheetID(std::move(selectedSheetID))
    , m_onSave(std::move(onSave))
    , m_onInclude(std::move(onInclude))
    , m_dialogs(dialogs)
    , m_position(std::move(position))
{
    m_entry.positions = std::move(positions);
    entryPositionsChanged();
    appear(isNew);
}

PositionEditorModel::~PositionEditorModel() = default;

void PositionEditorModel::appear(bool isNew)
{
    const Position given = m_position;
    if (isNew)
        load(given, std::nullopt, false);
    else
        load(given, given, given.isVacant());
    if (!isNew)
        return;
    // A new entry starts where its manager sits; the location keeps following the manager.
    const Position *manager = m_position.managerID ? entryPosition(*m_position.managerID) : nullptr;
    if (manager && !manager->location.empty())
        m_position.location = manager->location;
}

void PositionEditorModel::setPositions(const std::vector<Position> &positions)
{
    // Assigned over the list held, which after an edit differs in a position or two.
    m_entry.positions = positions;
    entryPositionsChanged();
    // A presenter answering the save being made: the save tells once it is done.
    if (!m_saving)
        emit changed();
}

void PositionEditorModel::setSheets(std::vector<OrganizationSheet> sheets)
{
    m_sheets = std::move(sheets);
    if (!m_saving)
        emit changed();
}

void PositionEditorModel::load(const Position &position, const std::optional<Position> &original, bool vacant)
{
    m_position = position;
    m_original = original;
    m_closed = false;
    m_vacant = vacant;
    m_employeeName = position.employee ? position.employee->name : std::string();
    m_employeeNumber = position.employee ? position.employee->id : m_entry.nextEmployeeNumber();
    m_schoolAllocations.clear();
    for (const SchoolAssignment &assignment : position.schoolAssignments)
        m_schoolAllocations.push_back({QUuid::createUuid(), assignment});
    m_quantity = 1;
    m_unread.clear();
    m_unreadSchoolFtes.clear();
    m_additionalManagerID.clear();
    m_includeOnSheet = false;
    m_errorMessage.clear();
    m_successMessage.clear();

    const Position *manager = position.managerID ? entryPosition(*position.managerID) : nullptr;
    m_departmentWasEdited = !position.department.empty() && (!manager || manager->department != position.department);
    m_locationWasEdited = original && !position.location.empty() && (!manager || manager->location != position.location);
    if (manager && m_position.department.empty())
        m_position.department = manager->department;
    if (manager && m_position.location.empty())
        m_position.location = manager->location;
    m_nameFocused = !vacant;
    emit loaded();
    emit changed();
}

void PositionEditorModel::startNewEntry()
{
    load(PositionEntryMatching::nextPosition(m_position, m_entry.positions), std::nullopt, false);
}

QString PositionEditorModel::title() const
{
    return isCreating() ? QStringLiteral("Add Position") : QStringLiteral("Edit Position & Employee");
}

PositionEditorVisibility PositionEditorModel::visibility() const
{
    return {
        .employeeName = !m_vacant,
        .peoplePanel = !peopleMatches().empty(),
        .quantity = isCreating() && m_vacant,
        .useManagerButton = m_position.managerID.has_value(),
        .vacancyPanel = !vacancyMatches().empty(),
        .includeNote = m_includeOnSheet,
        .employeeNumber = !m_vacant,
        .startNewEntry = !isCreating(),
        .positionIDEditable = isCreating(),
    };
}

void PositionEditorModel::setVacant(bool vacant)
{
    m_vacant = vacant;
    emit changed();
}

void PositionEditorModel::setEmployeeName(const std::string &name)
{
    m_employeeName = name;
    emit changed();
}

void PositionEditorModel::setEmployeeNumber(const std::string &number)
{
    m_employeeNumber = number;
    emit changed();
}

void PositionEditorModel::setQuantity(int quantity)
{
    m_quantity = quantity;
    m_unread.erase(NumberField::quantity);
    emit changed();
}

std::optional<double> PositionEditorModel::readDecimal(const QString &text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text, &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<int64_t> PositionEditorModel::readWholeNumber(const QString &text)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    bool ok = false;
    const qlonglong value = locale.toLongLong(text, &ok);
    return ok ? std::optional<int64_t>(value) : std::nullopt;
}

void PositionEditorModel::setNumberText(NumberField field, const QString &text)
{
    bool read = false;
    switch (field) {
    case NumberField::quantity:
        // QTY is an int: a longer number does not read either.
        if (const std::optional<int64_t> quantity = readWholeNumber(text);
            quantity && *quantity >= INT_MIN && *quantity <= INT_MAX) {
            m_quantity = int(*quantity);
            read = true;
        }
        break;
    case NumberField::fte:
        if (const std::optional<double> fte = readDecimal(text)) {
            m_position.fte = *fte;
            read = true;
        }
        break;
    case NumberField::siblingOrder:
        if (const std::optional<int64_t> order = readWholeNumber(text)) {
            m_position.siblingOrder = *order == 0 ? std::nullopt : order;
            read = true;
        }
        break;
    }
    if (read)
        m_unread.erase(field);
    else
        m_unread.insert(field);
    emit changed();
}

void PositionEditorModel::setSchoolFteText(const QUuid &row, const SchoolAssignment &built, const QString &text)
{
    const std::optional<double> fte = readDecimal(text);
    if (!fte) {
        m_unreadSchoolFtes.insert(row);
        emit changed();
        return;
    }
    m_unreadSchoolFtes.erase(row);
    SchoolAssignment next = schoolAssignment(row, built);
    next.fte = *fte;
    setSchoolAssignment(row, next);
}

void PositionEditorModel::setPayLevel(const std::string &payLevel)
{
    m_position.title = payLevel;
    emit changed();
}

void PositionEditorModel::setJobTitle(const std::string &jobTitle)
{
    if (jobTitle == m_position.jobTitle())
        return;
    m_position.setJobTitle(jobTitle);
    emit changed();
}

void PositionEditorModel::matchPayLevel()
{
    m_position.usePayLevelForJobTitle();
    emit changed();
}

QString PositionEditorModel::jobTitleStatus() const
{
    return m_position.jobTitleFollowsPayLevel() ? QStringLiteral("Job Title follows Pay Level.")
                                                : QStringLiteral("Customized Job Title.");
}

void PositionEditorModel::selectManager(const std::string &id)
{
    if (id.empty())
        m_position.managerID.reset();
    else
        m_position.managerID = id;
    if (const Position *manager = entryPosition(id)) {
        // Emptiness is plain here: a field of spaces counts as filled in.
        if ((!m_departmentWasEdited || m_position.department.empty()) && !manager->department.empty())
            m_position.department = manager->department;
        if ((!m_locationWasEdited || m_position.location.empty()) && !manager->location.empty())
            m_position.location = manager->location;
    }
    emit changed();
}

void PositionEditorModel::setDepartment(const std::string &department)
{
    m_position.department = department;
    m_departmentWasEdited = true;
    emit changed();
}

void PositionEditorModel::setLocation(const std::string &location)
{
    m_position.location = location;
    m_locationWasEdited = true;
    emit changed();
}

void PositionEditorModel::useManagersDepartmentAndLocation()
{
    m_departmentWasEdited = false;
    m_locationWasEdited = false;
    selectManager(managerSelection());
}

void PositionEditorModel::setAdvancedOpen(bool open)
{
    if (m_advanced == open)
        return;
    m_advanced = open;
    emit changed();
}

void PositionEditorModel::setPositionID(const std::string &id)
{
    if (!isCreating())
        return;
    m_position.id = id;
    emit changed();
}

void PositionEditorModel::setFte(double fte)
{
    m_position.fte = fte;
    m_unread.erase(NumberField::fte);
    emit changed();
}

void PositionEditorModel::setAssistant(bool assistant)
{
    m_position.isAssistant = assistant;
    emit changed();
}

void PositionEditorModel::setSiblingOrder(int64_t order)
{
    m_position.siblingOrder = order == 0 ? std::nullopt : std::optional<int64_t>(order);
    m_unread.erase(NumberField::siblingOrder);
    emit changed();
}

void PositionEditorModel::setAdditionalManagerID(const std::string &id)
{
    m_additionalManagerID = id;
    emit changed();
}

bool PositionEditorModel::canAddAdditionalManager() const
{
    // The same test as looking the choice up in additionalManagerOptions(), without
    // building that list of every position on each refresh.
    const std::string &chosen = m_additionalManagerID;
    const std::vector<std::string> &dotted = m_position.dottedManagerIDs;
    return !chosen.empty() && chosen != m_position.id && m_position.managerID != chosen
        && std::find(dotted.begin(), dotted.end(), chosen) == dotted.end() && entryPosition(chosen);
}

void PositionEditorModel::addAdditionalManager()
{
    if (!canAddAdditionalManager())
        return;
    m_position.dottedManagerIDs.push_back(m_additionalManagerID);
    m_additionalManagerID.clear();
    emit changed();
}

void PositionEditorModel::removeAdditionalManager(const std::string &id)
{
    std::erase(m_position.dottedManagerIDs, id);
    emit changed();
}

SchoolAssignment PositionEditorModel::schoolAssignment(const QUuid &row, const SchoolAssignment &fallback) const
{
    const auto found = std::find_if(m_schoolAllocations.begin(), m_schoolAllocations.end(),
                                    [&](const SchoolAllocationDraft &draft) { return draft.id == row; });
    return found == m_schoolAllocations.end() ? fallback : found->assignment;
}

void PositionEditorModel::setSchoolAssignment(const QUuid &row, const SchoolAssignment &assignment)
{
    const auto found = std::find_if(m_schoolAllocations.begin(), m_schoolAllocations.end(),
                                    [&](const SchoolAllocationDraft &draft) { return draft.id == row; });
    // A field of a row removed meanwhile may still write while it closes.
    if (found == m_schoolAllocations.end())
        return;
    found->assignment = assignment;
    emit changed();
}

void PositionEditorModel::removeSchoolAllocation(const QUuid &row)
{
    m_unreadSchoolFtes.erase(row);
    std::erase_if(m_schoolAllocations, [&](const SchoolAllocationDraft &draft) { return draft.id == row; });
    emit changed();
}

void PositionEditorModel::addSchoolAllocation()
{
    // Shared staff are placed at "Itinerant"; a later manager choice must not move them back.
    m_position.location = "Itinerant";
    m_locationWasEdited = true;
    m_schoolAllocations.push_back({QUuid::createUuid(), SchoolAssignment{.school = {}, .fte = 0.5}});
    emit changed();
}

const PositionEntryMatch *PositionEditorModel::findMatch(const std::vector<PositionEntryMatch> &matches,
                                                         const std::string &id) const
{
    const auto found = std::find_if(matches.begin(), matches.end(),
                                    [&](const PositionEntryMatch &match) { return match.id() == id; });
    return found == matches.end() ? nullptr : &*found;
}

void PositionEditorModel::editExisting(const std::string &positionID)
{
    const PositionEntryMatch *match = findMatch(peopleMatches(), positionID);
    if (!match)
        return;
    const Position chosen = match->position;
    load(chosen, chosen, false);
}

void PositionEditorModel::addToThisChart(const std::string &positionID)
{
    if (!m_onInclude)
        return;
    try {
        m_onInclude(positionID);
    } catch (const OrganizationError &error) {
        setError(error.message());
        return;
    }
    emit finished();
}

void PositionEditorModel::useVacancy(const std::string &positionID)
{
    const PositionEntryMatch *match = findMatch(vacancyMatches(), positionID);
    if (!match)
        return;
    const Position chosen = match->position;
    const std::string name = m_employeeName;
    const std::string number = m_employeeNumber;
    const bool vacant = m_vacant;
    load(chosen, chosen, vacant);
    if (!vacant) {
        m_employeeName = name;
        m_employeeNumber = number;
    }
    m_includeOnSheet = !m_selectedSheetID.empty();
    emit changed();
}

QString PositionEditorModel::saveButtonTitle() const
{
    if (isCreating() && m_vacant && m_quantity >= 2)
        return QStringLiteral("Create %1 Vacant Positions").arg(m_quantity);
    return QStringLiteral("Save");
}

void PositionEditorModel::setError(const std::string &message)
{
    m_errorMessage = toQt(message);
    emit changed();
    emit failed();
}

std::optional<std::string> PositionEditorModel::refusedNumber(const Position &position) const
{
    if (isUnread(NumberField::quantity) && visibility().quantity)
        return "Quantity must be a whole number from 1 to 1,000.";
    if (isUnread(NumberField::fte))
        return position.id + " needs a positive FTE.";
    // Only a typed FTE: a stored one beyond the limit does not block other edits.
    const bool fteTyped = !m_original || m_original->fte != position.fte;
    if (fteTyped && position.fte > maximumEnteredFte)
        return position.id + " needs an FTE of at most " + maximumEnteredFteText + ".";
    if (isUnread(NumberField::siblingOrder))
        return "Sibling order must be a whole number from " + std::to_string(INT64_MIN) + " to "
            + std::to_string(INT64_MAX) + ".";
    const bool schoolUnread = std::any_of(m_schoolAllocations.begin(), m_schoolAllocations.end(),
                                          [this](const SchoolAllocationDraft &row) { return isSchoolFteUnread(row.id); });
    if (schoolUnread)
        return position.id + " has an invalid school assignment.";
    return std::nullopt;
}

PositionEditorModel::SaveOutcome PositionEditorModel::save(SaveMode mode)
{
    Position position = m_position;
    // Only a new id is trimmed: an edit must name the stored position exactly.
    if (isCreating())
        position.id = Text::trimmed(position.id);
    position.title = Text::trimmed(position.title);
    if (position.customJobTitle)
        position.customJobTitle = Text::trimmed(*position.customJobTitle);
    if (position.title.empty() || position.jobTitle().empty()) {
        setError("Enter a Pay Level and Job Title.");
        return SaveOutcome::invalid;
    }
    const std::string name = Text::trimmed(m_employeeName);
    if (!m_vacant && name.empty()) {
        setError("Enter an employee name or mark the position vacant.");
        return SaveOutcome::invalid;
    }
    if (const std::optional<std::string> refused = refusedNumber(position)) {
        setError(*refused);
        return SaveOutcome::invalid;
    }
    if (m_vacant)
        position.employee.reset();
    else
        position.employee = Employee{.id = Text::trimmed(m_employeeNumber), .name = name};
    std::vector<std::string> &dotted = position.dottedManagerIDs;
    std::sort(dotted.begin(), dotted.end());
    dotted.erase(std::unique(dotted.begin(), dotted.end()), dotted.end());
    position.schoolAssignments.clear();
    for (const SchoolAllocationDraft &row : m_schoolAllocations)
        position.schoolAssignments.push_back(row.assignment);

    const PositionEntryRequest request{.position = std::move(position),
                                       .original = m_original,
                                       .quantity = isCreating() && m_vacant ? m_quantity : 1,
                                       .includeOnSheet = m_includeOnSheet};

    // A new person, or a person placed into a vacancy, whose name matches someone exactly.
    const bool newPerson = !m_vacant && (!m_original || !m_original->employee);
    const auto exactMatch = [this] {
        const std::vector<PositionEntryMatch> &matches = peopleMatches();
        return std::any_of(matches.begin(), matches.end(), [](const auto &m) { return m.exactName; });
    };
    if (newPerson && exactMatch()) {
        const int answer = m_dialogs.ask(
            QStringLiteral("This name already exists. Create a different person?"),
            QStringLiteral("Use Edit Existing or Add to This Chart if this is the same person. Continue only for "
                           "a different person who shares this name. Employee numbers must still be unique."),
            {{QStringLiteral("Save as a Different Person"), DialogButton::Role::action},
             {QStringLiteral("Review Existing Matches"), DialogButton::Role::cancel}},
            DialogButton::Role::action);
        if (answer != 0)
            return SaveOutcome::reviewingMatches;
    }
    return commit(request, mode);
}

std::shared_ptr<void> PositionEditorModel::takeKept()
{
    struct Kept {
        Organization entry;
        std::optional<std::unordered_map<std::string, size_t>> entryIndex;
        std::optional<EntryLists> entryLists;
        std::optional<PositionEntryMatching::PeopleIndex> peopleIndex;
    };
    auto kept = std::make_shared<Kept>(Kept{std::exchange(m_entry, {}), std::exchange(m_entryIndex, std::nullopt),
                                            std::exchange(m_entryLists, std::nullopt),
                                            std::exchange(m_peopleIndex, std::nullopt)});
    m_peopleKey.reset();
    m_peopleMatches.clear();
    m_vacancyKey.reset();
    m_vacancyMatches.clear();
    ++m_entryVersion;
    return kept;
}

PositionEditorModel::SaveOutcome PositionEditorModel::commit(const PositionEntryRequest &request, SaveMode mode)
{
    std::vector<Position> saved;
    try {
        const QScopedValueRollback saving(m_saving, true);
        saved = m_onSave(request);
    } catch (const OrganizationError &error) {
        setError(error.message());
        return SaveOutcome::failed;
    }

    std::set<std::string_view> savedIDs;
    for (const Position &position : saved)
        savedIDs.insert(position.id);
    std::erase_if(m_entry.positions, [&](const Position &position) { return savedIDs.contains(position.id); });
    m_entry.positions.insert(m_entry.positions.end(), saved.begin(), saved.end());
    entryPositionsChanged();

    if (mode == SaveMode::close || saved.empty()) {
        m_closed = true;
        emit changed();
        emit finished();
        return SaveOutcome::closed;
    }
    load(PositionEntryMatching::nextPosition(saved.back(), m_entry.positions), std::nullopt,
         !request.position.employee.has_value());
    m_advanced = false;
    m_successMessage = QStringLiteral("Saved %1 position(s). Ready for the next entry.").arg(saved.size());
    emit changed();
    return SaveOutcome::continued;
}
