#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "app/sidebar/dropdown_option.h"
#include "core/document/organization_sheet.h"
#include "core/document/position_entry.h"
#include "core/entry/entry_matching.h"
#include "core/model/organization.h"
#endif

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class Dialogs;

// One school row of the editor; rows are told apart by `id` only.
struct SchoolAllocationDraft {
    QUuid id;
    SchoolAssignment assignment;
    bool operator==(const SchoolAllocationDraft &) const = default;
};

// Which parts of the form are shown for the editor's current state.
struct PositionEditorVisibility {
    bool employeeName = false;
    bool peoplePanel = false;
    bool quantity = false;
    bool useManagerButton = false;
    bool vacancyPanel = false;
    bool includeNote = false;
    bool employeeNumber = false;
    bool startNewEntry = false;
    bool positionIDEditable = false;
    bool operator==(const PositionEditorVisibility &) const = default;
};

// One candidate row of a match panel: four summary lines and the row's second button.
struct PositionMatchRow {
    std::string positionID;
    std::array<QString, 4> lines;
    // "Add to This Chart" or "Already on This Chart"; empty when the row offers no include.
    QString includeTitle;
    bool includeEnabled = false;
};

struct PositionMatchPanel {
    std::vector<PositionMatchRow> rows; // the first three candidates
    QString countLine; // empty below four candidates
};

// The person-and-position editor without widgets: a private copy of one position plus the
// form values that are not fields of it, the rules that tie the fields together, the
// suggestions of existing people and vacancies, and the save through the presenter's
// callback. Nothing reaches the document except through `onSave` and `onInclude`.
// Lists derived from the working positions (manager options, completion lists, the
// folded names behind the matches) are built on first use after a change of those
// positions, so a save that closes the editor does not build them for nobody.
class PositionEditorModel : public QObject {
    Q_OBJECT
public:
    using SaveAction = std::function<std::vector<Position>(const PositionEntryRequest &)>;
    using IncludeAction = std::function<void(const std::string &positionID)>;

    enum class CompletionField { payLevel, jobTitle, department, location };
    enum class SaveMode { close, addAnother };
    enum class SaveOutcome {
        invalid, // a field is missing; the message is shown
        reviewingMatches, // the name exists and the user chose to review the matches
        closed, // saved; the editor closes
        continued, // saved; the next entry is loaded
        failed, // the save action refused; the message is shown
    };

    // `position` is a prepared blank entry when `isNew`, else the stored position (never a
    // drawn card: the save compares it with what the document holds). `onInclude` may be
    // empty. First appearance runs here.
    PositionEditorModel(Position position, std::vector<Position> positions, bool isNew,
                        std::vector<OrganizationSheet> sheets, std::string selectedSheetID, SaveAction onSave,
                        IncludeAction onInclude, Dialogs &dialogs, QObject *parent = nullptr);
    ~PositionEditorModel() override;

    // The presenter's positions or charts changed (for example after a save): only these
    // lists follow; the entry being typed stays. Given while a save is being made, they are
    // shown once it is done.
    void setPositions(const std::vector<Position> &positions);
    void setSheets(std::vector<OrganizationSheet> sheets);
    const std::vector<Position> &entryPositions() const { return m_entry.positions; }
    // Changes with every change of the working positions (and so of the lists made from them).
    uint64_t entryVersion() const { return m_entryVersion; }
    // How often the manager options and completion lists were built, for tests.
    int listBuildCount() const { return m_listBuildCount; }
    // A save closed the editor: the form has nothing more to show.
    bool hasClosed() const { return m_closed; }
    // For the closing editor: what the model made of the whole organization (the working
    // copy, its index and lists), given away so that it can be freed elsewhere. The form
    // then works on no positions.
    std::shared_ptr<void> takeKept();

    // Resets the form to `position`; `original` absent makes a new entry.
    void load(const Position &position, const std::optional<Position> &original, bool vacant);
    void startNewEntry();

    const Position &position() const { return m_position; }
    const std::optional<Position> &original() const { return m_original; }
    bool isCreating() const { return !m_original.has_value(); }
    QString title() const;
    PositionEditorVisibility visibility() const;
    bool wantsNameFocus() const { return m_nameFocused; }

    bool isVacant() const { return m_vacant; }
    void setVacant(bool vacant);
    const std::string &employeeName() const { return m_employeeName; }
    void setEmployeeName(const std::string &name);
    const std::string &employeeNumber() const { return m_employeeNumber; }
    void setEmployeeNumber(const std::string &number);
    int quantity() const { return m_quantity; }
    void setQuantity(int quantity);

    // The number fields as typed, in the user's locale. Text that reads is written at once;
    // text that does not stays in its field, keeps the last value out of the entry's way and
    // is refused at saving, so nothing typed is dropped or quietly replaced.
    enum class NumberField { quantity, fte, siblingOrder };
    void setNumberText(NumberField field, const QString &text);
    // A school row's FTE; `built` is the row's assignment when its field was made.
    void setSchoolFteText(const QUuid &row, const SchoolAssignment &built, const QString &text);
    // Whether the field holds text that did not read: its value is not shown over it.
    bool isUnread(NumberField field) const { return m_unread.contains(field); }
    bool isSchoolFteUnread(const QUuid &row) const { return m_unreadSchoolFtes.contains(row); }
    // Numbers as the fields read them: the user's locale, whole numbers without grouping.
    static std::optional<double> readDecimal(const QString &text);
    static std::optional<int64_t> readWholeNumber(const QString &text);

    // Pay level and job title. A job-title write equal to the current job title changes
    // nothing; any other text becomes the custom job title.
    void setPayLevel(const std::string &payLevel);
    void setJobTitle(const std::string &jobTitle);
    void matchPayLevel();
    QString jobTitleStatus() const;

    // Manager, department and location: each text write marks its field edited; choosing
    // a manager copies the manager's non-empty department and location into fields that
    // are empty or not edited.
    std::string managerSelection() const { return m_position.managerID.value_or(std::string()); }
    void selectManager(const std::string &id);
    void setDepartment(const std::string &department);
    void setLocation(const std::string &location);
    void useManagersDepartmentAndLocation();
    bool departmentWasEdited() const { return m_departmentWasEdited; }
    bool locationWasEdited() const { return m_locationWasEdited; }

    // "None — top-level position", then every other position by job title.
    std::vector<DropdownOption> managerOptions() const;
    // The distinct non-empty values of one field of the working positions, collated.
    const QStringList &completions(CompletionField field) const;

    // Advanced fields.
    bool isAdvancedOpen() const { return m_advanced; }
    void setAdvancedOpen(bool open);
    void setPositionID(const std::string &id); // ignored while editing a stored position
    void setFte(double fte);
    void setAssistant(bool assistant);
    void setSiblingOrder(int64_t order); // 0 removes it

    std::vector<DropdownOption> additionalManagerOptions() const;
    const std::string &additionalManagerID() const { return m_additionalManagerID; }
    void setAdditionalManagerID(const std::string &id);
    bool canAddAdditionalManager() const;
    void addAdditionalManager();
    void removeAdditionalManager(const std::string &id); // every occurrence
    // The text of one additional-manager row: job title — name, or the bare id.
    QString additionalManagerLabel(const std::string &id) const;

    const std::vector<SchoolAllocationDraft> &schoolAllocations() const { return m_schoolAllocations; }
    // The row's assignment, or `fallback` (its value when the row was built) once removed.
    SchoolAssignment schoolAssignment(const QUuid &row, const SchoolAssignment &fallback) const;
    void setSchoolAssignment(const QUuid &row, const SchoolAssignment &assignment); // dropped once removed
    void removeSchoolAllocation(const QUuid &row);
    void addSchoolAllocation();

    // Possible existing people and vacancies.
    const std::vector<PositionEntryMatch> &peopleMatches() const;
    const std::vector<PositionEntryMatch> &vacancyMatches() const;
    PositionMatchPanel peoplePanel() const;
    PositionMatchPanel vacancyPanel() const;
    std::array<QString, 4> matchSummary(const PositionEntryMatch &match) const;
    QString vacancyButtonTitle() const;
    bool isIncludingOnSheet() const { return m_includeOnSheet; }
    void editExisting(const std::string &positionID);
    // Puts the candidate on the chart and closes the editor without saving the entry.
    void addToThisChart(const std::string &positionID);
    // "Fill This Vacancy" or "Use Existing Vacancy".
    void useVacancy(const std::string &positionID);

    // Saving.
    QString saveButtonTitle() const;
    SaveOutcome save(SaveMode mode);
    const QString &errorMessage() const { return m_errorMessage; }
    const QString &successMessage() const { return m_successMessage; }

signals:
    void changed(); // any state of the form
    void loaded(); // a new entry or position was loaded into the form
    void finished(); // the editor should close
    // A save or an action was refused; errorMessage() says why, perhaps in the very words
    // it already showed. Each refusal is news to the user.
    void failed();

private:
    void appear(bool isNew);
    void entryPositionsChanged();
    // The lists of the working positions, built now if they changed since last asked.
    struct EntryLists {
        std::vector<DropdownOption> sortedManagers; // every working position, in option order
        std::array<QStringList, 4> completions;
    };
    const EntryLists &entryLists() const;
    const Position *entryPosition(const std::string &id) const;
    const PositionEntryMatch *findMatch(const std::vector<PositionEntryMatch> &matches, const std::string &id) const;
    PositionMatchPanel panel(const std::vector<PositionEntryMatch> &matches, bool people) const;
    QString chartNames(const std::string &positionID, const QString &none) const;
    const OrganizationSheet *selectedSheet() const;
    SaveOutcome commit(const PositionEntryRequest &request, SaveMode mode);
    void setError(const std::string &message);
    // The refusal of a number field that did not read or is out of range; nothing when all read.
    std::optional<std::string> refusedNumber(const Position &position) const;

    std::vector<OrganizationSheet> m_sheets;
    const std::string m_selectedSheetID;
    const SaveAction m_onSave;
    const IncludeAction m_onInclude;
    Dialogs &m_dialogs;

    Organization m_entry; // the working positions
    // Both absent until asked for after a change.
    mutable std::optional<std::unordered_map<std::string, size_t>> m_entryIndex; // id -> first position with it
    mutable std::optional<EntryLists> m_entryLists;
    mutable int m_listBuildCount = 0;
    bool m_closed = false;
    bool m_saving = false; // inside onSave

    Position m_position;
    std::optional<Position> m_original;
    bool m_vacant = false;
    int m_quantity = 1;
    std::string m_employeeNumber;
    std::string m_employeeName;
    std::string m_additionalManagerID;
    QString m_errorMessage;
    QString m_successMessage;
    bool m_departmentWasEdited = false;
    bool m_locationWasEdited = false;
    bool m_advanced = false;
    bool m_includeOnSheet = false;
    std::vector<SchoolAllocationDraft> m_schoolAllocations;
    std::set<NumberField> m_unread;
    std::set<QUuid> m_unreadSchoolFtes;
    bool m_nameFocused = false;

    // Matches follow every keystroke; they are computed again only when what they read changed.
    struct PeopleKey {
        std::string name, number, excluding;
        bool vacant = false;
        uint64_t entryVersion = 0;
        bool operator==(const PeopleKey &) const = default;
    };
    struct VacancyKey {
        Position position;
        bool creating = false;
        uint64_t entryVersion = 0;
        bool operator==(const VacancyKey &) const = default;
    };
    uint64_t m_entryVersion = 0;
    mutable std::optional<PositionEntryMatching::PeopleIndex> m_peopleIndex; // made on first use
    mutable std::optional<PeopleKey> m_peopleKey;
    mutable std::vector<PositionEntryMatch> m_peopleMatches;
    mutable std::optional<VacancyKey> m_vacancyKey;
    mutable std::vector<PositionEntryMatch> m_vacancyMatches;
};
