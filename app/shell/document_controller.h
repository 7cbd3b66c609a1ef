#pragma once

#include "app/shell/document_close_coordinator.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class ChartWindow;
class Dialogs;
class DocumentLoader;
class OrganizationDocument;
class QSettings;

// Owns the open documents, one window each, and everything that spans them: new, open
// (a file already open brings its window forward), save, recent files, closing a window
// and the review of unsaved documents before quitting. Every question goes through Dialogs.
class DocumentController : public QObject {
    Q_OBJECT
public:
    static constexpr int maximumRecentFiles = 10;

    explicit DocumentController(Dialogs &dialogs, QObject *parent = nullptr);
    ~DocumentController() override;

    Dialogs &dialogs() const { return m_dialogs; }
    DocumentCloseCoordinator &closeCoordinator() { return m_closeCoordinator; }

    // Open windows, oldest first.
    QList<ChartWindow *> windows() const;
    // The window of the document that stands for `path`, or null.
    ChartWindow *windowForFile(const QString &path) const;

    // A new window with an untitled, empty organization.
    ChartWindow *newDocument();
    // Opens `path` in a window of its own, or brings forward the window that already has it.
    // The file is read off the main thread while its new window is busy; when it cannot be
    // opened, an alert tells why and the window closes (the last window stays, untitled).
    ChartWindow *openFile(const QString &path);
    // True while a file is still being read.
    bool isOpening() const;
    // The open panel; the chosen file opens in a window of its own.
    void openDocument();
    // The open panel of a window: the chosen file replaces the window's document (read while
    // the window is busy) when that document is empty, without planning and unchanged, and
    // the file is open in no other window; choosing the window's own file reads it again.
    // Otherwise it opens like openFile.
    void openOrganization(ChartWindow *window);
    // At launch: one untitled document when none is open.
    void openIfNone();

    // Save asks for a name when the document has none. False when cancelled or failed
    // (after an alert); the file on disk is then as it was.
    bool save(ChartWindow *window);
    bool saveAs(ChartWindow *window);

    // Asks to save a document with unsaved changes; true when the window may close.
    bool mayClose(ChartWindow *window);
    // Called by a window that is closing: forget it.
    void windowClosed(ChartWindow *window);
    // Closes the window, asking first; false when the user kept it.
    bool closeWindow(ChartWindow *window);
    // The review before quitting: every window is closed, each edited document saved or
    // discarded as the user chooses. False, with the remaining windows kept, on Cancel.
    bool reviewBeforeQuit();
    // The Quit command: the review, then the end of the event loop, with files still being
    // opened let go (see DocumentLoader::letGo).
    void quit();

    QStringList recentFiles() const { return m_recentFiles; }
    void clearRecentFiles();
    // Keeps the recent files in `settings` (production); without it they live in memory.
    void setRecentFilesStore(QSettings *settings);

    // The manual update check, provided by the update store; the menu item is disabled
    // while there is none.
    void setUpdateCheck(std::function<void()> check);
    bool canCheckForUpdates() const { return bool(m_updateCheck); }
    void checkForUpdates();
    // Edit ▸ Settings…; disabled while there is none.
    void setShowSettings(std::function<void()> show);
    bool canShowSettings() const { return bool(m_showSettings); }
    void showSettings();
    // Runs for every new window (the update store attaches its offer there).
    void setWindowSetup(std::function<void(ChartWindow *)> setup) { m_windowSetup = std::move(setup); }

signals:
    void recentFilesChanged();
    void updateCheckChanged();

private:
    ChartWindow *addWindow(OrganizationDocument *document);
    // Reads `path` into `window`'s document; a failure closes a window made for the file.
    void startLoading(ChartWindow *window, const QString &path, bool madeForFile);
    void bringForward(ChartWindow *window);
    void noteRecentFile(const QString &path);
    void storeRecentFiles();
    QString nextUntitledName() const;
    bool saveDocumentAs(ChartWindow *window, const QString &path);
    bool saveOverOwnFile(ChartWindow *window, const QString &path);
    void showError(const QString &message);

    Dialogs &m_dialogs;
    DocumentCloseCoordinator m_closeCoordinator;
    QList<QPointer<ChartWindow>> m_windows;
    QList<QPointer<DocumentLoader>> m_loaders;
    QStringList m_recentFiles;
    QPointer<QSettings> m_recentStore;
    std::function<void()> m_updateCheck;
    std::function<void()> m_showSettings;
    std::function<void(ChartWindow *)> m_windowSetup;
};
