#pragma once

#include <QObject>

class ChartWindow;
class DocumentController;
class QAction;
class QMenu;

// The menu commands of a document window: File (new, open, recent, import, close, save,
// print, quit), Edit (undo, redo) and Help (update check, About). Each window has its own menu bar, so the commands
// act on the window that shows them.
class OrganizationFileCommands : public QObject {
    Q_OBJECT
public:
    OrganizationFileCommands(ChartWindow &window, DocumentController &controller);

    QAction *newOrganization() const { return m_newOrganization; }
    QAction *openOrganization() const { return m_openOrganization; }
    QMenu *openRecent() const { return m_openRecent; }
    QAction *close() const { return m_close; }
    QAction *save() const { return m_save; }
    QAction *saveAs() const { return m_saveAs; }
    QAction *importSpreadsheet() const { return m_importSpreadsheet; }
    QAction *importJSON() const { return m_importJSON; }
    QAction *exportPrint() const { return m_exportPrint; }
    QAction *quit() const { return m_quit; }
    QAction *undo() const { return m_undo; }
    QAction *redo() const { return m_redo; }
    QAction *settings() const { return m_settings; }
    QAction *checkForUpdates() const { return m_checkForUpdates; }
    QAction *about() const { return m_about; }

    // While the window's file is read, only the application's own commands are offered.
    void setBusy(bool busy);

private:
    void fillOpenRecent();
    void showAbout();
    void refreshEnabled();

    ChartWindow &m_window;
    DocumentController &m_controller;
    QAction *m_newOrganization;
    QAction *m_openOrganization;
    QMenu *m_openRecent;
    QAction *m_close;
    QAction *m_save;
    QAction *m_saveAs;
    QAction *m_importSpreadsheet;
    QAction *m_importJSON;
    QAction *m_exportPrint;
    QAction *m_quit;
    QAction *m_undo;
    QAction *m_redo;
    QAction *m_settings;
    QAction *m_checkForUpdates;
    QAction *m_about;
    bool m_busy = false;
};
