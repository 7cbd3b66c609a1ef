#include "app/shell/document_controller.h"

#include "app/chart/chart_window.h"
#include "app/shell/dialogs.h"
#include "app/shell/document_loader.h"
#include "app/shell/organization_document.h"
#include "app/shell/organization_file_commands.h"
#include "printing/file_names.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <memory>

static const QString errorTitle = QStringLiteral("Organization Error");
static const QString reviewTitle = QStringLiteral("Save Changes Before Closing");
static const QString changedTitle = QStringLiteral("Save Over Changes Made Elsewhere?");
static const QString unfinishedTitle = QStringLiteral("A Save Did Not Finish");
static const QString recentFilesKey = QStringLiteral("recentFiles");

DocumentController::DocumentController(Dialogs &dialogs, QObject *parent) : QObject(parent), m_dialogs(dialogs) {}

DocumentController::~DocumentController()
{
    // Windows are top-level widgets, not children; whatever is still open goes with us.
    for (const QPointer<ChartWindow> &window : std::as_const(m_windows))
        delete window.data();
}

QList<ChartWindow *> DocumentController::windows() const
{
    QList<ChartWindow *> result;
    for (const QPointer<ChartWindow> &window : m_windows) {
        if (window)
            result.append(window);
    }
    return result;
}

ChartWindow *DocumentController::windowForFile(const QString &path) const
{
    const QString canonical = OrganizationDocument::canonicalPath(path);
    for (ChartWindow *window : windows()) {
        if (window->document()->filePath() == canonical)
            return window;
    }
    for (const QPointer<DocumentLoader> &loader : m_loaders) {
        if (loader && !loader->isFinished() && loader->path() == canonical)
            return qobject_cast<ChartWindow *>(loader->window());
    }
    return nullptr;
}

bool DocumentController::isOpening() const
{
    return std::any_of(m_loaders.begin(), m_loaders.end(),
                       [](const QPointer<DocumentLoader> &loader) { return loader && !loader->isFinished(); });
}

void DocumentController::startLoading(ChartWindow *window, const QString &path, bool madeForFile)
{
    m_loaders.removeAll(nullptr);
    QPointer<ChartWindow> target(window);
    auto done = [this, target, path, madeForFile](OrganizationArchive *archive, const std::optional<FileStamp> &stamp,
                                                  std::unique_ptr<WindowOpening> opening,
                                                  const QString &error, const QString &notice) {
        target->setBusy(false);
        if (archive) {
            // Before the content, whose news has the window ask for its chart at once.
            target->adoptOpening(std::move(opening));
            target->document()->adoptLoaded(path, std::move(*archive), stamp);
            noteRecentFile(target->document()->filePath());
            if (!notice.isEmpty())
                m_dialogs.alert(unfinishedTitle, notice);
            return;
        }
        if (madeForFile && windows().size() > 1)
            closeWindow(target);
        else if (madeForFile)
            target->document()->setUntitledName(nextUntitledName());
        showError(error);
    };
    window->setBusy(true);
    m_loaders.append(new DocumentLoader(path, window, &WindowOpening::prepare, done, this));
}

ChartWindow *DocumentController::newDocument()
{
    auto *document = new OrganizationDocument;
    document->setUntitledName(nextUntitledName());
    return addWindow(document);
}

ChartWindow *DocumentController::openFile(const QString &path)
{
    if (ChartWindow *open = windowForFile(path)) {
        bringForward(open);
        return open;
    }
    auto *document = new OrganizationDocument;
    document->setUntitledName(QFileInfo(path).fileName());
    ChartWindow *window = addWindow(document);
    startLoading(window, path, true);
    return window;
}

void DocumentController::openDocument()
{
    if (std::optional<QString> path = m_dialogs.fileToOpen(OrganizationDocument::fileFilter()))
        openFile(*path);
}

// Whether loading another file into the document's window loses nothing: it holds no
// positions and no planning, and nothing has changed since it was made, read or saved.
// An untitled document's typed name counts as a change, although closing drops it silently.
static bool mayBeReplaced(const OrganizationDocument &document)
{
    const OrganizationArchive &archive = document.archive();
    if (!archive.organization.positions.empty() || archive.planning)
        return false;
    return document.hasFile() ? !document.isModified() : document.isUntouched();
}

void DocumentController::openOrganization(ChartWindow *window)
{
    QPointer<ChartWindow> target(window);
    std::optional<QString> path = m_dialogs.fileToOpen(OrganizationDocument::fileFilter());
    if (!path)
        return;
    // A file open in another window stays there; the window's own file is read again.
    ChartWindow *holder = windowForFile(*path);
    if (!target || (holder && holder != target) || !mayBeReplaced(*target->document())) {
        openFile(*path);
        return;
    }
    startLoading(target, *path, false);
}

void DocumentController::openIfNone()
{
    if (windows().isEmpty())
        newDocument();
}

// Whether to save over a file another program changed since the document read or wrote it.
static bool mayReplaceChangedFile(Dialogs &dialogs, const OrganizationDocument &document)
{
    const QString message =
        QString("The file “%1” was changed by another program after you opened it.").arg(document.displayName());
    return dialogs.ask(changedTitle, message,
                       {{QStringLiteral("Save Anyway"), DialogButton::Role::destructive},
                        {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
                       DialogButton::Role::cancel) == 0;
}

bool DocumentController::save(ChartWindow *window)
{
    if (!window->document()->hasFile())
        return saveAs(window);
    return saveOverOwnFile(window, window->document()->filePath());
}

// The document's own file is replaced unasked only as the document left it. The question is
// asked with no save holding the file; the file is weighed again once held, and a change made
// while the user was asked is asked about too.
bool DocumentController::saveOverOwnFile(ChartWindow *window, const QString &path)
{
    QPointer<ChartWindow> target(window);
    std::optional<FileStamp> accepted;
    for (;;) {
        std::optional<FileStamp> changed;
        try {
            changed = target->document()->saveOver(path, accepted);
        } catch (const OrganizationError &error) {
            showError(QString::fromStdString(error.message()));
            return false;
        }
        if (!changed)
            return true;
        if (!mayReplaceChangedFile(m_dialogs, *target->document()) || !target)
            return false;
        accepted = changed;
    }
}

bool DocumentController::saveAs(ChartWindow *window)
{
    QPointer<ChartWindow> target(window);
    OrganizationDocument *document = window->document();
    QString proposed = document->filePath();
    if (proposed.isEmpty()) {
        // The organization's name makes the file name; a slash would make it a folder.
        QString name = QString::fromStdString(document->archive().name).replace('/', '-').trimmed();
        proposed = FileNames::fitted(name.isEmpty() ? document->displayName() : name, QStringLiteral(".json"));
    }
    std::optional<QString> path = m_dialogs.fileToSave(OrganizationDocument::fileFilter(), proposed);
    if (!path || !target)
        return false;
    return saveDocumentAs(target, *path);
}

bool DocumentController::saveDocumentAs(ChartWindow *window, const QString &path)
{
    ChartWindow *holder = windowForFile(path);
    if (holder && holder != window) {
        showError(QString("The file “%1” is open in another window. Close that window first, or choose another name.")
                      .arg(QFileInfo(path).fileName()));
        return false;
    }
    if (OrganizationDocument::canonicalPath(path) == window->document()->filePath()) {
        if (!saveOverOwnFile(window, path))
            return false;
    } else {
        try {
            window->document()->saveTo(path);
        } catch (const OrganizationError &error) {
            showError(QString::fromStdString(error.message()));
            return false;
        }
    }
    noteRecentFile(window->document()->filePath());
    return true;
}

// Save, Don't Save or Cancel for a document with something to save. Where a save of it did not
// finish, the file on disk is incomplete: the question says so, and where its whole contents are.
static SaveAnswer askToSave(Dialogs &dialogs, const OrganizationDocument &document)
{
    const std::optional<QString> copy = document.wholeCopyOfIncompleteFile();
    if (!copy)
        return dialogs.askToSave(reviewTitle, document.displayName());
    const QString message = QString("Do you want to save the document “%1”? Its file on disk is incomplete, because a "
                                    "save did not finish; its whole contents are in “%2”.")
                                .arg(document.displayName(), *copy);
    switch (dialogs.ask(reviewTitle, message,
                        {{QStringLiteral("Save"), DialogButton::Role::action},
                         {QStringLiteral("Don't Save"), DialogButton::Role::destructive},
                         {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
                        DialogButton::Role::action)) {
    case 0: return SaveAnswer::save;
    case 1: return SaveAnswer::discard;
    default: return SaveAnswer::cancel;
    }
}

bool DocumentController::mayClose(ChartWindow *window)
{
    OrganizationDocument *document = window->document();
    m_closeCoordinator.clearUnnecessaryChanges(document);
    if (!document->isModified())
        return true;
    bringForward(window);
    switch (askToSave(m_dialogs, *document)) {
    case SaveAnswer::save: return save(window);
    case SaveAnswer::discard: return true;
    case SaveAnswer::cancel: return false;
    }
    return false;
}

void DocumentController::windowClosed(ChartWindow *window)
{
    m_windows.removeAll(window);
}

bool DocumentController::closeWindow(ChartWindow *window)
{
    return window->close();
}

bool DocumentController::reviewBeforeQuit()
{
    m_closeCoordinator.prepareToQuit();
    QList<QPointer<ChartWindow>> open;
    for (ChartWindow *window : windows())
        open.append(window);

    // Every answer is collected before anything closes, so that Cancel leaves every
    // window as it was (documents already saved stay saved).
    for (const QPointer<ChartWindow> &window : std::as_const(open)) {
        if (!window || !window->document()->isModified())
            continue;
        bringForward(window);
        switch (askToSave(m_dialogs, *window->document())) {
        case SaveAnswer::save:
            if (!save(window))
                return false;
            break;
        case SaveAnswer::discard: break;
        case SaveAnswer::cancel: return false;
        }
    }
    for (const QPointer<ChartWindow> &window : std::as_const(open)) {
        if (window)
            window->closeWithoutAsking();
    }
    return true;
}

void DocumentController::quit()
{
    if (!reviewBeforeQuit())
        return;
    // Files still being opened are not waited for: their windows are gone, and reading
    // and decoding a large one would hold the quit for a second.
    for (const QPointer<DocumentLoader> &loader : std::as_const(m_loaders)) {
        if (loader)
            loader->letGo();
    }
    QCoreApplication::quit();
}

void DocumentController::clearRecentFiles()
{
    if (m_recentFiles.isEmpty())
        return;
    m_recentFiles.clear();
    storeRecentFiles();
    emit recentFilesChanged();
}

void DocumentController::setRecentFilesStore(QSettings *settings)
{
    m_recentStore = settings;
    m_recentFiles = settings ? settings->value(recentFilesKey).toStringList().mid(0, maximumRecentFiles) : QStringList();
    emit recentFilesChanged();
}

void DocumentController::setUpdateCheck(std::function<void()> check)
{
    m_updateCheck = std::move(check);
    emit updateCheckChanged();
}

void DocumentController::checkForUpdates()
{
    if (m_updateCheck)
        m_updateCheck();
}

void DocumentController::setShowSettings(std::function<void()> show)
{
    m_showSettings = std::move(show);
    emit updateCheckChanged();
}

void DocumentController::showSettings()
{
    if (m_showSettings)
        m_showSettings();
}

ChartWindow *DocumentController::addWindow(OrganizationDocument *document)
{
    auto *window = new ChartWindow(document, dialogs());
    window->setCommands(new OrganizationFileCommands(*window, *this));
    window->setCloseGuard([this, window] { return mayClose(window); });
    connect(window, &ChartWindow::closed, this, [this, window] { windowClosed(window); });
    m_windows.append(window);
    m_closeCoordinator.registerDocument(document);
    if (m_windowSetup)
        m_windowSetup(window);
    window->show();
    return window;
}

void DocumentController::bringForward(ChartWindow *window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void DocumentController::noteRecentFile(const QString &path)
{
    m_recentFiles.removeAll(path);
    m_recentFiles.prepend(path);
    while (m_recentFiles.size() > maximumRecentFiles)
        m_recentFiles.removeLast();
    storeRecentFiles();
    emit recentFilesChanged();
}

void DocumentController::storeRecentFiles()
{
    if (m_recentStore)
        m_recentStore->setValue(recentFilesKey, m_recentFiles);
}

QString DocumentController::nextUntitledName() const
{
    QStringList used;
    for (ChartWindow *window : windows()) {
        if (!window->document()->hasFile())
            used.append(window->document()->displayName());
    }
    // The lowest free number, as a file manager names copies: "Untitled", "Untitled 2", ...
    for (int number = 1;; ++number) {
        QString name = number == 1 ? QStringLiteral("Untitled") : QString("Untitled %1").arg(number);
        if (!used.contains(name))
            return name;
    }
}

void DocumentController::showError(const QString &message)
{
    m_dialogs.alert(errorTitle, message);
}
