#include "app/sidebar/searchable_dropdown.h"

#include "app/shell/accessible_fields.h"
#include "app/sidebar/popup_placement.h"
#include "app/sidebar/sidebar_style.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

enum DropdownRole { detailRole = Qt::UserRole, chosenRole };

constexpr int rowPadding = 10;
constexpr int markSize = 14;
constexpr int chevronWidth = 8;

// A check mark in the accent colour for the chosen option, a circle for the others.
void paintMark(QPainter &painter, const QRectF &box, bool chosen, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (chosen) {
        QPainterPath path;
        path.moveTo(box.left() + box.width() * 0.15, box.top() + box.height() * 0.55);
        path.lineTo(box.left() + box.width() * 0.42, box.top() + box.height() * 0.8);
        path.lineTo(box.left() + box.width() * 0.88, box.top() + box.height() * 0.2);
        painter.setPen(QPen(palette.color(QPalette::Highlight), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    } else {
        painter.setPen(QPen(palette.color(QPalette::PlaceholderText), 1.2));
        painter.drawEllipse(box.adjusted(1.5, 1.5, -1.5, -1.5));
    }
    painter.restore();
}

class DropdownRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The height depends only on whether a detail is present, so a long list sizes its rows
    // without measuring text.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool hasDetail = !index.data(detailRole).toString().isEmpty();
        return {1, twoLineHeight(option, hasDetail) + 2 * rowPadding}; // the list's width
    }

    // The chosen option is the list's selection, shown by its check mark alone; the row the
    // arrows reach (the current row of the list, whose focus is the filter field's) is
    // highlighted: Return chooses it.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem row = option;
        row.state.setFlag(QStyle::State_Selected, option.state.testFlag(QStyle::State_HasFocus));
        if (row.state & QStyle::State_Selected)
            painter->fillRect(row.rect, row.palette.color(QPalette::Highlight));
        else if (row.state & QStyle::State_MouseOver)
            painter->fillRect(row.rect, row.palette.color(QPalette::Midlight));
        const QRect content = row.rect.adjusted(rowPadding, rowPadding, -rowPadding, -rowPadding);
        const int lineHeight = row.fontMetrics.height();
        const QRectF mark(content.left(), content.top() + (lineHeight - markSize) / 2.0, markSize, markSize);
        QPalette markColours = row.palette;
        if (row.state & QStyle::State_Selected) {
            for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::PlaceholderText})
                markColours.setColor(role, row.palette.color(QPalette::HighlightedText));
        }
        paintMark(*painter, mark, index.data(chosenRole).toBool(), markColours);
        const QRect text = content.adjusted(markSize + 8, 0, 0, 0);
        paintTwoLines(*painter, text, index.data(Qt::DisplayRole).toString(), index.data(detailRole).toString(), row);
    }
};

} // namespace

// The options a query keeps; rows are created by the view only as they scroll into sight.
class DropdownListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setRows(const DropdownOptionIndex *index, std::vector<int> rows)
    {
        // A letter that keeps the same matches keeps the rows a screen reader was just told of.
        if (index == m_index && rows == m_rows)
            return;
        beginResetModel();
        m_index = index;
        m_rows = std::move(rows);
        endResetModel();
    }
    void setSelection(const QString &selection) { m_selection = selection; }
    // The row of the chosen option, or -1 when the query hides it.
    int selectionRow() const
    {
        for (size_t row = 0; row < m_rows.size(); ++row) {
            if (option(int(row)).id == m_selection)
                return int(row);
        }
        return -1;
    }
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    const DropdownOption &option(int row) const { return m_index->options()[size_t(m_rows[size_t(row)])]; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const DropdownOption &entry = option(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return entry.title;
        case Qt::AccessibleDescriptionRole:
        case detailRole:
            return entry.detail;
        case chosenRole:
            return entry.id == m_selection;
        default:
            return {};
        }
    }

private:
    const DropdownOptionIndex *m_index = nullptr;
    std::vector<int> m_rows;
    QString m_selection;
};

DropdownButton::DropdownButton(QWidget *parent)
    : QPushButton(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize DropdownButton::sizeHint() const
{
    const QSize hint = QPushButton::sizeHint();
    return {hint.width() + chevronWidth + 10, hint.height()};
}

QSize DropdownButton::minimumSizeHint() const
{
    // Long titles elide rather than widen the column that holds the button.
    return {fontMetrics().horizontalAdvance(QStringLiteral("Wi…")) + chevronWidth + 30, sizeHint().height()};
}

void DropdownButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString text = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    const QRect content = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this).adjusted(4, 0, -4, 0);
    const QRect textRect = content.adjusted(0, 0, -(chevronWidth + 8), 0);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));

    // Up and down chevrons, like a pop-up button's indicator.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double x = content.right() - chevronWidth;
    const double middle = content.center().y() + 0.5;
    const double half = chevronWidth / 2.0;
    painter.drawPolyline(QPolygonF{{x, middle - 2}, {x + half, middle - 2 - half}, {x + chevronWidth, middle - 2}});
    painter.drawPolyline(QPolygonF{{x, middle + 2}, {x + half, middle + 2 + half}, {x + chevronWidth, middle + 2}});
}

DropdownPopup::DropdownPopup(QWidget *parent)
    : QFrame(parent, Qt::Popup)
    , m_query(new QLineEdit(this))
    , m_empty(new QLabel(tr("No matching options."), this))
    , m_list(new QListView(this))
    , m_model(new DropdownListModel(this))
{
    setFrameShape(QFrame::StyledPanel);
    m_query->setPlaceholderText(tr("Type to filter…"));
    m_query->setClearButtonEnabled(true);
    AccessibleFields::name(m_query, tr("Filter"));
    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_empty->setContentsMargins(8, 8, 8, 8);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new DropdownRowDelegate(m_list));
    // The row the arrows reach reads as the sidebar's selected row does.
    keepSelectionReadable(m_list);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    // The chosen option is the list's selection, so that a screen reader hears which it is;
    // the check mark shows it on screen.
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    // The keys stay in the filter field; the list counts as focused with it, so that the row
    // the arrows reach is announced as the current one.
    m_list->setFocusProxy(m_query);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto *field = new QVBoxLayout;
    field->setContentsMargins(12, 12, 12, 12);
    field->addWidget(m_query);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(field);
    layout->addWidget(divider);
    layout->addWidget(m_empty);
    layout->addWidget(m_list, 1);

    connect(m_query, &QLineEdit::textChanged, this, &DropdownPopup::refilter);
    connect(m_query, &QLineEdit::returnPressed, this, [this] {
        if (const QModelIndex current = m_list->currentIndex(); current.isValid())
            chooseRow(current.row());
    });
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) { chooseRow(index.row()); });
}

void DropdownPopup::setOptions(const DropdownOptionIndex *index, const QString &selection)
{
    m_index = index;
    m_model->setSelection(selection);
    // New options may stand where the old ones were: the rows are laid out anew.
    m_model->setRows(nullptr, {});
    refilter();
}

QSize DropdownPopup::sizeHint() const
{
    return {popupWidth, popupHeight};
}

void DropdownPopup::openBelow(QWidget *anchor)
{
    showPopupBelow(this, anchor);
    // The highlighted choice in sight, with its neighbours, however far down the list it is.
    if (const QModelIndex current = m_list->currentIndex(); current.isValid())
        m_list->scrollTo(current, QAbstractItemView::PositionAtCenter);
    else
        m_list->scrollToTop();
    m_query->setFocus(Qt::PopupFocusReason);
}

void DropdownPopup::refilter()
{
    if (!m_index)
        return;
    m_model->setRows(m_index, m_index->matches(m_query->text()));
    m_empty->setVisible(m_model->rowCount() == 0);
    const int chosen = m_model->selectionRow();
    if (chosen >= 0) {
        // Selected again quietly: the choice is the one it was, and a screen reader told so
        // at each keystroke hears it as news.
        const QSignalBlocker quiet(m_list->selectionModel());
        m_list->selectionModel()->select(m_model->index(chosen, 0), QItemSelectionModel::ClearAndSelect);
    }
    // The highlight is where Return chooses: on the choice while nothing is typed, so that
    // opening and pressing Return keeps it; on the first match once typing narrows the list.
    // Heard as it moves to another option, as the arrows' row is; an option that stays
    // highlighted as the list narrows is no news.
    const bool blank = m_query->text().trimmed().isEmpty();
    const QModelIndex start = m_model->index(blank && chosen >= 0 ? chosen : 0, 0);
    const QString reached = start.isValid() ? m_model->option(start.row()).id : QString();
    if (reached != m_highlighted) {
        m_list->selectionModel()->setCurrentIndex(start, QItemSelectionModel::NoUpdate);
    } else {
        const QSignalBlocker quiet(m_list->selectionModel());
        m_list->selectionModel()->setCurrentIndex(start, QItemSelectionModel::NoUpdate);
    }
    m_highlighted = reached;
    if (start.isValid() && isVisible())
        m_list->scrollTo(start);
    m_list->viewport()->update();
}

void DropdownPopup::moveCursor(int key)
{
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    const int shown = std::max(1, m_list->viewport()->height() / std::max(1, m_list->sizeHintForRow(0)));
    const int from = m_list->currentIndex().isValid() ? m_list->currentIndex().row() : 0;
    int to = from;
    switch (key) {
    case Qt::Key_Down: to = from + 1; break;
    case Qt::Key_Up: to = from - 1; break;
    case Qt::Key_PageDown: to = from + shown; break;
    case Qt::Key_PageUp: to = from - shown; break;
    default: return;
    }
    // Never the selection: the chosen option stays chosen until Return or a click.
    const int reached = std::clamp(to, 0, rows - 1);
    m_highlighted = m_model->option(reached).id;
    m_list->selectionModel()->setCurrentIndex(m_model->index(reached, 0), QItemSelectionModel::NoUpdate);
}

void DropdownPopup::chooseRow(int row)
{
    // Chosen before the popup closes: closing hands the focus back to the button, and a
    // screen reader reads the button's choice when it hears the focus arrive.
    const QPointer<DropdownPopup> alive(this);
    emit chosen(m_model->option(row).id);
    if (alive)
        close();
}

void DropdownPopup::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape: close(); return;
    case Qt::Key_Down:
    case Qt::Key_Up:
    case Qt::Key_PageDown:
    case Qt::Key_PageUp: moveCursor(event->key()); return;
    default: QFrame::keyPressEvent(event);
    }
}

bool DropdownPopup::focusNextPrevChild(bool)
{
    // The filter field is the popup's one stop: Tab and Shift+Tab leave it as Escape does,
    // rather than keep the focus where it is.
    close();
    return true;
}

void DropdownPopup::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    emit closed();
}

SearchableDropdown::SearchableDropdown(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_button(new DropdownButton(this))
    , m_popup(new DropdownPopup(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(title, this);
    label->setBuddy(m_button);
    layout->addWidget(label);
    layout->addWidget(m_button, 1);
    // Heard by its label, as any field; the chosen title is its description. The popup and
    // its list are heard by the same name.
    m_button->setAccessibleName(title);
    m_popup->setAccessibleName(title);
    m_popup->listView()->setAccessibleName(title);
    refreshFace();

    connect(m_button, &QPushButton::clicked, this, &SearchableDropdown::open);
    connect(m_popup, &DropdownPopup::chosen, this, [this](const QString &id) {
        m_selection = id;
        refreshFace();
        // The popup closes first: what the caller does with the choice (a window it opens,
        // a list it rebuilds) must not happen with the popup still open over it.
        m_popup->close();
        emit chosen(id);
    });
}

void SearchableDropdown::setOptions(std::vector<DropdownOption> options)
{
    if (options == m_index.options())
        return;
    m_index = DropdownOptionIndex(std::move(options));
    if (isOpen())
        m_popup->setOptions(&m_index, m_selection);
    refreshFace();
}

DropdownOptionIndex SearchableDropdown::takeOptions()
{
    DropdownOptionIndex taken = std::exchange(m_index, DropdownOptionIndex());
    m_popup->setOptions(&m_index, m_selection); // its rows pointed into the options
    refreshFace();
    return taken;
}

void SearchableDropdown::setSelection(const QString &id)
{
    if (id == m_selection)
        return;
    m_selection = id;
    if (isOpen())
        m_popup->setOptions(&m_index, m_selection);
    refreshFace();
}

void SearchableDropdown::open()
{
    m_popup->queryField()->clear();
    m_popup->setOptions(&m_index, m_selection);
    m_popup->openBelow(m_button);
}

bool SearchableDropdown::isOpen() const
{
    return m_popup->isVisible();
}

void SearchableDropdown::refreshFace()
{
    const QString face = faceTitle(m_index.options(), m_selection);
    m_button->setText(face);
    m_button->setToolTip(face);
    m_button->setAccessibleDescription(face);
    m_button->updateGeometry();
}
