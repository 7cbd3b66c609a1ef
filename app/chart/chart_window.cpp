#include "app/chart/chart_window.h"

#include "app/chart/chart_canvas.h"
#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/update_notice.h"
#include "app/chart/window_opening.h"
#include "app/chart/window_sheets.h"
#include "app/planning/planning_workspace.h"
#include "app/print/print_sheet_opener.h"
#include "app/shell/organization_document.h"
#include "app/shell/organization_file_commands.h"
#include "app/sidebar/organization_sidebar.h"

#include <QCloseEvent>
#include <QStatusBar>

ChartWindow::ChartWindow(OrganizationDocument *document, Dialogs &dialogs)
    : m_document(document)
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_document->setParent(this);
    resize(defaultWidth, defaultHeight);
    m_view = new ChartView(*m_document, dialogs, this);
    // Before the body and the toolbar, which enable the commands that open sheets as they are built.
    WindowSheets::connectSheets(*this);
    connect(m_view, &ChartView::planningRequested, this, [this] { PlanningWorkspace::open(*this); });
    m_body = new ChartWindowBody(*m_view, this);
    setCentralWidget(m_body);
    m_toolbar = new ChartToolbar(*this);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_updateNotice = new UpdateNotice(this);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->setContentsMargins(10, 0, 10, 0);
    statusBar()->addPermanentWidget(m_updateNotice);

    connect(m_document, &OrganizationDocument::filePathChanged, this, &ChartWindow::refreshTitle);
    // Read the flag, not the signal's argument: a slot that ran earlier may have cleared it.
    connect(m_document, &OrganizationDocument::modifiedChanged, this, [this] { setWindowModified(m_document->isModified()); });
    setPrintAction([this, &dialogs] { PrintSheetOpener::open(*this, dialogs); });
    refreshTitle();
}

ChartWindow::~ChartWindow()
{
    // Children go in the order they were made, the document and its view first, and a field
    // that loses the focus commits into the view. The sheets and popups still open over this
    // window, and the window itself, are hidden while all of it is still there.
    for (QWidget *child : findChildren<QWidget *>()) {
        if (child->isWindow())
            child->hide();
    }
    hide();
}

void ChartWindow::setBusy(bool busy)
{
    m_body->setEnabled(!busy);
    m_toolbar->setEnabled(!busy);
    if (busy)
        m_body->setCursor(Qt::BusyCursor);
    else
        m_body->unsetCursor();
    if (m_commands)
        m_commands->setBusy(busy);
    // A window shown while its file is read had nothing to give the keyboard to: it gets
    // what Tab reaches first, as a window shown ready does.
    if (!busy && !focusWidget())
        focusNextPrevChild(true);
}

void ChartWindow::adoptOpening(std::unique_ptr<WindowOpening> opening)
{
    if (!opening)
        return;
    m_view->adoptOpeningChart(std::move(opening->chart));
    m_body->sidebar()->adoptSortKeys(std::move(opening->sidebarKeys));
}

ChartCanvas *ChartWindow::canvas() const
{
    return m_body->canvas();
}

void ChartWindow::setUpdateOffer(UpdateOffer *offer)
{
    m_updateNotice->setOffer(offer);
}

void ChartWindow::setPrintAction(std::function<void()> action)
{
    m_printAction = std::move(action);
    emit printActionChanged();
}

void ChartWindow::print()
{
    if (m_printAction)
        m_printAction();
}

void ChartWindow::closeWithoutAsking()
{
    m_closeApproved = true;
    close();
}

void ChartWindow::closeEvent(QCloseEvent *event)
{
    if (!m_closeApproved && m_mayClose && !m_mayClose()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void ChartWindow::refreshTitle()
{
    setWindowTitle(m_document->displayName() + QStringLiteral("[*]"));
    setWindowModified(m_document->isModified());
}
