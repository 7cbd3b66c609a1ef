#include "app/shell/organization_file_commands.h"

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace {

// Gives a menu item new words, heard as they show: a screen reader keeps the name it read of an
// item until told it changed, and Qt tells it nothing when an action's text changes.
void setHeardText(QAction *action, const QString &text)
{
    if (action->text() == text)
        return;
    action->setText(text);
    // Qt makes an item's accessible object as a screen reader first reads its menu; none
    // yet, none has kept the old words.
    if (QAccessibleInterface *item = QAccessible::queryAccessibleInterface(action)) {
        QAccessibleEvent renamed(item, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
}

} // namespace

OrganizationFileCommands::OrganizationFileCommands(ChartWindow &window, DocumentController &controller)
    : QObject(&window), m_window(window), m_controller(controller)
{
    QMenu *file = window.menuBar()->addMenu("&File");
    m_newOrganization = file->addAction("New Organization", &controller, &DocumentController::newDocument);
    m_newOrganization->setShortcut(QKeySequence("Ctrl+N"));
    m_openOrganization = file->addAction("Open Organization…", this, [this] { m_controller.openOrganization(&m_window); });
    m_openOrganization->setShortcut(QKeySequence("Ctrl+O"));
    m_openRecent = file->addMenu("Open Recent");
    connect(m_openRecent, &QMenu::aboutToShow, this, &OrganizationFileCommands::fillOpenRecent);
    connect(&controller, &DocumentController::recentFilesChanged, this, &OrganizationFileCommands::refreshEnabled);

    m_importSpreadsheet = file->addAction("Import Excel / CSV…", this, [this] { m_window.view().requestSpreadsheetImport(); });
    m_importJSON = file->addAction("Import JSON…", this, [this] { m_window.view().importOrganization(); });
    connect(window.document(), &OrganizationDocument::archiveChanged, this, &OrganizationFileCommands::refreshEnabled);

    file->addSeparator();
    m_close = file->addAction("Close", &window, &QWidget::close);
    m_close->setShortcut(QKeySequence("Ctrl+W"));
    m_save = file->addAction("Save", this, [this] { m_controller.save(&m_window); });
    m_save->setShortcut(QKeySequence("Ctrl+S"));
    m_saveAs = file->addAction("Save As…", this, [this] { m_controller.saveAs(&m_window); });
    m_saveAs->setShortcut(QKeySequence("Ctrl+Shift+S"));

    file->addSeparator();
    m_exportPrint = file->addAction("Export PDF / Print…", &window, &ChartWindow::print);
    m_exportPrint->setShortcut(QKeySequence("Ctrl+P"));
    connect(&window, &ChartWindow::printActionChanged, this, &OrganizationFileCommands::refreshEnabled);

    file->addSeparator();
    m_quit = file->addAction("Quit", &controller, &DocumentController::quit);
    m_quit->setShortcut(QKeySequence("Ctrl+Q"));
    m_quit->setMenuRole(QAction::QuitRole);

    QMenu *edit = window.menuBar()->addMenu("&Edit");
    OrganizationDocument *document = window.document();
    m_undo = edit->addAction("Undo", document, &OrganizationDocument::undo);
    m_undo->setShortcut(QKeySequence("Ctrl+Z"));
    m_redo = edit->addAction("Redo", document, &OrganizationDocument::redo);
    m_redo->setShortcut(QKeySequence("Ctrl+Shift+Z"));
    connect(document, &OrganizationDocument::historyChanged, this, &OrganizationFileCommands::refreshEnabled);
    edit->addSeparator();
    m_settings = edit->addAction("Settings…", &controller, &DocumentController::showSettings);
    m_settings->setShortcut(QKeySequence("Ctrl+,"));
    m_settings->setMenuRole(QAction::PreferencesRole);

    QMenu *help = window.menuBar()->addMenu("&Help");
    m_checkForUpdates = help->addAction("Check for Updates…", &controller, &DocumentController::checkForUpdates);
    connect(&controller, &DocumentController::updateCheckChanged, this, &OrganizationFileCommands::refreshEnabled);
    m_about = help->addAction("About Vantrel", this, &OrganizationFileCommands::showAbout);
    m_about->setMenuRole(QAction::AboutRole);
    refreshEnabled();
}

void OrganizationFileCommands::setBusy(bool busy)
{
    m_busy = busy;
    refreshEnabled();
}

void OrganizationFileCommands::fillOpenRecent()
{
    m_openRecent->clear();
    for (const QString &path : m_controller.recentFiles()) {
        QAction *item = m_openRecent->addAction(QFileInfo(path).fileName(), this, [this, path] { m_controller.openFile(path); });
        item->setToolTip(QDir::toNativeSeparators(path));
    }
    m_openRecent->addSeparator();
    m_openRecent->addAction("Clear Menu", &m_controller, &DocumentController::clearRecentFiles);
}

void OrganizationFileCommands::refreshEnabled()
{
    // New, Quit, Settings, the update check and About are the application's and stay while
    // the window is busy; the rest act on this window or its document.
    const bool free = !m_busy;
    m_openOrganization->setEnabled(free);
    m_openRecent->setEnabled(free && !m_controller.recentFiles().isEmpty());
    // Both imports replace the organization: not while planning has locked Current.
    const bool canEdit = free && m_window.view().canEditCurrent();
    m_importSpreadsheet->setEnabled(canEdit);
    m_importJSON->setEnabled(canEdit);
    m_close->setEnabled(free);
    m_save->setEnabled(free);
    m_saveAs->setEnabled(free);
    // Only while the window offers a print action (the print sheet's).
    m_exportPrint->setEnabled(free && m_window.canPrint());
    m_checkForUpdates->setEnabled(m_controller.canCheckForUpdates());
    m_settings->setEnabled(m_controller.canShowSettings());

    const OrganizationDocument *document = m_window.document();
    m_undo->setEnabled(free && document->canUndo());
    // Step names are plain text: "Paper & Appearance" must not lose its "&" to a mnemonic.
    const auto plain = [](QString name) { return name.replace(QLatin1Char('&'), QStringLiteral("&&")); };
    setHeardText(m_undo, document->canUndo() ? "Undo " + plain(document->undoName()) : QStringLiteral("Undo"));
    m_redo->setEnabled(free && document->canRedo());
    setHeardText(m_redo, document->canRedo() ? "Redo " + plain(document->redoName()) : QStringLiteral("Redo"));
}

void OrganizationFileCommands::showAbout()
{
    QMessageBox::about(&m_window, "About Vantrel",
                       QString("<h3>Vantrel</h3><p>Version %1 (%2)</p>").arg(VANTREL_VERSION).arg(VANTREL_BUILD));
}
