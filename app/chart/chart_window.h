#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>

class ChartCanvas;
class ChartView;
class Dialogs;
class OrganizationDocument;
class OrganizationFileCommands;

// The window of one document: its menus, a title with the file name and the modified
// marker, and the chart content in the middle: the chart canvas over the window's
// ChartView, which holds what the window shows and how.
class ChartWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1200;
    static constexpr int defaultHeight = 800;

    // Takes ownership of `document`. The document controller gives the window its file
    // commands and its close guard, so the window does not depend on the controller.
    ChartWindow(OrganizationDocument *document, Dialogs &dialogs);
    void setCommands(OrganizationFileCommands *commands) { m_commands = commands; }
    // Asked before the window closes, unless the close was already approved.
    void setCloseGuard(std::function<bool()> mayClose) { m_mayClose = std::move(mayClose); }

    OrganizationDocument *document() const { return m_document; }
    OrganizationFileCommands &commands() const { return *m_commands; }
    ChartView &view() const { return *m_view; }
    // The chart canvas, while it is the window's content.
    ChartCanvas *canvas() const;

    // Replaces the central widget; the window takes ownership of `content`.
    void setContent(QWidget *content);
    // What "Export PDF / Print…" runs for this window; the item is disabled while unset.
    void setPrintAction(std::function<void()> action);
    bool canPrint() const { return bool(m_printAction); }
    void print();

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
    QPointer<ChartCanvas> m_canvas;
    std::function<void()> m_printAction;
    bool m_closeApproved = false;
};
