#include "app/chart/chart_window_body.h"

#include "app/chart/card_menu.h"
#include "app/chart/chart_canvas.h"
#include "app/chart/chart_view.h"
#include "app/chart/selection_inspector_strip.h"
#include "app/shell/organization_document.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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
    m_nullManagers = new QCheckBox(QStringLiteral("Null Managers"), column);
    m_nullManagers->setToolTip(
        QStringLiteral("Show people without a primary manager in the sidebar, including top-level positions."));
    connect(m_nullManagers, &QCheckBox::toggled, &m_view, &ChartView::setOnlyNullManagers);
    auto *padded = new QHBoxLayout;
    padded->setContentsMargins(10, 10, 10, 10);
    padded->addWidget(m_nullManagers);
    layout->addLayout(padded);
    layout->addWidget(createSidebar(), 1);
    column->setMinimumWidth(180);
    return column;
}

QWidget *ChartWindowBody::createSidebar()
{
    m_people = new QListWidget(this);
    m_people->setUniformItemSizes(true);
    m_people->setAccessibleName(QStringLiteral("People"));
    connect(m_people, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        m_view.selectPerson(item->data(Qt::UserRole).toString().toStdString());
    });
    return m_people;
}

QWidget *ChartWindowBody::sidebar() const
{
    return m_people;
}

void ChartWindowBody::feedSidebar()
{
    const std::vector<Position> positions = m_view.sidebarPositions();
    m_people->clear();
    m_peopleRows.clear();
    for (const Position &position : positions) {
        const QString who = position.employee ? toQt(position.employee->name) : QStringLiteral("Vacant position");
        auto *item = new QListWidgetItem(who + QStringLiteral(" \u2014 ") + toQt(position.jobTitle()));
        item->setData(Qt::UserRole, toQt(position.id));
        m_peopleRows.emplace(position.id, m_people->count());
        m_people->addItem(item);
    }
    showSidebarSelection();
}

void ChartWindowBody::showSidebarSelection()
{
    const std::optional<std::string> &selected = m_view.selectedID();
    const auto row = selected ? m_peopleRows.find(*selected) : m_peopleRows.end();
    if (row == m_peopleRows.end()) {
        m_people->clearSelection();
        return;
    }
    m_people->setCurrentRow(row->second);
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
    m_name->setFrame(false);
    QFont title = m_name->font();
    title.setPointSizeF(title.pointSizeF() * 1.55);
    title.setBold(true);
    m_name->setFont(title);
    // A plain field: the name reads as the window's heading until it is edited.
    QPalette plain = m_name->palette();
    plain.setColor(QPalette::Base, Qt::transparent);
    m_name->setPalette(plain);
    // textChanged, not textEdited: the field's own undo (Ctrl+Z while it has focus) must reach the document too.
    connect(m_name, &QLineEdit::textChanged, &m_view, &ChartView::setOrganizationName);
    // Leaving the field closes its undo step: the next typing is a step of its own.
    connect(m_name, &QLineEdit::editingFinished, &m_view.document(), &OrganizationDocument::endMerge);
    m_counts = new QLabel(column);
    m_counts->setForegroundRole(QPalette::PlaceholderText);
    header->addWidget(m_name, 1);
    header->addWidget(m_counts);
    layout->addLayout(header);

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
    if (m_name->text() != toQt(archive.name))
        m_name->setText(toQt(archive.name));
    m_name->setEnabled(canEdit);
    m_counts->setText(ChartView::countsText(m_view.chartCounts()));
    m_emptyState->setVisible(archive.organization.positions.empty());
    m_addPosition->setEnabled(canEdit && m_view.isPositionEditorAvailable());
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
