#include "app/chart/version_history.h"

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/sheet_commands.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/dialogs.h"
#include "app/shell/file_saving.h"
#include "app/shell/focus_keeper.h"
#include "app/shell/organization_document.h"
#include "printing/file_names.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <algorithm>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

static const QString baselineErrorTitle = QStringLiteral("Baseline Error");

namespace {

// The busy cursor while a large document is encoded and written.
struct BusyCursor {
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// The same file under two names: equal canonical paths (links resolved), or the same
// device and inode when both exist (a hard link).
bool sameFile(const QString &a, const QString &b)
{
    if (OrganizationDocument::canonicalPath(a) == OrganizationDocument::canonicalPath(b))
        return true;
    struct stat first {}, second {};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 || ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

VersionHistory::VersionHistory(ChartView &view) : QObject(&view), m_view(view)
{
    setObjectName(QStringLiteral("versionHistory"));
    connect(&view.document(), &OrganizationDocument::archiveChanged, this, [this] {
        forgetUndoneBaseline();
        emit changed();
    });
}

void VersionHistory::forgetUndoneBaseline()
{
    if (m_removedVersionID.empty())
        return;
    const auto &revisions = m_view.archive().revisions;
    const bool back = std::any_of(revisions.begin(), revisions.end(),
                                  [&](const auto &revision) { return revision->id == m_removedVersionID; });
    if (!back)
        return;
    m_baselineMessage.clear();
    m_removedVersionID.clear();
}

VersionHistory &VersionHistory::of(ChartView &view)
{
    if (auto *history = view.findChild<VersionHistory *>(QStringLiteral("versionHistory"), Qt::FindDirectChildrenOnly))
        return *history;
    return *new VersionHistory(view);
}

void VersionHistory::setVersionNote(const QString &note)
{
    m_versionNote = note;
}

std::vector<VersionRow> VersionHistory::rows() const
{
    const auto &revisions = m_view.archive().revisions;
    std::vector<VersionRow> rows;
    rows.reserve(revisions.size());
    const QLocale locale;
    for (auto revision = revisions.rbegin(); revision != revisions.rend(); ++revision) {
        const OrganizationRevision &version = **revision;
        const QDateTime date =
            QDateTime::fromMSecsSinceEpoch(qint64(version.date.secondsSince1970() * 1000));
        VersionRow row;
        row.id = version.id;
        row.heading = QStringLiteral("Version %1 \u2014 %2").arg(version.number).arg(toQt(version.note));
        row.date = locale.toString(date, QLocale::ShortFormat);
        const QString positions = QStringLiteral("%1 positions").arg(version.organization.size());
        row.detail = row.date + QStringLiteral(" \u00b7 ") + positions;
        row.spoken = row.heading + QStringLiteral(" \u00b7 ") + positions;
        rows.push_back(std::move(row));
    }
    return rows;
}

QString VersionHistory::countText() const
{
    // Kept as the product words it, also for one version.
    return QStringLiteral("%1 saved versions").arg(m_view.archive().revisions.size());
}

bool VersionHistory::canSetBaseline() const
{
    return !m_view.archive().revisions.empty() && m_view.canEditCurrent();
}

void VersionHistory::saveVersion()
{
    // Blanks are a note too: only an empty field stands for the default.
    const std::string note = m_versionNote.isEmpty() ? std::string("Saved version") : m_versionNote.toStdString();
    try {
        m_view.requireCurrentEditing();
        m_view.document().edit(QStringLiteral("Save Version"), [&](OrganizationArchive &next) { next.checkpoint(note); });
    } catch (const OrganizationError &error) {
        m_view.showError(toQt(error.message()));
        return;
    }
    m_versionNote.clear();
    emit changed();
}

bool VersionHistory::restore(const std::string &id)
{
    try {
        m_view.requireCurrentEditing();
        m_view.document().edit(QStringLiteral("Restore Version"), [&](OrganizationArchive &next) { next.restore(id); });
    } catch (const OrganizationError &error) {
        m_view.showError(toQt(error.message()));
        return false;
    }
    m_view.setSelectedID(std::nullopt);
    return true;
}

void VersionHistory::requestBaseline()
{
    const std::size_t count = m_view.archive().revisions.size();
    const QString message =
        QStringLiteral("Remove all %1 saved versions, keeping the current positions, employees, sheets, groups, and "
                       "print settings unchanged. Removed versions cannot be restored from this document after "
                       "saving. A backup keeps the old history in a separate file.")
            .arg(count);
    const int choice = m_view.dialogs().ask(
        QStringLiteral("Set the current organization as the baseline?"), message,
        {{QStringLiteral("Save Backup and Set Baseline\u2026"), DialogButton::Role::action},
         {QStringLiteral("Set Baseline Without Backup"), DialogButton::Role::destructive},
         {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
        DialogButton::Role::action);
    if (choice == 0 || choice == 1)
        setBaseline(choice == 0);
}

std::optional<QString> VersionHistory::chooseBackup()
{
    const OrganizationDocument &document = m_view.document();
    QString proposed = FileNames::fitted(SheetCommands::safeFileName(toQt(m_view.archive().name)),
                                         QStringLiteral(" \u2014 Before Baseline.json"));
    // Beside the document, where its user looks for it; an untitled one has no folder.
    if (document.hasFile())
        proposed = QFileInfo(document.filePath()).absoluteDir().filePath(proposed);
    // Modal for the whole application: nothing can change the document while it is open.
    const std::optional<QString> path = m_view.dialogs().fileToSaveWithMessage(
        QStringLiteral("Save Organization Before Baseline"),
        QStringLiteral("This separate backup includes the current organization and all saved versions."),
        QStringLiteral("Organization Before Baseline (*.json)"), proposed);
    if (!path || path->isEmpty())
        return std::nullopt;
    if (document.hasFile() && sameFile(*path, document.filePath()))
        throw OrganizationError::invalid(
            "Choose a different filename for the backup so it stays separate from the baseline organization.");
    return path;
}

void VersionHistory::setBaseline(bool saveBackup)
{
    QString backupName;
    try {
        m_view.requireCurrentEditing();
        // Refuse before asking for a file when the baseline itself cannot be set.
        {
            OrganizationArchive trial = m_view.archive();
            trial.setBaseline();
        }
        if (saveBackup) {
            const std::optional<QString> path = chooseBackup();
            if (!path)
                return;
            BusyCursor busy;
            // The document as it is now, with every version, once the panel has closed.
            try {
                FileSaving::write(*path, m_view.archive().encodeDocument());
            } catch (const FileWriteError &error) {
                throw OrganizationError::invalid(QStringLiteral("The backup “%1” could not be saved: %2.")
                                                     .arg(QString::fromStdString(error.fileName()),
                                                          QString::fromStdString(error.reason()))
                                                     .toStdString());
            }
            backupName = QFileInfo(*path).fileName();
        }
        m_view.requireCurrentEditing();
        const auto &before = m_view.archive().revisions;
        const std::string removedID = before.empty() ? std::string() : before.back()->id;
        std::size_t removed = 0;
        m_view.document().edit(QStringLiteral("Set Baseline"),
                               [&](OrganizationArchive &next) { removed = next.setBaseline(); });
        m_removedVersionID = removedID;
        m_versionNote.clear();
        m_baselineMessage =
            QStringLiteral("Baseline set; removed %1 saved versions. Save the organization (Ctrl+S) to store it on disk.")
                .arg(removed);
        if (!backupName.isEmpty())
            m_baselineMessage += QStringLiteral(" Backup: %1.").arg(backupName);
    } catch (const OrganizationError &error) {
        m_view.dialogs().alert(baselineErrorTitle, toQt(error.message()));
        return;
    }
    emit changed();
}

// ---- Dialog ----

VersionHistoryDialog::VersionHistoryDialog(VersionHistory &history, QWidget *parent)
    : QDialog(parent), m_history(history)
{
    setWindowTitle(QStringLiteral("Version History"));
    setFixedSize(dialogWidth, dialogHeight);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(16);

    auto *title = new QLabel(QStringLiteral("Version History"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    title->setFont(big);
    auto *explanation = new QLabel(QStringLiteral("Versions are stored inside this organization file. Restoring keeps "
                                                  "the current state as a recovery version."),
                                   this);
    explanation->setWordWrap(true);
    explanation->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(title);
    layout->addWidget(explanation);

    auto *saveRow = new QHBoxLayout;
    m_note = new QLineEdit(history.versionNote(), this);
    m_note->setPlaceholderText(QStringLiteral("Version note (optional)"));
    AccessibleFields::name(m_note, m_note->placeholderText());
    connect(m_note, &QLineEdit::textChanged, &history, &VersionHistory::setVersionNote);
    auto *save = new QPushButton(QStringLiteral("Save Version"), this);
    save->setAutoDefault(false);
    connect(save, &QPushButton::clicked, &history, &VersionHistory::saveVersion);
    connect(m_note, &QLineEdit::returnPressed, &history, &VersionHistory::saveVersion);
    saveRow->addWidget(m_note, 1);
    saveRow->addWidget(save);
    layout->addLayout(saveRow);

    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Saved versions"));
    layout->addWidget(m_list, 1);

    auto *baselineRow = new QHBoxLayout;
    m_count = new QLabel(this);
    m_count->setForegroundRole(QPalette::PlaceholderText);
    m_baseline = new QPushButton(QStringLiteral("Set Current as Baseline\u2026"), this);
    m_baseline->setAutoDefault(false);
    m_baseline->setToolTip(
        QStringLiteral("Keep the current organization and remove saved rollback history to reduce the file size."));
    connect(m_baseline, &QPushButton::clicked, &history, &VersionHistory::requestBaseline);
    baselineRow->addWidget(m_count);
    baselineRow->addStretch(1);
    baselineRow->addWidget(m_baseline);
    layout->addLayout(baselineRow);

    m_result = new QLabel(this);
    m_result->setWordWrap(true);
    m_result->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_result);

    auto *doneRow = new QHBoxLayout;
    auto *hint = new QLabel(QStringLiteral("Use File \u2192 Save (Ctrl+S) to save the document to disk."), this);
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setAutoDefault(false);
    connect(m_done, &QPushButton::clicked, this, &QDialog::reject);
    doneRow->addWidget(hint);
    doneRow->addStretch(1);
    doneRow->addWidget(m_done);
    layout->addLayout(doneRow);

    connect(&history, &VersionHistory::changed, this, &VersionHistoryDialog::refresh);
    refresh();
}

void VersionHistoryDialog::refresh()
{
    if (m_closing)
        return;
    if (m_note->text() != m_history.versionNote())
        m_note->setText(m_history.versionNote());
    m_list->clear();
    // Tab goes down the dialog as it reads: the list, each row's Restore, then the buttons
    // under the list; the rows are made after those buttons.
    QWidget *previous = m_list;
    for (const VersionRow &row : m_history.rows()) {
        auto *item = new QListWidgetItem(m_list);
        // The row's own widget draws its text; the item carries it for a screen reader.
        item->setData(Qt::AccessibleTextRole, row.spoken);
        item->setData(Qt::AccessibleDescriptionRole, row.date);
        auto *line = new QWidget(m_list);
        auto *layout = new QHBoxLayout(line);
        layout->setContentsMargins(6, 4, 6, 4);
        auto *texts = new QVBoxLayout;
        auto *heading = new QLabel(row.heading, line);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        auto *detail = new QLabel(row.detail, line);
        detail->setForegroundRole(QPalette::PlaceholderText);
        texts->addWidget(heading);
        texts->addWidget(detail);
        auto *restore = new QPushButton(QStringLiteral("Restore"), line);
        restore->setAutoDefault(false);
        restore->setAccessibleName(QStringLiteral("Restore ") + row.heading);
        restore->installEventFilter(this);
        connect(restore, &QPushButton::clicked, this, [this, id = row.id] {
            // Deferred: restoring rebuilds this list, button included.
            QMetaObject::invokeMethod(this, [this, id] {
                // A shown list stays as it is while the dialog closes: rebuilt under the
                // focused Restore, it would hand the focus on to the next button, which a
                // screen reader announces as the window goes. It is rebuilt as it shows again.
                m_closing = isVisible();
                if (m_history.restore(id)) {
                    accept();
                    return;
                }
                m_closing = false;
                refresh();
            }, Qt::QueuedConnection);
        });
        layout->addLayout(texts, 1);
        layout->addWidget(restore);
        item->setSizeHint(line->sizeHint());
        m_list->setItemWidget(item, line);
        setTabOrder(previous, restore);
        previous = restore;
    }
    setTabOrder(previous, m_baseline);
    setTabOrder(m_baseline, m_done);
    m_count->setText(m_history.countText());
    m_baseline->setEnabled(m_history.canSetBaseline());
    m_result->setText(m_history.baselineMessage());
    m_result->setVisible(!m_history.baselineMessage().isEmpty());
}

void VersionHistoryDialog::showEvent(QShowEvent *event)
{
    if (m_closing) {
        m_closing = false;
        refresh();
    }
    QDialog::showEvent(event);
}

bool VersionHistoryDialog::eventFilter(QObject *watched, QEvent *event)
{
    // A row's Restore reached by Tab comes into sight with its row.
    if (event->type() == QEvent::FocusIn) {
        for (int i = 0; i < m_list->count(); ++i) {
            QWidget *line = m_list->itemWidget(m_list->item(i));
            if (line && line->isAncestorOf(static_cast<QWidget *>(watched)))
                m_list->scrollToItem(m_list->item(i));
        }
    }
    return QDialog::eventFilter(watched, event);
}

VersionHistoryDialog *VersionHistoryDialog::open(ChartWindow &window)
{
    auto *dialog = new VersionHistoryDialog(VersionHistory::of(window.view()), &window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // Closed by Done or a Restore, the keyboard goes back to the control that opened it, as
    // from every sheet of the window.
    FocusKeeper::giveKeyboardBackOnClose(dialog);
    dialog->show();
    return dialog;
}
