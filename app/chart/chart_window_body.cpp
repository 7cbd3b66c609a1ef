#include "app/chart/chart_window_body.h"

#include "app/chart/card_menu.h"
#include "app/chart/chart_canvas.h"
#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_view.h"
#include "app/chart/selection_inspector_strip.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/field_step.h"
#include "app/shell/focus_keeper.h"
#include "app/shell/organization_document.h"
#include "app/shell/window_placement_button.h"
#include "app/sidebar/chart_design_controls.h"
#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/popup_placement.h"
#include "app/sidebar/searchable_dropdown.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

ChartWindowBody::ChartWindowBody(ChartView &view, QWidget *parent) : QWidget(parent), m_view(view)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(createSidebarColumn());
    m_splitter->addWidget(createDetailColumn());
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({260, 940});
    layout->addWidget(m_splitter);

    OrganizationDocument &document = view.document();
    for (auto changed : {&ChartView::chartChanged, &ChartView::selectionChanged, &ChartView::sidebarFilterChanged,
                         &ChartView::printSettingsChanged})
        connect(&view, changed, this, &ChartWindowBody::scheduleRefresh);
    connect(&document, &OrganizationDocument::archiveChanged, this, &ChartWindowBody::scheduleRefresh);
    refresh();
}

QWidget *ChartWindowBody::createSidebarColumn()
{
    auto *column = new QWidget(this);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QWidget *sidebar = createSidebar();
    // The sidebar's title heads its column, as a navigation title does.
    auto *heading = new QLabel(sidebar->windowTitle(), column);
    QFont title = heading->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.2);
    heading->setFont(title);
    heading->setContentsMargins(10, 10, 10, 0);
    layout->addWidget(heading);
    m_nullManagers = new QCheckBox(QStringLiteral("Null Managers"), column);
    m_nullManagers->setToolTip(
        QStringLiteral("Show people without a primary manager in the sidebar, including top-level positions."));
    connect(m_nullManagers, &QCheckBox::toggled, &m_view, &ChartView::setOnlyNullManagers);
    auto *padded = new QHBoxLayout;
    padded->setContentsMargins(10, 10, 10, 10);
    padded->addWidget(m_nullManagers);
    layout->addLayout(padded);
    layout->addWidget(sidebar, 1);
    return column;
}

QWidget *ChartWindowBody::createSidebar()
{
    m_people = new OrganizationSidebar(SidebarMode::all(), this);
    m_people->setAccessibleName(QStringLiteral("People"));
    m_people->setActions([this](const std::string &id) { m_view.selectPerson(id); },
                         [this](const Position &position) { m_view.editPosition(position); });
    return m_people;
}

void ChartWindowBody::feedSidebar()
{
    m_people->setSharedPositions(m_view.sidebarPositions());
    showSidebarSelection();
}

void ChartWindowBody::showSidebarSelection()
{
    m_people->setSelection(m_view.selectedID());
}

QLayout *ChartWindowBody::createWorkspaceControls(QWidget *column)
{
    m_chartPicker = new SearchableDropdown(QStringLiteral("Chart"), column);
    m_chartPicker->setMaximumWidth(320);
    connect(m_chartPicker, &SearchableDropdown::chosen, this,
            [this](const QString &id) { m_view.setSelectedSheetID(id.toStdString()); });
    // "&&" shows one ampersand rather than marking a mnemonic.
    m_paperButton = new WindowPlacement::ElidingButton(QStringLiteral("Paper && Appearance"), column);
    connect(m_paperButton, &QPushButton::clicked, this, &ChartWindowBody::togglePaperPanel);
    connect(&m_view.document(), &OrganizationDocument::archiveChanged, this, [this] { m_chartPickerStale = true; });
    m_header = new ChartHeaderControls(m_view, column);
    QLayout *rows = m_header->layout(m_chartPicker, m_paperButton);
    rows->setContentsMargins(12, 0, 12, 12);
    return rows;
}

ChartDesignControls *ChartWindowBody::paperPanel() const
{
    return m_paperPanel;
}

void ChartWindowBody::togglePaperPanel()
{
    if (m_paperPanel) {
        m_paperPanel->window()->close();
        return;
    }
    auto *popup = new QFrame(this, Qt::Popup);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setFrameShape(QFrame::StyledPanel);
    ChartView &view = m_view;
    ChartDesignBindings bindings{
        {[&view] { return view.printSettings(); }, [&view](const ChartPrintSettings &settings) { view.setPrintSettings(settings); }},
        {[&view] { return view.pageTitle(); }, [&view](const QString &text) { view.setPageTitle(text); }},
        {[&view] { return view.pageSubtitle(); }, [&view](const QString &text) { view.setPageSubtitle(text); }},
        Binding<bool>{[&view] { return view.focusedDepartmentView(); }, [&view](const bool &on) { view.setFocusedDepartmentView(on); }},
    };
    m_paperPanel = new ChartDesignControls(std::move(bindings), standardPapers());
    // Taller than a small screen at a large scale: the panel scrolls there.
    setScrollingContent(popup, m_paperPanel);
    connect(&view, &ChartView::printSettingsChanged, m_paperPanel, &ChartDesignControls::refresh);
    // Leaving a heading field closes its undo step, as for the organization's name.
    OrganizationDocument &document = view.document();
    for (QLineEdit *field : {m_paperPanel->titleField(), m_paperPanel->subtitleField()})
        FieldStep::closeOnCommit(field, &document, [&document] { document.endMerge(); });
    refreshWorkspaceControls();
    // Its whole size where the screen has it, even over its button: a panel cut to the room
    // below the button would scroll on a screen that holds all of it.
    showPopupBelow(popup, m_paperButton, PopupFit::wholeOnScreen);
}

void ChartWindowBody::refreshWorkspaceControls()
{
    if (m_chartPickerStale) {
        m_chartPicker->setOptions(m_view.sheetOptions());
        m_chartPickerStale = false;
    }
    m_chartPicker->setSelection(toQt(m_view.selectedSheetID()));
    m_paperButton->setToolTip(paperHelpText(m_view.printSettings()));
    m_people->setEditingEnabled(m_view.isPositionEditorAvailable());
    if (m_paperPanel)
        m_paperPanel->setCanChangeFocusedView(!m_view.selectedSheetID().empty() && m_view.canEditCurrent());
}

QWidget *ChartWindowBody::createDetailColumn()
{
    auto *column = new QWidget(this);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(12, 10, 12, 12);
    m_name = new QLineEdit(column);
    m_name->setPlaceholderText(QStringLiteral("Organization Name"));
    AccessibleFields::name(m_name, m_name->placeholderText());
    m_name->setFrame(false);
    QFont title = m_name->font();
    title.setPointSizeF(title.pointSizeF() * 1.55);
    title.setBold(true);
    m_name->setFont(title);
    // A plain field: the name reads as the window's heading until it is edited.
    QPalette plain = m_name->palette();
    plain.setColor(QPalette::Base, Qt::transparent);
    m_name->setPalette(plain);
    // textChanged, not textEdited: the field's own undo (Ctrl+Z while it has focus) must
    // reach the document too, within the step of the typing it takes back.
    connect(m_name, &QLineEdit::textChanged, &m_view, &ChartView::setOrganizationName);
    // Leaving the field closes its undo step: the next typing is a step of its own.
    OrganizationDocument &document = m_view.document();
    FieldStep::closeOnCommit(m_name, &document, [&document] { document.endMerge(); });
    m_counts = new QLabel(column);
    m_counts->setForegroundRole(QPalette::PlaceholderText);
    header->addWidget(m_name, 1);
    header->addWidget(m_counts);
    layout->addLayout(header);
    layout->addLayout(createWorkspaceControls(column));

    auto *divider = new QFrame(column);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    m_emptyState = createEmptyState();
    layout->addWidget(m_emptyState, 1);
    m_canvas = new ChartCanvas(m_view, column);
    layout->addWidget(m_canvas, 3);
    connect(m_canvas, &ChartCanvas::cardContextMenuRequested, this, &ChartWindowBody::showCardMenu);
    m_inspector = new SelectionInspectorStrip(m_view, column);
    m_inspector->setKeyboardHome(m_canvas);
    layout->addWidget(m_inspector);
    return column;
}

QWidget *ChartWindowBody::createEmptyState()
{
    auto *state = new QWidget(this);
    auto *layout = new QVBoxLayout(state);
    layout->addStretch(1);
    auto *title = new QLabel(QStringLiteral("Build Your Organization"), state);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    auto *description =
        new QLabel(QStringLiteral("Add your first position, import JSON, or load the sample district."), state);
    description->setAlignment(Qt::AlignCenter);
    description->setForegroundRole(QPalette::PlaceholderText);
    // On two lines in a narrow window (the chart's column at scale 2), never cut.
    description->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(description);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_addPosition = new QPushButton(QStringLiteral("Add Position"), state);
    connect(m_addPosition, &QPushButton::clicked, this, [this] { m_view.addPosition(m_view.selectedID(), false); });
    m_loadSample = new QPushButton(QStringLiteral("Load Sample District"), state);
    connect(m_loadSample, &QPushButton::clicked, &m_view, &ChartView::loadSampleDistrict);
    buttons->addWidget(m_addPosition);
    buttons->addWidget(m_loadSample);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    return state;
}

void ChartWindowBody::showCardMenu(const std::string &cardID, const QPoint &globalPosition)
{
    CardMenu::build(m_view, cardID, this)->popup(globalPosition);
}

void ChartWindowBody::scheduleRefresh()
{
    // One change of the window often moves several fields: read them once they settle.
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &ChartWindowBody::refresh, Qt::QueuedConnection);
}

void ChartWindowBody::refresh()
{
    m_refreshPending = false;
    const OrganizationArchive &archive = m_view.archive();
    const bool canEdit = m_view.canEditCurrent();
    FieldStep::showText(m_name, toQt(archive.name));
    m_name->setEnabled(canEdit);
    m_counts->setText(ChartView::countsText(m_view.chartCounts()));
    refreshWorkspaceControls();
    // An empty document has nothing to draw: the empty state takes the room, and the chart
    // waits to be fitted until it has cards, at the canvas's final size.
    const bool empty = archive.organization.positions.empty();
    // "Load Sample District" goes with the empty state: the focus goes on to the chart.
    if (empty)
        FocusKeeper::replace(m_canvas, m_emptyState);
    else
        FocusKeeper::replace(m_emptyState, m_canvas);
    // Left enabled while Current is locked: pressing it says why nothing can be added.
    m_addPosition->setEnabled(m_view.isPositionEditorAvailable());
    m_loadSample->setEnabled(canEdit);
    m_nullManagers->setChecked(m_view.onlyNullManagers());
    m_inspector->refresh();
    // The list is long on a large district: fed again only when the chart or the filter
    // changed, not for a new selection.
    std::shared_ptr<const ChartScene> scene = m_view.chartScene();
    if (!scene || scene != m_fedScene || m_view.onlyNullManagers() != m_fedFilter) {
        m_fedScene = std::move(scene);
        m_fedFilter = m_view.onlyNullManagers();
        feedSidebar();
        return;
    }
    showSidebarSelection();
}
