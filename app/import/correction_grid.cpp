#include "app/import/correction_grid.h"

#include "app/import/correction_grid_model.h"
#include "app/import/import_flow.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int rowNumberWidth = 85;
constexpr int cellWidth = 160;
constexpr int messagesWidth = 320;
constexpr int messageListHeight = 120;

// Writes through on every keystroke, so the review sees what is typed without a commit step.
class KeystrokeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            line->setAccessibleName(index.data(Qt::AccessibleTextRole).toString());
            connect(line, &QLineEdit::textEdited, this, [this, line] {
                emit const_cast<KeystrokeDelegate *>(this)->commitData(line);
            });
        }
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        // A repaint after a keystroke must not move the cursor of the field being typed in.
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (line && line->text() == index.data(Qt::EditRole).toString())
            return;
        QStyledItemDelegate::setEditorData(editor, index);
    }
};

// Only the header row of the grid model, for the pinned line above the scrolling rows.
class HeaderLineModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : std::min(1, QIdentityProxyModel::rowCount(parent));
    }
};

} // namespace

CorrectionGrid::CorrectionGrid(ImportFlow &flow, QWidget *parent)
    : QWidget(parent), m_flow(flow), m_model(new CorrectionGridModel(flow, this)),
      m_messageModel(new CorrectionMessagesModel(flow, this)), m_body(new QWidget(this)), m_filter(new QComboBox),
      m_counts(new QLabel), m_messagesToggle(new QToolButton), m_messages(new QListView), m_headerLine(new QTableView),
      m_table(new QTableView), m_empty(new QLabel(QStringLiteral("No rows match this filter.")))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto *title = new QLabel(QStringLiteral("Import Correction Workspace"));
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.15);
    title->setFont(headline);
    auto *explanation =
        new QLabel(QStringLiteral("Correct cells below; validation updates as you type. Save a draft to finish later."));
    explanation->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(title);
    layout->addWidget(explanation);
    layout->addWidget(m_body, 1);

    auto *body = new QVBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(8);

    auto *filterLine = new QHBoxLayout;
    auto *show = new QLabel(QStringLiteral("Show"));
    for (const ImportRowFilter filter : allImportRowFilters)
        m_filter->addItem(QString::fromUtf8(importRowFilterLabel(filter).data(), qsizetype(importRowFilterLabel(filter).size())));
    m_filter->setToolTip(QStringLiteral("Null Managers shows blank primary-manager cells, including legitimate top-level positions."));
    m_filter->setFixedWidth(260 - show->sizeHint().width() - filterLine->spacing());
    show->setBuddy(m_filter);
    filterLine->addWidget(show);
    filterLine->addWidget(m_filter);
    filterLine->addWidget(m_counts);
    filterLine->addStretch();
    body->addLayout(filterLine);
    connect(m_filter, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_flow.setRowFilter(allImportRowFilters[size_t(index)]);
    });

    m_messagesToggle->setText(QStringLiteral("All Validation Messages"));
    m_messagesToggle->setCheckable(true);
    m_messagesToggle->setAutoRaise(true);
    m_messagesToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(m_messagesToggle, &QToolButton::toggled, this, [this](bool open) { m_flow.setValidationExpanded(open); });
    m_messages->setModel(m_messageModel);
    m_messages->setUniformItemSizes(true);
    m_messages->setMaximumHeight(messageListHeight);
    m_messages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_messages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto *copy = new QAction(QStringLiteral("Copy"), m_messages);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] {
        QModelIndexList rows = m_messages->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end());
        QStringList lines;
        for (const QModelIndex &row : rows)
            lines.append(row.data().toString());
        QGuiApplication::clipboard()->setText(lines.join('\n'));
    });
    m_messages->addAction(copy);
    body->addWidget(m_messagesToggle);
    body->addWidget(m_messages);

    auto *headerModel = new HeaderLineModel(this);
    headerModel->setSourceModel(m_model);
    for (QTableView *view : {m_headerLine, m_table}) {
        // One delegate per view: a delegate's commit reaches every view it serves.
        view->setItemDelegate(new KeystrokeDelegate(view));
        view->horizontalHeader()->hide();
        view->verticalHeader()->setFixedWidth(rowNumberWidth);
        view->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
        view->horizontalHeader()->setDefaultSectionSize(cellWidth);
        view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        view->setEditTriggers(QAbstractItemView::AllEditTriggers);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setWordWrap(false); // one line per row; the full messages are in the tooltip
    }
    m_headerLine->setModel(headerModel);
    m_table->setModel(m_model);
    m_headerLine->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_headerLine->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_headerLine->setFixedHeight(m_headerLine->verticalHeader()->defaultSectionSize() + 2 * m_headerLine->frameWidth());
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(m_table->horizontalScrollBar(), &QScrollBar::valueChanged, m_headerLine->horizontalScrollBar(), &QScrollBar::setValue);
    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) { m_headerLine->horizontalHeader()->resizeSection(section, size); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &CorrectionGrid::layOutColumns);
    auto *grid = new QVBoxLayout;
    grid->setSpacing(0); // the pinned header row sits right on the rows it heads
    grid->addWidget(m_headerLine);
    grid->addWidget(m_empty);
    grid->addWidget(m_table, 1);
    body->addLayout(grid, 1);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_empty->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_empty->setContentsMargins(rowNumberWidth, 8, 0, 0);

    connect(&m_flow, &ImportFlow::stateChanged, this, &CorrectionGrid::refreshState);
    connect(&m_flow, &ImportFlow::reviewChanged, this, &CorrectionGrid::refreshReview);
    layOutColumns();
    refreshState();
    refreshReview();
}

void CorrectionGrid::layOutColumns()
{
    // The header row is shown pinned above; the scrolling rows start below it.
    if (m_model->rowCount() > 0)
        m_table->setRowHidden(0, true);
    for (QTableView *view : {m_headerLine, m_table}) {
        if (m_model->columnCount() > 0)
            view->horizontalHeader()->resizeSection(CorrectionGridModel::messagesColumn, messagesWidth);
    }
    m_headerLine->horizontalScrollBar()->setValue(m_table->horizontalScrollBar()->value());
}

void CorrectionGrid::refreshState()
{
    m_body->setVisible(m_flow.sheet() != nullptr);
    const QSignalBlocker blockFilter(m_filter);
    m_filter->setCurrentIndex(int(m_flow.rowFilter()));
    const QSignalBlocker blockToggle(m_messagesToggle);
    m_messagesToggle->setChecked(m_flow.isValidationExpanded());
    m_messagesToggle->setArrowType(m_flow.isValidationExpanded() ? Qt::DownArrow : Qt::RightArrow);
    m_messages->setVisible(m_flow.isValidationExpanded());
}

void CorrectionGrid::refreshReview()
{
    m_body->setVisible(m_flow.sheet() != nullptr);
    if (!m_flow.sheet() || m_flow.step() != ImportFlow::Step::corrections)
        return;
    m_counts->setText(m_flow.countsText());
    const bool none = m_flow.shownRows().empty();
    m_empty->setVisible(none);
    m_table->setVisible(!none);
}
