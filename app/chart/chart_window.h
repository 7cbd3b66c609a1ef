#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class ChartCanvas;
class ChartToolbar;
class ChartView;
class ChartWindowBody;
class UpdateNotice;
class UpdateOffer;
struct WindowOpening;
class Dialogs;
class OrganizationDocument;
class OrganizationFileCommands;

// The window of one document: its menus, a title with the file name and the modified
// marker, the body (sidebar, header, chart canvas, inspector) over the window's ChartView,
// which holds what the window shows and how, and a status bar with the update notice.
class ChartWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1200;
    static constexpr int defaultHeight = 800;

    // Takes ownership of `document`. The document controller gives the window its file
    // commands and its close guard, so the window does not depend on the controller.
    ChartWindow(OrganizationDocument *document, Dialogs &dialogs);
    ~ChartWindow() override;
    void setCommands(OrganizationFileCommands *commands) { m_commands = commands; }
    // Asked before the window closes, unless the close was already approved.
    void setCloseGuard(std::function<bool()> mayClose) { m_mayClose = std::move(mayClose); }

    OrganizationDocument *document() const { return m_document; }
    OrganizationFileCommands &commands() const { return *m_commands; }
    bool hasCommands() const { return m_commands != nullptr; }
    ChartToolbar &toolbar() const { return *m_toolbar; }
    ChartView &view() const { return *m_view; }
    ChartWindowBody &body() const { return *m_body; }
    ChartCanvas *canvas() const;
    // The update offer shown in the status bar; none until the update store gives one.
    void setUpdateOffer(UpdateOffer *offer);
    // What "Export PDF / Print…" runs for this window; the item is disabled while unset.
    void setPrintAction(std::function<void()> action);
    bool canPrint() const { return bool(m_printAction); }
    void print();

    // While its file is read the window shows and changes nothing, with a busy cursor; its
    // menus keep the application's own commands (Quit above all) within reach.
    void setBusy(bool busy);
    // Takes what was made of a file's content on the thread that read it, before the content.
    void adoptOpening(std::unique_ptr<WindowOpening> opening);

    // Closes at once: the caller has already settled the unsaved changes.
    void closeWithoutAsking();

signals:
    void printActionChanged();
    // The window accepted its close.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void refreshTitle();

    OrganizationDocument *m_document;
    OrganizationFileCommands *m_commands = nullptr;
    std::function<bool()> m_mayClose;
    ChartView *m_view;
    ChartWindowBody *m_body;
    ChartToolbar *m_toolbar;
    UpdateNotice *m_updateNotice;
    std::function<void()> m_printAction;
    bool m_closeApproved = false;
};
