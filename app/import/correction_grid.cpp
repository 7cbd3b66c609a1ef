#include "app/import/correction_grid.h"

#include "app/import/correction_grid_model.h"
#include "app/import/import_flow.h"
#include "app/shell/accessible_fields.h"
#include "app/sidebar/sidebar_style.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QStyleOptionFrame>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int rowNumberWidth = 85;
constexpr int fieldWidth = 160;
constexpr int fieldSpacing = 8;
constexpr int messageListHeight = 120;
// Half the 12 points between one row's block and the next.
constexpr int blockMargin = 6;
// Between the cell line and each message under it.
constexpr int messageSpacing = 4;
// Around each message in the list of all of them.
constexpr int listPadding = 2;
// Measures kept of messages, at most: typing changes a few at a time.
constexpr qsizetype keptMeasures = 100'000;

class CorrectionTable;

double luminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

// The outline of a cell's field: the style's own is too faint to find an empty field by, on
// a dark base nearly invisible. The base colour moved towards the text colour just far
// enough to read at 3:1, with a little to spare for the rounding of its corners.
QColor fieldOutline(const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const double baseLight = luminance(base);
    for (int step = 1; step <= 20; ++step) {
        const float t = float(step) / 20;
        const QColor mixed = QColor::fromRgbF(base.redF() + (text.redF() - base.redF()) * t,
                                              base.greenF() + (text.greenF() - base.greenF()) * t,
                                              base.blueF() + (text.blueF() - base.blueF()) * t);
        const double light = luminance(mixed);
        if ((std::max(light, baseLight) + 0.05) / (std::min(light, baseLight) + 0.05) >= 3.3)
            return mixed;
    }
    return text;
}

// Writes through on every keystroke, so the review sees what is typed without a commit step.
// Draws each cell as a text field on the row's first line, leaving the rest of the row to
// the messages; the row number stands centred beside the fields. With a flow, the row of an
// open editor is held in the grid until the editor closes.
class CorrectionCellDelegate : public QStyledItemDelegate {
public:
    CorrectionCellDelegate(const CorrectionRowGeometry &geometry, QObject *parent, ImportFlow *flow = nullptr,
                           const CorrectionGridModel *model = nullptr)
        : QStyledItemDelegate(parent), m_geometry(geometry), m_flow(flow), m_model(model)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            line->setFrame(true); // the field being typed in keeps the look of the others
            line->setAccessibleName(index.data(Qt::AccessibleTextRole).toString());
            line->setAccessibleDescription(index.data(Qt::AccessibleDescriptionRole).toString());
            connect(line, &QLineEdit::textEdited, this, [this, line] {
                emit const_cast<CorrectionCellDelegate *>(this)->commitData(line);
            });
        }
        if (editor && m_flow) {
            // The sheet row, not the model row: rows above may come and go while it is open.
            const int row = m_model->sheetRow(index.row());
            editor->setProperty(heldRowProperty, row);
            m_flow->holdRow(row);
        }
        return editor;
    }

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (const QVariant row = editor->property(heldRowProperty); m_flow && row.isValid())
            m_flow->releaseRow(row.toInt());
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        // A repaint after a keystroke must not move the cursor of the field being typed in.
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (line && line->text() == index.data(Qt::EditRole).toString())
            return;
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        editor->setGeometry(m_geometry.fieldRect(option.rect));
    }

    bool eventFilter(QObject *watched, QEvent *event) override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const bool header = index.row() == 0;
        QFont font = item.font;
        if (header)
            font = captionFont(font); // bold already, from the model
        painter->save();
        painter->setFont(font);
        if (index.column() == CorrectionGridModel::rowNumberColumn) {
            painter->setPen(item.palette.color(QPalette::Text));
            painter->drawText(m_geometry.lineRect(option.rect), Qt::AlignCenter, item.text);
            painter->restore();
            return;
        }
        const QRect field = m_geometry.fieldRect(option.rect);
        QStyleOptionFrame frame;
        frame.QStyleOption::operator=(option);
        frame.rect = field;
        frame.lineWidth = 1;
        frame.midLineWidth = 0;
        frame.state |= QStyle::State_Sunken;
        frame.state &= ~QStyle::State_Selected;
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, painter, widget);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(fieldOutline(option.palette), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(field).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        const QRect text = style->subElementRect(QStyle::SE_LineEditContents, &frame, widget).adjusted(4, 0, -4, 0);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        painter->setPen(foreground.canConvert<QColor>() ? foreground.value<QColor>()
                                                        : item.palette.color(QPalette::Text));
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(font).elidedText(item.text, Qt::ElideRight, text.width()));
        painter->restore();
    }

private:
    static constexpr const char *heldRowProperty = "vantrelHeldRow";
    const CorrectionRowGeometry &m_geometry;
    ImportFlow *m_flow;
    const CorrectionGridModel *m_model;
};

// The grid's rows with their messages drawn under the cells, errors in red and then
// warnings in orange, each wrapped across the pane: never cut by it, nor scrolled out of
// it with the cells. Only the rows on screen are drawn, so a 20,000-row sheet keeps this
// layout at the cost of the rows in view.
class CorrectionTable : public QTableView {
public:
    CorrectionTable(const CorrectionRowGeometry &geometry, QWidget *parent = nullptr)
        : QTableView(parent), m_geometry(geometry)
    {
        setTabKeyNavigation(false);
    }

    // Called with Qt::Key_Up or Qt::Key_Down and the current column when that arrow finds
    // no row to move to: the header line and the rows below it are two views.
    std::function<void(int key, int column)> onEdge;
    // Called once the pane's width has changed, after the event that changed it: the rows'
    // messages wrap anew, and the rows' heights follow.
    std::function<void()> onMessagesWidthChanged;

    // The width the rows' messages wrap to.
    int messagesWidth() const { return std::max(1, viewport()->width() - fieldSpacing); }

    // Where each message of `row` is drawn, in viewport coordinates.
    std::vector<QRect> messageRects(int row, const std::vector<CorrectionMessage> &messages) const
    {
        std::vector<QRect> rects;
        const int width = messagesWidth();
        int top = m_geometry.firstMessageTop(blockRect(row));
        for (const CorrectionMessage &message : messages) {
            const int height = m_geometry.messages.height(message.text, width);
            rects.emplace_back(fieldSpacing / 2, top, width, height);
            top += height + messageSpacing;
        }
        return rects;
    }

    // Moves the focus on from this view, as Tab does from any other field.
    void leave(bool forward) { focusNextPrevChild(forward); }
    // Takes the focus with `cell` current and its field open.
    void enter(const QModelIndex &cell)
    {
        setFocus(Qt::OtherFocusReason);
        setCurrentIndex(cell);
        if (state() != EditingState)
            edit(cell);
    }

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        QModelIndex next = QTableView::moveCursor(action, modifiers);
        // The row number is no field: the cursor stays on the cells.
        if (next.isValid() && next.column() == CorrectionGridModel::rowNumberColumn && model()->columnCount() > 1)
            next = next.siblingAtColumn(CorrectionGridModel::rowNumberColumn + 1);
        return next;
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const QModelIndex current = currentIndex();
        const bool vertical = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
        if (vertical && current.isValid() && onEdge) {
            const QModelIndex next = moveCursor(event->key() == Qt::Key_Up ? MoveUp : MoveDown, event->modifiers());
            if (!next.isValid() || next.row() == current.row()) {
                onEdge(event->key(), current.column());
                return;
            }
        }
        QTableView::keyPressEvent(event);
    }

    void focusInEvent(QFocusEvent *event) override
    {
        QTableView::focusInEvent(event);
        // Entered from the keyboard, the current cell opens its field at once, as every cell
        // the arrows reach does.
        const bool keyboard = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
        const QModelIndex current = currentIndex();
        if (keyboard && current.isValid() && state() != EditingState && (current.flags() & Qt::ItemIsEditable))
            edit(current);
    }

    void paintEvent(QPaintEvent *event) override
    {
        QTableView::paintEvent(event);
        auto *grid = qobject_cast<CorrectionGridModel *>(model());
        if (!grid)
            return;
        const int first = std::max(1, rowAt(event->rect().top()));
        int last = rowAt(event->rect().bottom());
        if (last < 0)
            last = grid->rowCount() - 1;
        QPainter painter(viewport());
        for (int row = first; row <= last; ++row) {
            if (isRowHidden(row) || grid->messageCount(row) == 0)
                continue;
            const std::vector<CorrectionMessage> messages = grid->messages(row);
            const std::vector<QRect> rects = messageRects(row, messages);
            for (size_t i = 0; i < messages.size(); ++i) {
                const bool error = messages[i].kind == ImportMessageKind::error;
                const QColor colour = error ? importErrorColor() : importWarningColor();
                painter.setPen(readableOn(colour, {palette().color(QPalette::Base)}));
                m_geometry.messages.draw(painter, rects[i], messages[i].text);
            }
        }
    }

    // The messages stand still while the cells scroll sideways under them: what the scroll
    // moved is drawn anew.
    void scrollContentsBy(int dx, int dy) override
    {
        QTableView::scrollContentsBy(dx, dy);
        if (dx != 0)
            viewport()->update();
    }

    bool viewportEvent(QEvent *event) override
    {
        if (event->type() == QEvent::Resize && onMessagesWidthChanged && messagesWidth() != m_wrappedTo) {
            m_wrappedTo = messagesWidth();
            // Not inside the resize: new row heights may show or hide a scroll bar.
            QMetaObject::invokeMethod(this, [this] { onMessagesWidthChanged(); }, Qt::QueuedConnection);
        }
        return QTableView::viewportEvent(event);
    }

public:
    // The row's whole block in viewport coordinates, at least as wide as the viewport.
    QRect blockRect(int row) const
    {
        const int left = columnViewportPosition(0);
        const int right = std::max(viewport()->width(), columnViewportPosition(model()->columnCount() - 1)
                                                            + columnWidth(model()->columnCount() - 1));
        return QRect(left, rowViewportPosition(row), right - left, rowHeight(row));
    }

private:
    const CorrectionRowGeometry &m_geometry;
    int m_wrappedTo = -1;
};

bool CorrectionCellDelegate::eventFilter(QObject *watched, QEvent *event)
{
    auto *line = qobject_cast<QLineEdit *>(watched);
    if (!line || event->type() != QEvent::KeyPress)
        return QStyledItemDelegate::eventFilter(watched, event);
    auto *view = static_cast<CorrectionTable *>(parent());
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
        // Tab leaves the grid as it leaves any field: stepping through every cell of a large
        // sheet would never reach the buttons below it.
        const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
        emit commitData(line);
        emit closeEditor(line, NoHint);
        view->leave(forward);
        return true;
    }
    // Left and Right move the text cursor, and on to the next cell once it stands at the
    // field's edge (or the whole text is selected, as in a cell just entered).
    const bool whole = line->hasSelectedText() && line->selectedText() == line->text();
    const bool atStart = whole || (!line->hasSelectedText() && line->cursorPosition() == 0);
    const bool atEnd = whole || (!line->hasSelectedText() && line->cursorPosition() == line->text().size());
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && ((key->key() == Qt::Key_Left && atStart) || (key->key() == Qt::Key_Right && atEnd))) {
        QCoreApplication::sendEvent(view, event);
        return true;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

// The message list's reds and oranges, darkened or lightened to read on the list, each
// message wrapped across the list rather than cut at its edge.
class MessageListDelegate : public QStyledItemDelegate {
public:
    explicit MessageListDelegate(QListView *list) : QStyledItemDelegate(list), m_list(list), m_messages(list->font()) {}

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        const QString text = index.data().toString();
        return {m_list->viewport()->width(), m_messages.height(text, textWidth()) + 2 * listPadding};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear(); // the style draws the row's background and selection, and no text
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        painter->save();
        const bool selected = item.state & QStyle::State_Selected;
        painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect box = option.rect.adjusted(listPadding, listPadding, -listPadding, -listPadding);
        m_messages.draw(*painter, QRect(box.topLeft(), QSize(textWidth(), box.height())), text);
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QColor text = option->palette.color(QPalette::Text);
        option->palette.setColor(QPalette::Text, readableOn(text, {option->palette.color(QPalette::Base)}));
    }

private:
    int textWidth() const { return std::max(1, m_list->viewport()->width() - 2 * listPadding); }

    QListView *m_list;
    WrappedMessages m_messages;
};

// Only the header row of the grid model, for the pinned line above the scrolling rows. A
// filter, not a cut-off count, so that rows the grid inserts and removes below it pass by.
class HeaderLineModel : public QSortFilterProxyModel {
public:
    explicit HeaderLineModel(QObject *parent) : QSortFilterProxyModel(parent)
    {
        setDynamicSortFilter(false); // the header stays row 0; no refiltering per keystroke
    }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &) const override { return sourceRow == 0; }
};

} // namespace

// Lays `layout` out wrapped to `width`; its height.
static int layOutWrapped(QTextLayout &layout, int width)
{
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrapping);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return int(std::ceil(height));
}

// The width `text` takes on one line.
static int oneLineWidth(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setNumColumns(int(text.size()));
    const qreal width = line.naturalTextWidth();
    layout.endLayout();
    return int(std::ceil(width));
}

WrappedMessages::WrappedMessages(const QFont &font) : m_font(font)
{
    QTextLayout line(QStringLiteral("X"), m_font);
    m_lineHeight = layOutWrapped(line, 1000);
}

int WrappedMessages::height(const QString &text, int width) const
{
    // Messages come and go as cells are typed in: what is kept is bounded.
    if (m_oneLineWidths.size() >= keptMeasures)
        m_oneLineWidths.clear();
    auto kept = m_oneLineWidths.constFind(text);
    if (kept == m_oneLineWidths.cend())
        kept = m_oneLineWidths.insert(text, oneLineWidth(text, m_font));
    if (*kept <= width)
        return m_lineHeight;
    if (width != m_width || m_wrappedHeights.size() >= keptMeasures) {
        m_wrappedHeights.clear();
        m_width = width;
    }
    if (const auto wrapped = m_wrappedHeights.constFind(text); wrapped != m_wrappedHeights.cend())
        return *wrapped;
    QTextLayout layout(text, m_font);
    const int height = layOutWrapped(layout, width);
    m_wrappedHeights.insert(text, height);
    return height;
}

void WrappedMessages::draw(QPainter &painter, const QRect &rect, const QString &text) const
{
    QTextLayout layout(text, m_font);
    layOutWrapped(layout, rect.width());
    layout.draw(&painter, rect.topLeft());
}

CorrectionRowGeometry::CorrectionRowGeometry(const QFont &font)
    : fieldHeight(QLineEdit().sizeHint().height()), messages(captionFont(font))
{
}

int CorrectionRowGeometry::rowHeight(int count, int messagesHeight) const
{
    return 2 * blockMargin + fieldHeight + count * messageSpacing + messagesHeight;
}

QRect CorrectionRowGeometry::lineRect(const QRect &cell) const
{
    return QRect(cell.left(), cell.top() + blockMargin, cell.width(), fieldHeight);
}

QRect CorrectionRowGeometry::fieldRect(const QRect &cell) const
{
    return lineRect(cell).adjusted(fieldSpacing / 2, 0, -fieldSpacing / 2, 0);
}

int CorrectionRowGeometry::firstMessageTop(const QRect &block) const
{
    return block.top() + blockMargin + fieldHeight + messageSpacing;
}

CorrectionGrid::CorrectionGrid(ImportFlow &flow, QWidget *parent)
    : QWidget(parent), m_flow(flow), m_geometry(font()), m_model(new CorrectionGridModel(flow, this)),
      m_messageModel(new CorrectionMessagesModel(flow, this)), m_body(new QWidget(this)), m_filter(new QComboBox),
      m_counts(new QLabel), m_messagesToggle(new QToolButton), m_messages(new QListView),
      m_headerLine(new CorrectionTable(m_geometry)), m_table(new CorrectionTable(m_geometry)),
      m_empty(new QLabel(QStringLiteral("No rows match this filter.")))
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
    AccessibleFields::tie(show, m_filter);
    filterLine->addWidget(show);
    filterLine->addWidget(m_filter);
    // The leading-zero counts make the line long: it wraps rather than run past the window.
    m_counts->setWordWrap(true);
    filterLine->addWidget(m_counts, 1);
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
    m_messages->setFont(captionFont(m_messages->font()));
    m_messages->setItemDelegate(new MessageListDelegate(m_messages));
    // Each message as tall as its lines at the list's width, laid out again when it changes.
    m_messages->setResizeMode(QListView::Adjust);
    m_messages->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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
        QApplication::clipboard()->setText(lines.join('\n'));
    });
    m_messages->addAction(copy);
    m_messages->setAccessibleName(QStringLiteral("All Validation Messages"));
    body->addWidget(m_messagesToggle);
    body->addWidget(m_messages);

    auto *headerModel = new HeaderLineModel(this);
    headerModel->setSourceModel(m_model);
    // One delegate per view: a delegate's commit reaches every view it serves. The header
    // line's row never leaves, so only the rows' delegate holds its row.
    m_headerLine->setItemDelegate(new CorrectionCellDelegate(m_geometry, m_headerLine));
    m_table->setItemDelegate(new CorrectionCellDelegate(m_geometry, m_table, &m_flow, m_model));
    for (QTableView *view : {m_headerLine, m_table}) {
        view->horizontalHeader()->hide();
        view->verticalHeader()->hide();
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(m_geometry.rowHeight(0, 0));
        view->horizontalHeader()->setMinimumSectionSize(0);
        view->horizontalHeader()->setDefaultSectionSize(fieldWidth + fieldSpacing);
        view->setShowGrid(false);
        view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        view->setEditTriggers(QAbstractItemView::AllEditTriggers);
        // The current cell is its open field; a highlight would cover the row's messages.
        view->setSelectionMode(QAbstractItemView::NoSelection);
    }
    m_headerLine->setModel(headerModel);
    m_table->setModel(m_model);
    m_headerLine->setAccessibleName(QStringLiteral("Header row"));
    m_table->setAccessibleName(QStringLiteral("Source rows"));
    m_headerLine->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_headerLine->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_headerLine->setFixedHeight(m_geometry.rowHeight(0, 0) + 2 * m_headerLine->frameWidth());
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(m_table->horizontalScrollBar(), &QScrollBar::valueChanged, m_headerLine->horizontalScrollBar(), &QScrollBar::setValue);
    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) { m_headerLine->horizontalHeader()->resizeSection(section, size); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &CorrectionGrid::layOutColumns);
    // Down from the header line enters the first row, Up from the first row the header line,
    // in the same column.
    auto *headerLine = static_cast<CorrectionTable *>(m_headerLine);
    auto *rows = static_cast<CorrectionTable *>(m_table);
    headerLine->onEdge = [this, rows](int key, int column) {
        if (key == Qt::Key_Down && m_model->rowCount() > 1 && rows->isVisible())
            rows->enter(m_model->index(1, column));
    };
    rows->onEdge = [headerLine, headerModel](int key, int column) {
        if (key == Qt::Key_Up && headerModel->rowCount() > 0)
            headerLine->enter(headerModel->index(0, column));
    };
    rows->onMessagesWidthChanged = [this] { fitRowsToMessages(); };
    auto *grid = new QVBoxLayout;
    grid->setSpacing(0); // the pinned header row sits right on the rows it heads
    grid->addWidget(m_headerLine);
    grid->addWidget(m_empty);
    grid->addWidget(m_table, 1);
    body->addLayout(grid, 1);
    setTabOrder(m_messages, m_headerLine);
    setTabOrder(m_headerLine, m_table);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_empty->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_empty->setContentsMargins(rowNumberWidth + fieldSpacing / 2, 8, 0, 0);

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
            view->horizontalHeader()->resizeSection(CorrectionGridModel::rowNumberColumn, rowNumberWidth);
    }
    m_headerLine->horizontalScrollBar()->setValue(m_table->horizontalScrollBar()->value());
    fitRowsToMessages();
}

void CorrectionGrid::fitRowsToMessages()
{
    if (m_flow.step() != ImportFlow::Step::corrections)
        return; // no review runs for a grid nobody sees
    // Without repaints each resize is constant time; one repaint follows. Each message is
    // measured once for a width, so a keystroke measures only the messages it changed.
    const int width = static_cast<CorrectionTable *>(m_table)->messagesWidth();
    QHeaderView *rows = m_table->verticalHeader();
    rows->setUpdatesEnabled(false);
    for (int row = 1; row < m_model->rowCount(); ++row) {
        int count = 0;
        int height = 0;
        if (m_model->messageCount(row) > 0) {
            for (const CorrectionMessage &message : m_model->messages(row)) {
                ++count;
                height += m_geometry.messages.height(message.text, width);
            }
        }
        rows->resizeSection(row, m_geometry.rowHeight(count, height));
    }
    rows->setUpdatesEnabled(true);
    m_table->viewport()->update();
}

QRect CorrectionGrid::messageRect(int modelRow, int index) const
{
    const auto *table = static_cast<CorrectionTable *>(m_table);
    const std::vector<QRect> rects = table->messageRects(modelRow, m_model->messages(modelRow));
    return index >= 0 && size_t(index) < rects.size() ? rects[size_t(index)] : QRect();
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
    fitRowsToMessages();
    const bool none = m_flow.shownRows().empty();
    m_empty->setVisible(none);
    m_table->setVisible(!none);
}
