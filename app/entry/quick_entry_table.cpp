#include "app/entry/quick_entry_table.h"

#include "app/entry/entry_autocomplete.h"
#include "app/entry/entry_sheet_parts.h"
#include "app/shell/accessible_fields.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QToolButton>

namespace {

QString qt(const std::string &text)
{
    return QString::fromStdString(text);
}

bool isReturn(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

bool isAutocomplete(int column)
{
    using C = QuickEntryTableModel;
    return column == C::payLevel || column == C::jobTitle || column == C::department || column == C::manager
        || column == C::location;
}

QStringList toQt(const std::vector<std::string> &texts)
{
    QStringList list;
    list.reserve(qsizetype(texts.size()));
    for (const std::string &text : texts)
        list.append(qt(text));
    return list;
}

// The "minus.circle" symbol: a circle with a bar across.
void paintMinusCircle(QPainter &painter, const QRect &cell, const QColor &color)
{
    const int side = std::min(14, std::min(cell.width(), cell.height()) - 4);
    QRectF circle(0, 0, side, side);
    circle.moveCenter(QRectF(cell).center());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.4));
    painter.drawEllipse(circle);
    const qreal inset = side * 0.28;
    painter.drawLine(QPointF(circle.left() + inset, circle.center().y()),
                     QPointF(circle.right() - inset, circle.center().y()));
    painter.restore();
}

QIcon minusCircleIcon(const QPalette &palette)
{
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(18 * scale, 18 * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintMinusCircle(painter, QRect(0, 0, 18, 18), palette.color(QPalette::Active, QPalette::Text));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QuickEntryTableModel::QuickEntryTableModel(QuickEntryGridModel &grid, QObject *parent)
    : QAbstractTableModel(parent)
    , m_grid(grid)
{
}

int QuickEntryTableModel::columnWidth(int column)
{
    static constexpr int widths[columns] = {28, 55, 55, 160, 140, 160, 150, 210, 140, 24};
    // The space between columns goes to the cells so that editors keep the widths.
    return widths[column] + 8;
}

int QuickEntryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_grid.rows().size());
}

int QuickEntryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns);
}

QVariant QuickEntryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const size_t r = size_t(index.row());
    const QuickEntryRow &row = m_grid.row(r);
    if (role == Qt::ToolTipRole) {
        switch (index.column()) {
        case number: return qt(m_grid.rowCaption(r));
        case vacant: return QStringLiteral("Use Edit Person to mark an existing employee position vacant.");
        case quantity: return QStringLiteral("1–1,000 new vacant positions. Each copy gets its own Position ID.");
        case remove:
            return QStringLiteral("Remove this new draft row. Existing positions are deleted from the chart editor.");
        default: return {};
        }
    }
    if (role == Qt::TextAlignmentRole)
        return index.column() <= quantity ? QVariant(Qt::AlignCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::CheckStateRole && index.column() == vacant)
        return row.vacant ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::AccessibleTextRole && index.column() == remove)
        return removeName(index.row());
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    switch (index.column()) {
    case number: return index.row() + 1;
    case quantity: return qt(m_grid.quantityText(r));
    case name: return qt(row.name);
    case payLevel: return qt(row.title);
    case jobTitle: return qt(row.jobTitle());
    case department: return qt(row.department);
    case manager: return qt(row.manager);
    case location: return qt(row.location);
    default: return {};
    }
}

QVariant QuickEntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return section <= quantity ? QVariant(Qt::AlignCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    // The column of remove buttons shows no title.
    if (role == Qt::AccessibleTextRole && section == remove)
        return QStringLiteral("Remove");
    if (role != Qt::DisplayRole)
        return {};
    static const char *titles[columns] = {"#", "Vacant", "QTY", "Employee name", "Pay Level", "Job Title",
                                              "Department", "Manager (name or ID)", "Location", ""};
    return section >= 0 && section < columns ? QString(titles[section]) : QString();
}

// A cell that is not enabled is drawn dimmed and skipped by Tab. Every enabled cell opens a
// control of its own when Tab reaches it, the Vacant box and the remove button too: the
// focus then goes from control to control, heard once per key.
Qt::ItemFlags QuickEntryTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const size_t r = size_t(index.row());
    const Qt::ItemFlags editable = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    switch (index.column()) {
    case number: return Qt::NoItemFlags;
    case vacant: return m_grid.canEditVacant(r) ? editable : Qt::NoItemFlags;
    case quantity: return m_grid.canEditQuantity(r) ? editable : Qt::NoItemFlags;
    case name: return m_grid.canEditName(r) ? editable : Qt::NoItemFlags;
    case remove: return m_grid.canRemove(r) ? editable : Qt::NoItemFlags;
    default: return editable;
    }
}

bool QuickEntryTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || !(flags(index) & Qt::ItemIsEnabled))
        return false;
    const size_t r = size_t(index.row());
    std::string text = value.toString().toStdString();
    if (role == Qt::CheckStateRole && index.column() == vacant) {
        m_grid.setVacant(r, value.toInt() == Qt::Checked);
    } else if (role != Qt::EditRole) {
        return false;
    } else {
        switch (index.column()) {
        case vacant: m_grid.setVacant(r, value.toBool()); break;
        case quantity: m_grid.setQuantityText(r, std::move(text)); break;
        case name: m_grid.setName(r, std::move(text)); break;
        case payLevel: m_grid.setPayLevel(r, std::move(text)); break;
        case jobTitle: m_grid.setJobTitle(r, std::move(text)); break;
        case department: m_grid.setDepartment(r, std::move(text)); break;
        case manager: m_grid.setManager(r, std::move(text)); break;
        case location: m_grid.setLocation(r, std::move(text)); break;
        default: return false;
        }
    }
    rowChanged(index.row());
    return true;
}

QStringList QuickEntryTableModel::options(const QModelIndex &index)
{
    using Field = QuickEntryGridModel::Field;
    switch (index.column()) {
    case payLevel: return toQt(m_grid.fieldOptions(Field::payLevel));
    case jobTitle: return toQt(m_grid.fieldOptions(Field::jobTitle));
    case department: return toQt(m_grid.fieldOptions(Field::department));
    case location: return toQt(m_grid.fieldOptions(Field::location));
    case manager: return toQt(m_grid.managerOptions(size_t(index.row())));
    default: return {};
    }
}

// The whole row: a manager can bring a department, Vacant empties the name. A change of
// several cells leaves open editors alone, so typing is never disturbed.
void QuickEntryTableModel::rowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, columns - 1));
    emit changed();
}

QString QuickEntryTableModel::removeName(int row)
{
    return QStringLiteral("Remove row %1").arg(row + 1);
}

void QuickEntryTableModel::appendRow()
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_grid.appendRow();
    endInsertRows();
    emit changed();
}

void QuickEntryTableModel::removeGridRow(int row)
{
    if (row < 0 || row >= rowCount() || !m_grid.canRemove(size_t(row)))
        return;
    beginRemoveRows({}, row, row);
    m_grid.removeRow(size_t(row));
    endRemoveRows();
    // The numbers of the rows below moved up.
    if (row < rowCount())
        emit dataChanged(index(row, number), index(rowCount() - 1, number));
    emit changed();
}

void QuickEntryTableModel::beginCellEdit(int row)
{
    m_grid.beginCellEdit(size_t(row));
}

void QuickEntryTableModel::cancelCellEdit()
{
    if (const std::optional<size_t> row = m_grid.cancelCellEdit())
        rowChanged(int(*row));
}

void QuickEntryTableModel::toggleVacant(int row)
{
    setData(index(row, vacant), !m_grid.row(size_t(row)).vacant, Qt::EditRole);
}

void QuickEntryTableModel::matchPayLevel(int row)
{
    m_grid.matchPayLevel(size_t(row));
    // The job title cell alone, so that an open editor shows the pay level again.
    emit dataChanged(index(row, jobTitle), index(row, jobTitle));
    emit changed();
}

bool QuickEntryTableModel::paste(const std::optional<std::string> &clipboardText)
{
    const uint64_t messages = m_grid.messageCount();
    beginResetModel();
    const bool pasted = m_grid.paste(clipboardText);
    endResetModel();
    emit changed();
    if (m_grid.messageCount() != messages)
        emit messageGiven();
    return pasted;
}

bool QuickEntryTableModel::save(const QuickEntryCommit &commit)
{
    const uint64_t messages = m_grid.messageCount();
    beginResetModel();
    const bool saved = m_grid.save(commit);
    endResetModel();
    emit changed();
    if (m_grid.messageCount() != messages)
        emit messageGiven();
    return saved;
}

QuickEntryDelegate::QuickEntryDelegate(QuickEntryTableModel &model, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

QWidget *QuickEntryDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                          const QModelIndex &index) const
{
    QWidget *editor = makeEditor(parent, option, index);
    // The open field is what a screen reader hears: named after its row and its column,
    // whose name the grid shows only in the header.
    if (!editor)
        return editor;
    const QString column = m_model.headerData(index.column(), Qt::Horizontal, Qt::DisplayRole).toString();
    AccessibleFields::name(editor, index.column() == QuickEntryTableModel::remove
                                       ? QuickEntryTableModel::removeName(index.row())
                                       : QStringLiteral("Row %1, %2").arg(index.row() + 1).arg(column));
    if (index.column() == QuickEntryTableModel::vacant || index.column() == QuickEntryTableModel::remove)
        m_symbolEditor = index; // it draws the cell's symbol itself
    return editor;
}

QWidget *QuickEntryDelegate::makeEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    auto *self = const_cast<QuickEntryDelegate *>(this);
    const int column = index.column();
    m_model.beginCellEdit(index.row());
    if (column == QuickEntryTableModel::name || column == QuickEntryTableModel::quantity) {
        auto *field = new QLineEdit(parent);
        field->setPlaceholderText(column == QuickEntryTableModel::name ? "Name" : "QTY");
        connect(field, &QLineEdit::textEdited, self, [self, field] { emit self->commitData(field); });
        connect(field, &QLineEdit::returnPressed, self, &QuickEntryDelegate::returnPressed);
        return field;
    }
    if (column == QuickEntryTableModel::vacant) {
        auto *box = new QCheckBox(parent);
        connect(box, &QCheckBox::toggled, self, [self, box] { emit self->commitData(box); });
        return box;
    }
    if (column == QuickEntryTableModel::remove) {
        auto *button = new QToolButton(parent);
        button->setAutoRaise(true);
        button->setIcon(minusCircleIcon(option.palette));
        button->setToolTip(index.data(Qt::ToolTipRole).toString());
        const QPersistentModelIndex cell(index);
        // After the click is done with: the row, and this button with it, goes away.
        connect(button, &QToolButton::clicked, self, [self, cell] {
            QMetaObject::invokeMethod(&self->m_model, [self, cell] {
                if (cell.isValid())
                    self->m_model.removeGridRow(cell.row());
            }, Qt::QueuedConnection);
        });
        return button;
    }
    if (!isAutocomplete(column))
        return QStyledItemDelegate::createEditor(parent, option, index);

    auto *box = new EntryAutocomplete(parent);
    box->setOptions(m_model.options(index));
    connect(box, &EntryAutocomplete::textEdited, self, [self, box] { emit self->commitData(box); });
    connect(box, &EntryAutocomplete::submitted, self, &QuickEntryDelegate::returnPressed);
    if (column == QuickEntryTableModel::jobTitle) {
        const QPersistentModelIndex cell(index);
        box->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box->lineEdit(), &QWidget::customContextMenuRequested, self, [self, box, cell](const QPoint &at) {
            QMenu menu;
            menu.addAction("Match Pay Level", self, [self, cell] {
                if (cell.isValid())
                    emit self->matchPayLevelRequested(cell.row());
            });
            menu.exec(box->lineEdit()->mapToGlobal(at));
        });
    }
    return box;
}

void QuickEntryDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *vacant = qobject_cast<QCheckBox *>(editor)) {
        const QSignalBlocker quiet(vacant);
        vacant->setChecked(index.data(Qt::CheckStateRole).toInt() == Qt::Checked);
        return;
    }
    if (qobject_cast<QToolButton *>(editor))
        return;
    const QString text = index.data(Qt::EditRole).toString();
    if (auto *box = qobject_cast<EntryAutocomplete *>(editor)) {
        box->setText(text);
    } else if (auto *field = qobject_cast<QLineEdit *>(editor)) {
        // Only a real change: setting the same text would move the cursor to the end.
        if (field->text() != text)
            field->setText(text);
    } else {
        QStyledItemDelegate::setEditorData(editor, index);
    }
}

void QuickEntryDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *vacant = qobject_cast<QCheckBox *>(editor))
        model->setData(index, vacant->isChecked() ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    else if (qobject_cast<QToolButton *>(editor))
        return;
    else if (auto *box = qobject_cast<EntryAutocomplete *>(editor))
        model->setData(index, box->text());
    else if (auto *field = qobject_cast<QLineEdit *>(editor))
        model->setData(index, field->text());
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}

void QuickEntryDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int column = index.column();
    if (column != QuickEntryTableModel::vacant && column != QuickEntryTableModel::remove) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    if (m_symbolEditor.isValid() && m_symbolEditor == index)
        return; // its open control draws the box or the button
    const bool enabled = index.flags() & Qt::ItemIsEnabled;
    if (column == QuickEntryTableModel::remove) {
        const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
        paintMinusCircle(*painter, option.rect, option.palette.color(group, QPalette::Text));
        return;
    }
    QStyleOptionViewItem box = opt;
    const QSize indicator(style->pixelMetric(QStyle::PM_IndicatorWidth, &opt, widget),
                          style->pixelMetric(QStyle::PM_IndicatorHeight, &opt, widget));
    box.rect = QStyle::alignedRect(opt.direction, Qt::AlignCenter, indicator, option.rect);
    box.state = (box.state & ~(QStyle::State_On | QStyle::State_Off))
        | (opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
    if (!enabled)
        box.state &= ~QStyle::State_Enabled;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
}

void QuickEntryDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                              const QModelIndex &index) const
{
    // The box sits where the cell draws it when closed: in the middle.
    if (index.column() == QuickEntryTableModel::vacant) {
        editor->setGeometry(QStyle::alignedRect(option.direction, Qt::AlignCenter,
                                                editor->sizeHint().boundedTo(option.rect.size()), option.rect));
        return;
    }
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
}

void QuickEntryDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (m_symbolEditor == index)
        m_symbolEditor = QPersistentModelIndex();
    QStyledItemDelegate::destroyEditor(editor, index);
}

bool QuickEntryDelegate::eventFilter(QObject *editor, QEvent *event)
{
    // Return in the Vacant box or on the remove button adds a row, as in every other cell.
    if (event->type() == QEvent::KeyPress && isReturn(static_cast<QKeyEvent *>(event))
        && (qobject_cast<QCheckBox *>(editor) || qobject_cast<QToolButton *>(editor))) {
        emit returnPressed();
        return true;
    }
    // Escape in a cell takes back that cell's typing and nothing more; only an Escape with
    // no cell open reaches the sheet as "Done". The typing was written as typed, so the row
    // goes back as it was when the cell opened.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Cancel)) {
        if (auto *widget = qobject_cast<QWidget *>(editor)) {
            m_model.cancelCellEdit();
            emit closeEditor(widget, QAbstractItemDelegate::NoHint);
        }
        return true;
    }
    return QStyledItemDelegate::eventFilter(editor, event);
}

// The Vacant box and the remove button act on a click anywhere in their cell, or on Space.
bool QuickEntryDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                     const QModelIndex &index)
{
    const int column = index.column();
    if (column != QuickEntryTableModel::vacant && column != QuickEntryTableModel::remove)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    if (!(index.flags() & Qt::ItemIsEnabled))
        return false;
    // The press is taken too, so that it does not start editing or selecting.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        return true;
    if (!EntrySheetParts::activatesCell(event, option.rect))
        return false;
    const QPersistentModelIndex cell(index);
    if (column == QuickEntryTableModel::vacant) {
        m_model.toggleVacant(cell.row());
    } else {
        // After the view is done with this event: the row goes away under it.
        QMetaObject::invokeMethod(&m_model, [this, cell] {
            if (cell.isValid())
                m_model.removeGridRow(cell.row());
        }, Qt::QueuedConnection);
    }
    return true;
}

QuickEntryTableView::QuickEntryTableView(QuickEntryTableModel &model, QWidget *parent)
    : QTableView(parent)
    , m_model(model)
{
    setModel(&model);
    setAccessibleName(QStringLiteral("Positions"));
    auto *delegate = new QuickEntryDelegate(model, this);
    setItemDelegate(delegate);
    // Queued: the key that asked for a row is handled to its end before focus moves.
    connect(delegate, &QuickEntryDelegate::returnPressed, this, &QuickEntryTableView::appendRow, Qt::QueuedConnection);
    connect(delegate, &QuickEntryDelegate::matchPayLevelRequested, &model, &QuickEntryTableModel::matchPayLevel);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(30);
    QHeaderView *header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setHighlightSections(false);
    QFont caption = header->font();
    caption.setBold(true);
    header->setFont(caption);
    for (int column = 0; column < QuickEntryTableModel::columns; ++column)
        setColumnWidth(column, QuickEntryTableModel::columnWidth(column));
    setEditTriggers(QAbstractItemView::AllEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &QuickEntryTableView::showCellMenu);
}

void QuickEntryTableView::appendRow()
{
    m_model.appendRow();
    focusName();
}

void QuickEntryTableView::focusName()
{
    const std::optional<std::string> &focused = m_model.grid().focusedName();
    const std::vector<QuickEntryRow> &rows = m_model.grid().rows();
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const QuickEntryRow &r) { return r.id == focused; });
    if (found == rows.end())
        return;
    const QModelIndex cell = m_model.index(int(found - rows.begin()), QuickEntryTableModel::name);
    setFocus();
    scrollTo(cell);
    if (currentIndex() != cell)
        setCurrentIndex(cell);
    if (state() != EditingState && (cell.flags() & Qt::ItemIsEditable))
        QTableView::edit(cell);
}

void QuickEntryTableView::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool moving = hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem;
    if (!moving || !editor || !editor->hasFocus()) {
        QTableView::closeEditor(editor, hint);
        return;
    }
    // Tab goes straight from one cell's control to the next one's. Qt would give the focus
    // to the table and then its bare cell on the way, and a screen reader would announce
    // all three.
    const Qt::FocusPolicy policy = focusPolicy();
    setFocusPolicy(Qt::NoFocus);
    QTableView::closeEditor(editor, hint);
    setFocusPolicy(policy);
    // Past the last cell no control opened: the focus stays with the table.
    if (!QApplication::focusWidget())
        setFocus(hint == QAbstractItemDelegate::EditNextItem ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void QuickEntryTableView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    // Past QTableView's own, which announces the new cell whether or not the table has the
    // focus: on the way from one cell's control to the next one's, a screen reader would
    // hear the bare cell before the control that opens on it.
    QAbstractItemView::currentChanged(current, previous);
    if (!current.isValid() || !hasFocus() || !QAccessible::isActive())
        return;
    // No control opened here: the cell itself is what the focus reached.
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface *cells = table ? table->tableInterface() : nullptr;
    if (QAccessibleInterface *cell = cells ? cells->cellAt(current.row(), current.column()) : nullptr) {
        QAccessibleEvent event(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

bool QuickEntryTableView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (!QTableView::edit(index, trigger, event))
        return false;
    // As in the plain fields: the whole text is selected, so typing replaces it.
    if (auto *box = qobject_cast<EntryAutocomplete *>(indexWidget(index)))
        box->lineEdit()->selectAll();
    return true;
}

void QuickEntryTableView::keyPressEvent(QKeyEvent *event)
{
    // With no cell open, Escape is the sheet's "Done".
    if (event->matches(QKeySequence::Cancel)) {
        event->ignore();
        return;
    }
    if (isReturn(event)) {
        // A Return that an editor let through was handled by that editor.
        if (state() != EditingState)
            appendRow();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void QuickEntryTableView::showCellMenu(const QPoint &position)
{
    const QModelIndex cell = indexAt(position);
    if (!cell.isValid() || cell.column() != QuickEntryTableModel::jobTitle)
        return;
    QMenu menu;
    const int row = cell.row();
    menu.addAction("Match Pay Level", this, [this, row] { m_model.matchPayLevel(row); });
    menu.exec(viewport()->mapToGlobal(position));
}
