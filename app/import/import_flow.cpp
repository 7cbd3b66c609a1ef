#include "app/import/import_flow.h"

#include "app/import/import_help.h"
#include "app/shell/dialogs.h"
#include "app/shell/file_saving.h"
#include "core/import/import_draft.h"
#include "core/support/organization_error.h"
#include "spreadsheet/spreadsheet_reader.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QStringList>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
#include <charconv>
#include <utility>

namespace {

constexpr int columnWidth = 168;
constexpr int gridMargin = 160;

QString toQt(const std::string &text) { return QString::fromStdString(text); }

bool isTemplateName(const std::string &name)
{
    return QString::fromStdString(name).compare(QStringLiteral("Template"), Qt::CaseInsensitive) == 0;
}

// "Row 12: ..." gives 12; anything else nothing.
std::optional<int> messageRow(const std::string &message)
{
    if (!message.starts_with("Row "))
        return std::nullopt;
    int row = 0;
    const char *begin = message.data() + 4;
    const char *end = message.data() + message.size();
    const auto [next, error] = std::from_chars(begin, end, row);
    if (error != std::errc() || next == begin || next == end || *next != ':')
        return std::nullopt;
    return row;
}

constexpr QLatin1String draftExtension("vantrelimport");

// "*.[cC][sS][vV]": file choosers on Linux match names case-sensitively.
QString anyCasePattern(const QString &extension)
{
    QString pattern = QStringLiteral("*.");
    for (const QChar c : extension)
        pattern += QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper());
    return pattern;
}

bool isDraftPath(const QString &path)
{
    return QFileInfo(path).suffix().compare(draftExtension, Qt::CaseInsensitive) == 0;
}

// The whole typed name, with the draft's extension appended unless it ends so already: a
// dot in a name ("Dr.Smith corrections", "draft1.json") is part of the name, not a file
// type to drop.
QString draftPath(const QString &chosen)
{
    const QString extension = QLatin1Char('.') + draftExtension;
    return chosen.endsWith(extension, Qt::CaseInsensitive) ? chosen : chosen + extension;
}

} // namespace

// What the worker thread hands back: exceptions do not cross QtConcurrent unless they are
// QExceptions, so the message travels as data.
struct ImportFlow::ReadResult {
    std::vector<ImportSheet> sheets;
    std::optional<ImportDraft> draft;
    std::optional<QString> error;
};

ImportFlow::ImportFlow(Organization existing, ApplyAction apply, Dialogs &dialogs, Reader reader, QObject *parent)
    : QObject(parent), m_existing(std::move(existing)), m_apply(std::move(apply)), m_dialogs(dialogs),
      m_reader(reader ? std::move(reader) : Reader([](const QString &path) { return SpreadsheetReader::read(path); }))
{
    m_reportedWidth = minimumWidth();
}

ImportFlow::~ImportFlow() = default;

QString ImportFlow::fileFilter()
{
    const auto filter = [](const QString &name, std::initializer_list<const char *> extensions) {
        QStringList patterns;
        for (const char *extension : extensions)
            patterns.append(anyCasePattern(QString::fromLatin1(extension)));
        return QStringLiteral("%1 (%2)").arg(name, patterns.join(' '));
    };
    return QStringList{filter(QStringLiteral("Spreadsheets and correction drafts"),
                              {"csv", "tsv", "txt", "xlsx", "xls", "vantrelimport"}),
                       filter(QStringLiteral("Excel workbooks"), {"xlsx", "xls"}),
                       filter(QStringLiteral("CSV and text files"), {"csv", "tsv", "txt"}),
                       filter(QStringLiteral("Correction drafts"), {"vantrelimport"})}
        .join(QStringLiteral(";;"));
}

bool ImportFlow::canShow(Step step) const
{
    return step == Step::file || sheet() != nullptr;
}

void ImportFlow::showStep(Step step)
{
    if (!canShow(step) || step == m_step)
        return;
    m_step = step;
    if (step == Step::corrections) {
        // The grid reads the review only while it shows: entering step 3 brings it up to date.
        m_reviewPending = true;
    }
    changed();
}

void ImportFlow::setMode(ImportMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    invalidateReview();
    changed();
}

void ImportFlow::setReferences(ManagerReferences references)
{
    if (references == m_references)
        return;
    m_references = references;
    invalidateReview();
    changed();
}

void ImportFlow::setSheetName(const std::string &name)
{
    m_sheetName = name;
    m_heldRow.reset();
    m_headerRow = 1;
    suggestMapping();
    invalidateReview();
    changed();
}

int ImportFlow::headerRowLimit() const
{
    const ImportSheet *chosen = sheet();
    return chosen ? std::max(1, int(chosen->rows.size())) : 1;
}

void ImportFlow::setHeaderRow(int row)
{
    row = std::clamp(row, 1, headerRowLimit());
    if (row == m_headerRow)
        return;
    m_headerRow = row;
    suggestMapping();
    invalidateReview();
    changed();
}

std::vector<ImportColumnOption> ImportFlow::columnOptions() const
{
    const ImportSheet *chosen = sheet();
    if (!chosen)
        return {ImportColumnOption{.id = "-1", .title = "Not mapped", .detail = ""}};
    return TabularImport::columnOptions(*chosen, m_headerRow - 1);
}

std::string ImportFlow::columnOptionID(ImportField field) const
{
    return TabularImport::columnOptionID(m_mapping, field);
}

void ImportFlow::chooseColumn(ImportField field, std::string_view optionID)
{
    ImportMapping next = m_mapping;
    TabularImport::chooseColumnOption(next, field, optionID);
    if (next == m_mapping)
        return;
    m_mapping = std::move(next);
    invalidateReview();
    changed();
}

void ImportFlow::setRowFilter(ImportRowFilter filter)
{
    if (filter == m_rowFilter)
        return;
    m_rowFilter = filter;
    invalidateRows();
    changed();
}

void ImportFlow::setValidationExpanded(bool expanded)
{
    if (expanded == m_validationExpanded)
        return;
    m_validationExpanded = expanded;
    changed();
}

const ImportSheet *ImportFlow::sheet() const
{
    const auto found = std::find_if(m_sheets.begin(), m_sheets.end(),
                                    [&](const ImportSheet &candidate) { return candidate.name == m_sheetName; });
    return found == m_sheets.end() ? nullptr : &*found;
}

ImportSheet *ImportFlow::editableSheet()
{
    return const_cast<ImportSheet *>(sheet());
}

std::vector<std::string> ImportFlow::headers() const
{
    const ImportSheet *chosen = sheet();
    return chosen ? TabularImport::headerCells(*chosen, m_headerRow - 1) : std::vector<std::string>();
}

int ImportFlow::columnCount() const
{
    const ImportSheet *chosen = sheet();
    if (!chosen)
        return 0;
    size_t longest = 0;
    for (const auto &row : chosen->rows)
        longest = std::max(longest, row.size());
    return int(longest); // the header row is one of the rows
}

const ImportReview *ImportFlow::review() const
{
    const ImportSheet *chosen = sheet();
    if (!chosen)
        return nullptr;
    if (!m_reviewValid) {
        m_review = TabularImport::review(*chosen, m_headerRow - 1, m_mapping, m_references, m_mode, m_existing);
        m_rowMessages.clear();
        for (const std::string &error : m_review->errors) {
            if (const std::optional<int> row = messageRow(error))
                m_rowMessages[*row - 1].errors.push_back(error);
        }
        for (const std::string &warning : m_review->warnings) {
            if (const std::optional<int> row = messageRow(warning))
                m_rowMessages[*row - 1].warnings.push_back(warning);
        }
        m_reviewValid = true;
    }
    return &*m_review;
}

const std::vector<int> &ImportFlow::shownRows() const
{
    if (!m_rowsValid) {
        const ImportReview *current = review();
        m_shownRows = current ? TabularImport::filteredRows(*sheet(), m_headerRow - 1, m_mapping, *current, m_rowFilter)
                              : std::vector<int>();
        if (current && m_heldRow && *m_heldRow >= m_headerRow && *m_heldRow < int(sheet()->rows.size())) {
            const auto at = std::lower_bound(m_shownRows.begin(), m_shownRows.end(), *m_heldRow);
            if (at == m_shownRows.end() || *at != *m_heldRow)
                m_shownRows.insert(at, *m_heldRow);
        }
        m_rowsValid = true;
    }
    return m_shownRows;
}

void ImportFlow::holdRow(int row)
{
    if (m_heldRow == row)
        return;
    m_heldRow = row;
    invalidateRows();
}

void ImportFlow::releaseRow(int row)
{
    if (m_heldRow != row)
        return;
    m_heldRow.reset();
    invalidateRows();
}

const std::vector<std::string> &ImportFlow::rowMessages(int row, ImportMessageKind kind) const
{
    static const std::vector<std::string> none;
    if (!review())
        return none;
    const auto found = m_rowMessages.find(row);
    if (found == m_rowMessages.end())
        return none;
    return kind == ImportMessageKind::error ? found->second.errors : found->second.warnings;
}

QString ImportFlow::countsText() const
{
    const ImportReview *current = review();
    if (!current)
        return {};
    QString text = QStringLiteral("%1 rows · %2 errors · %3 warnings")
                       .arg(shownRows().size())
                       .arg(current->errors.size())
                       .arg(current->warnings.size());
    // Said apart from the other warnings: a whole file of them is easy to apply unseen.
    if (const int zeros = current->leadingZeroIDRows; zeros > 0)
        text += zeros == 1 ? QStringLiteral(" · 1 position ID differs only by leading zeros")
                           : QStringLiteral(" · %1 position IDs differ only by leading zeros").arg(zeros);
    if (const int zeros = current->leadingZeroRows; zeros > 0)
        text += zeros == 1 ? QStringLiteral(" · 1 employee number differs only by leading zeros")
                           : QStringLiteral(" · %1 employee numbers differ only by leading zeros").arg(zeros);
    return text;
}

QString ImportFlow::caption() const
{
    return m_fileName + QStringLiteral(" · ") + toQt(m_sheetName);
}

QString ImportFlow::cell(int row, int column) const
{
    const ImportSheet *chosen = sheet();
    if (!chosen || row < 0 || row >= int(chosen->rows.size()) || column < 0 || column >= int(chosen->rows[row].size()))
        return {};
    return toQt(chosen->rows[row][column]);
}

void ImportFlow::setCell(int row, int column, const QString &text)
{
    ImportSheet *chosen = editableSheet();
    if (!chosen || row < 0 || row >= int(chosen->rows.size()) || column < 0)
        return;
    std::vector<std::string> &cells = chosen->rows[row];
    std::string value = text.toStdString();
    if (column < int(cells.size()) && cells[column] == value)
        return;
    if (column >= int(cells.size()))
        cells.resize(column + 1);
    cells[column] = std::move(value);
    invalidateReview();
    changed();
}

int ImportFlow::minimumWidth() const
{
    if (m_step != Step::corrections)
        return baseWidth;
    return std::max(baseWidth, columnCount() * columnWidth + gridMargin);
}

QString ImportFlow::primaryTitle() const
{
    switch (m_step) {
    case Step::file:
        return QStringLiteral("Next: Match Columns");
    case Step::columns:
        return QStringLiteral("Review Import");
    case Step::corrections:
        break;
    }
    switch (m_mode) {
    case ImportMode::add:
        return QStringLiteral("Add People");
    case ImportMode::replace:
        return QStringLiteral("Replace Organization");
    case ImportMode::update:
        break;
    }
    return QStringLiteral("Apply Updates");
}

bool ImportFlow::canPressPrimary() const
{
    if (m_loading || !sheet())
        return false;
    return m_step != Step::corrections || review()->organization.has_value();
}

void ImportFlow::pressPrimary()
{
    if (!canPressPrimary())
        return;
    if (m_step == Step::file)
        showStep(Step::columns);
    else if (m_step == Step::columns)
        showStep(Step::corrections);
    else
        applyImport();
}

void ImportFlow::chooseFile()
{
    if (!canChooseFile())
        return;
    if (const std::optional<QString> path = m_dialogs.fileToOpen(fileFilter()))
        load(*path);
}

void ImportFlow::load(const QString &path)
{
    if (m_loading)
        return;
    m_loading = true;
    m_sheets.clear();
    m_mapping.clear();
    m_sheetName.clear();
    m_heldRow.reset();
    m_fileName = QFileInfo(path).fileName();
    m_errorMessage.reset();
    invalidateReview();
    changed();

    const bool isDraft = isDraftPath(path);
    auto *watcher = new QFutureWatcher<ReadResult>(this);
    connect(watcher, &QFutureWatcher<ReadResult>::finished, this, [this, watcher] {
        watcher->deleteLater();
        finishLoading(watcher->result());
    });
    // Only values go to the worker: when the window closes first, its result is dropped.
    watcher->setFuture(QtConcurrent::run([reader = m_reader, path, isDraft] {
        ReadResult result;
        try {
            if (isDraft)
                result.draft = ImportDraft::readFile(FileSaving::localPath(path));
            else
                result.sheets = reader(path);
        } catch (const std::exception &error) {
            result.error = QString::fromStdString(error.what());
        }
        return result;
    }));
}

void ImportFlow::finishLoading(ReadResult result)
{
    m_loading = false;
    if (result.error) {
        fail(*result.error);
        return;
    }
    if (!result.draft) {
        loadSheets(std::move(result.sheets));
        return;
    }
    ImportDraft &draft = *result.draft;
    m_sheetName = draft.sheet.name;
    m_sheets = {std::move(draft.sheet)};
    m_headerRow = draft.headerRow + 1;
    m_mapping = std::move(draft.mapping);
    m_references = draft.employeeReferences ? ManagerReferences::employeeNumbers : ManagerReferences::positionIDs;
    m_mode = draft.mode;
    m_step = Step::corrections;
    m_rowFilter = ImportRowFilter::all;
    invalidateReview();
    changed();
}

void ImportFlow::loadSheets(std::vector<ImportSheet> sheets)
{
    m_loading = false;
    m_sheets = std::move(sheets);
    m_heldRow.reset();
    const auto chosen = std::find_if(m_sheets.begin(), m_sheets.end(),
                                     [](const ImportSheet &candidate) { return isTemplateName(candidate.name); });
    m_sheetName = chosen != m_sheets.end() ? chosen->name : m_sheets.empty() ? std::string() : m_sheets.front().name;
    m_headerRow = 1;
    suggestMapping();
    m_step = Step::file;
    m_rowFilter = ImportRowFilter::all;
    m_errorMessage.reset();
    invalidateReview();
    changed();
}

void ImportFlow::suggestMapping()
{
    m_mapping = TabularImport::suggestedMapping(headers());
    const ImportSheet *chosen = sheet();
    if (!chosen)
        return;
    if (const auto guess = TabularImport::guessedManagerReferences(*chosen, m_headerRow - 1, m_mapping, m_mode, m_existing))
        m_references = *guess;
}

void ImportFlow::applyImport()
{
    const ImportReview *current = review();
    if (!current || !current->organization)
        return;
    try {
        m_apply(*current->organization, m_mode);
    } catch (const std::exception &error) {
        fail(QString::fromStdString(error.what()));
        return;
    }
    emit closeRequested();
}

void ImportFlow::saveDraft()
{
    const ImportSheet *chosen = sheet();
    if (!chosen)
        return;
    // The panel would ask about the name typed, which may not be the file written ("w1.json"
    // is saved as "w1.json.vantrelimport"): the question is asked here, about that file.
    const std::optional<QString> typed = m_dialogs.fileToSaveUnconfirmed(
        QStringLiteral("Correction Draft (*.vantrelimport)"), QStringLiteral("Import Corrections.vantrelimport"));
    if (!typed)
        return;
    // Only the draft's own extension opens as a draft again.
    const QString path = draftPath(*typed);
    if (QFileInfo::exists(path) &&
        !m_dialogs.confirm(QStringLiteral("“%1” already exists. Do you want to replace it?").arg(QFileInfo(path).fileName())))
        return;
    const ImportDraft draft{.sheet = *chosen,
                            .headerRow = m_headerRow - 1,
                            .mapping = m_mapping,
                            .employeeReferences = m_references == ManagerReferences::employeeNumbers,
                            .mode = m_mode};
    try {
        FileSaving::write(path, draft.encode());
    } catch (const OrganizationError &error) {
        fail(toQt(error.message()));
    }
}

void ImportFlow::openInstructions()
{
    try {
        ImportHelp::openInstructions();
    } catch (const OrganizationError &error) {
        fail(toQt(error.message()));
    }
}

void ImportFlow::saveTemplate()
{
    try {
        ImportHelp::saveTemplate(m_dialogs);
    } catch (const OrganizationError &error) {
        fail(toQt(error.message()));
    }
}

void ImportFlow::close()
{
    emit closeRequested();
}

void ImportFlow::fail(const QString &message)
{
    m_errorMessage = message;
    m_failurePending = true;
    changed();
}

void ImportFlow::changed()
{
    m_statePending = true;
    scheduleSignals();
}

void ImportFlow::invalidateReview()
{
    m_reviewValid = false;
    m_review.reset();
    m_rowMessages.clear();
    invalidateRows();
}

void ImportFlow::invalidateRows()
{
    m_rowsValid = false;
    m_reviewPending = true;
    scheduleSignals();
}

void ImportFlow::scheduleSignals()
{
    if (m_signalsScheduled)
        return;
    // Several changes in one turn (a keystroke, a sheet load) give one review and one redraw.
    m_signalsScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_signalsScheduled = false;
        if (std::exchange(m_statePending, false))
            emit stateChanged();
        if (std::exchange(m_reviewPending, false))
            emit reviewChanged();
        // Only while the failure still stands: a load begun meanwhile took it back.
        if (std::exchange(m_failurePending, false) && m_errorMessage)
            emit failed();
        const int width = minimumWidth();
        if (width != m_reportedWidth) {
            m_reportedWidth = width;
            emit widthChanged(width);
        }
    });
}
