#include "app/planning/planning_workspace.h"

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/entry/position_editor.h"
#include "app/planning/change_report_sheet.h"
#include "app/planning/planning_workspace_controller.h"
#include "app/planning/proposal_canvas.h"
#include "app/print/chart_print_sheet.h"
#include "app/print/chart_printer.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/focus_keeper.h"
#include "app/shell/organization_document.h"
#include "app/shell/window_placement_button.h"
#include "app/sidebar/sidebar_style.h"
#include "printing/chart_painter.h"
#include "printing/chart_screen_card.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

static QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

enum class LegendSymbol { plus, minus, branch };

// "plus.circle.fill", "minus.circle.fill" or "arrow.triangle.branch" and the text, both in
// the colour given.
static QWidget *legendEntry(LegendSymbol symbol, const QString &text, const QColor &colour, QWidget *parent)
{
    auto *entry = new QWidget(parent);
    auto *row = new QHBoxLayout(entry);
    row->setContentsMargins(6, 0, 6, 0);
    row->setSpacing(4);
    auto *label = new QLabel(text, entry);
    // The symbol keeps the chart's colour; the word is darkened or lightened to read.
    keepReadable(label, QPalette::WindowText, QPalette::Window, colour);
    const int side = label->fontMetrics().height();
    const qreal ratio = entry->devicePixelRatioF();
    QPixmap icon(QSize(side, side) * ratio);
    icon.setDevicePixelRatio(ratio);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, 0.5, side - 1, side - 1);
    if (symbol == LegendSymbol::branch) {
        ChartScreenCard::paintBranchSymbol(painter, box, colour);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(box);
        painter.setPen(QPen(Qt::white, side / 8.0, Qt::SolidLine, Qt::RoundCap));
        const QPointF centre = box.center();
        const double arm = side / 4.0;
        painter.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
        if (symbol == LegendSymbol::plus)
            painter.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
    }
    painter.end();
    auto *image = new QLabel(entry);
    image->setPixmap(icon);
    row->addWidget(image);
    row->addWidget(label);
    return entry;
}

// Elided, with the whole text in its tooltip, where a small screen leaves no room for it.
static QPushButton *button(const QString &text, QWidget *parent)
{
    auto *made = new WindowPlacement::ElidingButton(text, parent);
    made->setAutoDefault(false);
    return made;
}

PlanningWorkspace::PlanningWorkspace(OrganizationDocument &document, const std::string &sheetID, Dialogs &dialogs,
                                     QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs), m_controller(new PlanningWorkspaceController(document, sheetID, dialogs, this))
{
    setWindowTitle(QStringLiteral("Planning & Proposals"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(idealWidth, idealHeight);
    // Ctrl+W closes it as Escape does, like every other window.
    auto *closeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
    connect(closeKey, &QShortcut::activated, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    layout->addWidget(buildHeader());
    layout->addWidget(caption(QStringLiteral("Lock captures the entire organization and its sheets. Every named "
                                             "proposal starts independently from that lock\u2014not from another "
                                             "proposal. Current records are never changed by a proposal."),
                              this));
    layout->addWidget(buildPickers());
    layout->addWidget(buildToolbar());
    layout->addWidget(buildChartArea(), 1);
    layout->addWidget(caption(QStringLiteral("Changes are saved with this organization file. Use File \u2192 Save "
                                             "(Ctrl+S) to save your lock and proposals. Red cards are comparison "
                                             "markers, not positions retained in the proposed staffing totals."),
                              this));
    connect(m_controller, &PlanningWorkspaceController::changed, this, &PlanningWorkspace::refresh);
    refresh();
}

PlanningWorkspace::~PlanningWorkspace()
{
    // The sheets over this one read the controller until they go.
    qDeleteAll(findChildren<QDialog *>(Qt::FindDirectChildrenOnly));
}

PlanningWorkspace *PlanningWorkspace::open(ChartWindow &window)
{
    ChartView &view = window.view();
    auto *workspace = new PlanningWorkspace(*window.document(), view.selectedSheetID(), view.dialogs(), &window);
    workspace->setAttribute(Qt::WA_DeleteOnClose);
    workspace->setWindowModality(Qt::WindowModal);
    workspace->show();
    return workspace;
}

QPushButton *PlanningWorkspace::button(const QString &text) const
{
    for (QPushButton *found : findChildren<QPushButton *>()) {
        if (QString(found->text()).replace(QStringLiteral("&&"), QStringLiteral("&")) == text)
            return found;
    }
    return nullptr;
}

QWidget *PlanningWorkspace::buildHeader()
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto *title = new QLabel(QStringLiteral("Planning & Proposals"), header);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    row->addWidget(title);
    row->addStretch();
    m_lock = ::button(QStringLiteral("Lock Current\u2026"), header);
    m_lockState = new QLabel(header);
    m_unlock = ::button(QStringLiteral("Unlock Current\u2026"), header);
    m_relock = ::button(QStringLiteral("Relock Current"), header);
    auto *done = ::button(QStringLiteral("Done"), header);
    for (QWidget *widget : std::initializer_list<QWidget *>{m_lock, m_lockState, m_unlock, m_relock, done})
        row->addWidget(widget);
    connect(m_lock, &QPushButton::clicked, m_controller, &PlanningWorkspaceController::requestLock);
    connect(m_unlock, &QPushButton::clicked, m_controller, &PlanningWorkspaceController::requestUnlock);
    connect(m_relock, &QPushButton::clicked, m_controller, &PlanningWorkspaceController::lockCurrent);
    connect(done, &QPushButton::clicked, this, &QDialog::reject);
    return header;
}

QWidget *PlanningWorkspace::buildPickers()
{
    auto *pickers = new QWidget(this);
    auto *column = new QVBoxLayout(pickers);
    column->setContentsMargins(0, 0, 0, 0);

    auto *proposalRow = new QHBoxLayout;
    auto *proposalLabel = new QLabel(QStringLiteral("Proposal"), pickers);
    proposalRow->addWidget(proposalLabel);
    m_proposals = new QComboBox(pickers);
    AccessibleFields::tie(proposalLabel, m_proposals);
    m_proposals->setMaximumWidth(420);
    m_proposals->setMinimumWidth(200);
    proposalRow->addWidget(m_proposals);
    m_proposalName = new QLineEdit(pickers);
    m_proposalName->setPlaceholderText(QStringLiteral("New proposal name"));
    AccessibleFields::name(m_proposalName, m_proposalName->placeholderText());
    proposalRow->addWidget(m_proposalName, 1);
    m_create = ::button(QStringLiteral("Create Proposal"), pickers);
    proposalRow->addWidget(m_create);
    column->addLayout(proposalRow);

    auto *chartRow = new QHBoxLayout;
    auto *chartLabel = new QLabel(QStringLiteral("Chart"), pickers);
    chartRow->addWidget(chartLabel);
    m_charts = new QComboBox(pickers);
    AccessibleFields::tie(chartLabel, m_charts);
    m_charts->setMaximumWidth(420);
    // With the legend beside it, narrow enough for a 1280 × 800 screen at scale 2.
    m_charts->setMinimumWidth(200);
    chartRow->addWidget(m_charts);
    chartRow->addSpacing(16);
    chartRow->addWidget(legendEntry(LegendSymbol::plus, ProposalChartSurface::changeText(ProposalChangeKind::added),
                                    ChartPainter::changeColour(ProposalChangeKind::added), pickers));
    chartRow->addWidget(legendEntry(LegendSymbol::minus, ProposalChartSurface::changeText(ProposalChangeKind::deleted),
                                    ChartPainter::changeColour(ProposalChangeKind::deleted), pickers));
    chartRow->addWidget(
        legendEntry(LegendSymbol::branch, ProposalChartSurface::changeText(ProposalChangeKind::moved),
                    ChartScreenCard::orange, pickers));
    chartRow->addStretch();
    column->addLayout(chartRow);

    connect(m_proposalName, &QLineEdit::textEdited, m_controller, &PlanningWorkspaceController::setProposalName);
    connect(m_proposalName, &QLineEdit::returnPressed, m_controller, &PlanningWorkspaceController::createProposal);
    connect(m_create, &QPushButton::clicked, m_controller, &PlanningWorkspaceController::createProposal);
    connect(m_proposals, &QComboBox::activated, this, [this](int index) {
        const QString id = m_proposals->itemData(index).toString();
        m_controller->setProposalID(id.isEmpty() ? std::nullopt : std::optional<std::string>(id.toStdString()));
    });
    connect(m_charts, &QComboBox::activated, this,
            [this](int index) { m_controller->setSheetID(m_charts->itemData(index).toString().toStdString()); });
    return pickers;
}

QWidget *PlanningWorkspace::buildToolbar()
{
    m_toolbar = new QWidget(this);
    auto *row = new QHBoxLayout(m_toolbar);
    row->setContentsMargins(0, 0, 0, 0);
    auto *add = ::button(QStringLiteral("Add Position"), m_toolbar);
    m_edit = ::button(QStringLiteral("Edit / Change Manager"), m_toolbar);
    m_vacant = ::button(QStringLiteral("Make Vacant\u2026"), m_toolbar);
    // "&&": a single ampersand would mark a keyboard mnemonic.
    m_delete = ::button(QStringLiteral("Delete Person && Position\u2026"), m_toolbar);
    // Destructive, in red while it can be pressed.
    keepReadable(m_delete, QPalette::ButtonText, QPalette::Button, errorRed);
    m_restore = ::button(QStringLiteral("Restore Deleted Position"), m_toolbar);
    auto *report = ::button(QStringLiteral("Change Report\u2026"), m_toolbar);
    auto *print = ::button(QStringLiteral("Export PDF / Print\u2026"), m_toolbar);
    for (QPushButton *widget : {add, m_edit, m_vacant, m_delete, m_restore})
        row->addWidget(widget);
    row->addStretch();
    row->addWidget(report);
    row->addWidget(print);
    WindowPlacement::elideWidestFirst(*m_toolbar);
    connect(add, &QPushButton::clicked, this, &PlanningWorkspace::addPosition);
    connect(m_edit, &QPushButton::clicked, this, &PlanningWorkspace::editSelected);
    connect(m_vacant, &QPushButton::clicked, m_controller, &PlanningWorkspaceController::requestVacancy);
    connect(m_delete, &QPushButton::clicked, m_controller, &PlanningWorkspaceController::requestDeletion);
    connect(m_restore, &QPushButton::clicked, m_controller, &PlanningWorkspaceController::restoreSelected);
    connect(report, &QPushButton::clicked, this, &PlanningWorkspace::showReport);
    connect(print, &QPushButton::clicked, this, &PlanningWorkspace::openPrint);
    return m_toolbar;
}

QWidget *PlanningWorkspace::buildChartArea()
{
    m_area = new QStackedWidget(this);

    auto *empty = new QWidget(m_area);
    auto *emptyColumn = new QVBoxLayout(empty);
    emptyColumn->addStretch();
    auto *emptyTitle = new QLabel(QStringLiteral("\U0001F512\nStart a Planning Cycle"), empty);
    QFont font = emptyTitle->font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    font.setBold(true);
    emptyTitle->setFont(font);
    emptyTitle->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyTitle);
    auto *emptyText = caption(
        QStringLiteral("Lock Current, then create a named proposal. The lock does not clear your version history."),
        empty);
    emptyText->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyText);
    emptyColumn->addStretch();
    m_area->addWidget(empty);

    auto *chart = new QWidget(m_area);
    auto *chartColumn = new QVBoxLayout(chart);
    chartColumn->setContentsMargins(0, 0, 0, 0);
    m_canvas = new ProposalCanvas(m_controller->routeStore(), chart);
    chartColumn->addWidget(m_canvas, 1);
    auto *status = new QHBoxLayout;
    m_selectionText = caption(QString(), chart);
    m_selectionText->setWordWrap(false);
    m_countText = caption(QString(), chart);
    // One line: "20000 proposed positions" must not break beside the selection text.
    m_countText->setWordWrap(false);
    status->addWidget(m_selectionText, 1);
    status->addWidget(m_countText);
    chartColumn->addLayout(status);
    m_area->addWidget(chart);

    connect(&m_canvas->surface(), &ProposalChartSurface::cardClicked, m_controller,
            [this](const std::string &id) { m_controller->select(id); });
    return m_area;
}

void PlanningWorkspace::refresh()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    PlanningWorkspaceController &c = *m_controller;
    using State = PlanningWorkspaceController::PlanningState;
    const State state = c.planningState();
    // Lock, Unlock and Relock take each other's place: the focus follows.
    QPushButton *lockButton = state == State::none ? m_lock : state == State::locked ? m_unlock : m_relock;
    for (QPushButton *shown : {m_lock, m_unlock, m_relock}) {
        if (shown != lockButton && shown->isVisible())
            FocusKeeper::replace(shown, lockButton);
    }
    m_lock->setVisible(state == State::none);
    m_lockState->setVisible(state != State::none);
    m_lockState->setText(state == State::locked ? QStringLiteral("\U0001F512 Current locked")
                                                : QStringLiteral("\U0001F513 Current unlocked"));
    m_unlock->setVisible(state == State::locked);
    m_relock->setVisible(state == State::unlocked);

    m_proposals->clear();
    m_proposals->addItem(QStringLiteral("Locked baseline (read only)"), QString());
    for (const PlanningWorkspaceController::ProposalEntry &entry : c.proposals()) {
        m_proposals->addItem(toQt(entry.name), toQt(entry.id));
        if (c.proposalID() == entry.id)
            m_proposals->setCurrentIndex(m_proposals->count() - 1);
    }
    if (m_proposalName->text() != c.proposalName())
        m_proposalName->setText(c.proposalName());
    m_create->setEnabled(c.canCreateProposal());

    m_charts->clear();
    m_charts->addItem(QStringLiteral("Entire organization"), QString());
    for (const OrganizationSheet &sheet : c.sheets()) {
        m_charts->addItem(toQt(sheet.name), toQt(sheet.id));
        if (sheet.id == c.sheetID())
            m_charts->setCurrentIndex(m_charts->count() - 1);
    }

    m_toolbar->setEnabled(c.toolbarEnabled());
    // An action done (Make Vacant on the vacancy it made) hands the keyboard back to the card,
    // not on to Delete beside it.
    QWidget *card = &m_canvas->surface();
    FocusKeeper::setEnabled(m_edit, c.canEditSelected(), card);
    FocusKeeper::setEnabled(m_vacant, c.canMakeVacant(), card);
    FocusKeeper::setEnabled(m_delete, c.canEditSelected(), card);
    m_restore->setVisible(c.deletedSelection());

    m_area->setCurrentIndex(state == State::none ? 0 : 1);
    ProposalChartSurface &surface = m_canvas->surface();
    surface.setSettings(c.settings());
    surface.setChart(c.shownChart());
    surface.setSelection(c.selectedID());
    m_selectionText->setText(c.selectionText());
    m_countText->setText(c.countText());
    m_refreshing = false;
}

void PlanningWorkspace::openEditor(const Position &position, bool isNew)
{
    auto *editor = new PositionEditor(m_controller->editorModel(position, isNew).release(), this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    // Saving with "add another" keeps the editor open on the proposal's new positions.
    connect(m_controller, &PlanningWorkspaceController::changed, editor,
            [this, editor, shown = m_controller->activeRevision()]() mutable {
                if (m_controller->activeRevision() == shown)
                    return;
                shown = m_controller->activeRevision();
                editor->model().setPositions(m_controller->active().organization.positions);
                editor->model().setSheets(m_controller->active().sortedSheets());
            });
    FocusKeeper::giveKeyboardBackOnClose(editor);
    editor->open();
}

void PlanningWorkspace::addPosition()
{
    openEditor(m_controller->addPosition(), true);
}

void PlanningWorkspace::editSelected()
{
    if (const std::optional<Position> position = m_controller->editSelected())
        openEditor(*position, false);
}

void PlanningWorkspace::showReport()
{
    auto *sheet = new ChangeReportSheet(*m_controller, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    FocusKeeper::giveKeyboardBackOnClose(sheet);
    sheet->open();
}

void PlanningWorkspace::openPrint()
{
    auto printer = std::make_unique<SystemChartPrinter>();
    auto model = std::make_unique<PrintSheetModel>(m_controller->openPrint(), *m_controller, m_dialogs, *printer);
    auto *sheet = new ChartPrintSheet(std::move(model), std::move(printer), this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    FocusKeeper::giveKeyboardBackOnClose(sheet);
    sheet->open();
}
