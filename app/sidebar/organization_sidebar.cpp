#include "app/sidebar/organization_sidebar.h"

#include "app/sidebar/searchable_dropdown.h"
#include "app/sidebar/sidebar_style.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <set>
#include <unordered_map>
#include <utility>

namespace {

constexpr int rowPadding = 4;

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

// People take two lines (name, then job title); groups one.
class SidebarRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem styled = option;
        initStyleOption(&styled, index);
        const bool person = !index.data(SidebarModel::isGroupRole).toBool();
        return {option.rect.width(), twoLineHeight(styled, person) + 2 * rowPadding};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.data(SidebarModel::isGroupRole).toBool()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem styled = option;
        initStyleOption(&styled, index);
        paintTwoLineRow(*painter, styled, index.data(SidebarModel::detailRole).toString(), rowPadding);
    }
};

// The list reports each key that moves its current row, and Return, Enter or Space on a row:
// from the keyboard, the current row is the selection, as in any list. The arrows, Home, End
// and the page keys go from person to person over the headings of open groups, and stop on
// the heading of a closed one; Left closes the group of the row (and goes up from a closed
// one), Right opens a closed group and goes into an open one, as in a tree. A heading is
// current after those keys or a click, and never selected. The Menu key and Shift+F10 ask
// for the menu of the row under the cursor, wherever the pointer rests.
class SidebarTreeView : public QTreeView {
public:
    SidebarTreeView(std::function<void(const QModelIndex &)> onKeyChoice, QWidget *parent)
        : QTreeView(parent), m_onKeyChoice(std::move(onKeyChoice))
    {
    }

protected:
    bool event(QEvent *event) override
    {
        // The Menu key arrives as a context menu event from the keyboard.
        if (event->type() == QEvent::ContextMenu
            && static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
            askMenuAtCursor();
            return true;
        }
        return QTreeView::event(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
            askMenuAtCursor();
            return;
        }
        const QPersistentModelIndex before = currentIndex();
        // Taking the focus makes the first row current without selecting it: the first arrow
        // then chooses that person rather than moving past them.
        const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
        if (arrow && before.isValid() && !selectionModel()->hasSelection() && isPerson(before)) {
            m_onKeyChoice(before);
            event->accept();
            return;
        }
        QTreeView::keyPressEvent(event);
        const bool press = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space;
        const bool moving = arrow || event->key() == Qt::Key_Home || event->key() == Qt::Key_End ||
                            event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown;
        const QModelIndex now = currentIndex();
        // Home on the first person, current but not chosen yet, chooses them too.
        if (now.isValid() && (press || before != now || (moving && isPerson(now) && !selectionModel()->isSelected(now))))
            m_onKeyChoice(now);
    }

    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        const QModelIndex current = shownRow(currentIndex());
        const QModelIndex first = model()->index(0, 0, rootIndex());
        switch (action) {
        case MoveDown:
        case MoveNext:
            return current.isValid() ? orStay(stop(indexBelow(current), Down), current) : stop(first, Down);
        case MoveUp:
        case MovePrevious:
            return current.isValid() ? orStay(stop(indexAbove(current), Up), current) : stop(lastShownRow(), Up);
        case MoveHome:
            return orStay(stop(first, Down), current);
        case MoveEnd:
            return orStay(stop(lastShownRow(), Up), current);
        case MovePageDown:
        case MovePageUp: {
            const Direction way = action == MovePageDown ? Down : Up;
            const QModelIndex to = QTreeView::moveCursor(action, modifiers);
            const QModelIndex reached = stop(to, way);
            return orStay(reached.isValid() ? reached : stop(to, way == Down ? Up : Down), current);
        }
        case MoveLeft:
            return closeOrLeave(current);
        case MoveRight:
            return openOrEnter(current);
        }
        return QTreeView::moveCursor(action, modifiers);
    }

    void focusInEvent(QFocusEvent *event) override
    {
        QTreeView::focusInEvent(event);
        // A screen reader hears the list as focused only after this: the current row is made
        // current again after that, so that it hears where in the list the keys are.
        QTimer::singleShot(0, this, [this] {
            const QModelIndex current = shownRow(currentIndex());
            if (!hasFocus() || !current.isValid())
                return;
            {
                const QSignalBlocker blocker(selectionModel());
                selectionModel()->clearCurrentIndex();
            }
            selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        });
    }

    // A heading becomes current without taking the person's selection away.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index, const QEvent *event) const override
    {
        if (index.isValid() && !isPerson(index))
            return QItemSelectionModel::NoUpdate;
        return QTreeView::selectionCommand(index, event);
    }

private:
    enum Direction { Up, Down };

    static bool isPerson(const QModelIndex &index) { return !index.data(SidebarModel::isGroupRole).toBool(); }
    static QModelIndex orStay(const QModelIndex &to, const QModelIndex &current) { return to.isValid() ? to : current; }

    // The first row the moving keys stop on from `row` on, that row included: a person, or a
    // closed group's heading (else only typing its name would reach it); none past the end.
    QModelIndex stop(QModelIndex row, Direction way) const
    {
        while (row.isValid() && !isPerson(row) && isExpanded(row))
            row = way == Down ? indexBelow(row) : indexAbove(row);
        return row;
    }

    // The row the list shows for `index`: itself, or its outermost closed group.
    QModelIndex shownRow(const QModelIndex &index) const
    {
        QModelIndex shown = index;
        for (QModelIndex group = index.parent(); group.isValid(); group = group.parent()) {
            if (!isExpanded(group))
                shown = group;
        }
        return shown;
    }

    QModelIndex lastShownRow() const
    {
        QModelIndex last;
        for (QModelIndex parent = rootIndex(); model()->rowCount(parent) > 0 && (parent == rootIndex() || isExpanded(parent));
             parent = last)
            last = model()->index(model()->rowCount(parent) - 1, 0, parent);
        return last;
    }

    // Left: a person's group closes, with its heading current; an open heading closes; a
    // closed one hands the cursor to the group around it.
    QModelIndex closeOrLeave(const QModelIndex &current)
    {
        if (!current.isValid())
            return current;
        if (!isPerson(current) && isExpanded(current)) {
            collapse(current);
            return current;
        }
        const QModelIndex group = current.parent();
        if (!group.isValid())
            return current;
        if (isPerson(current))
            collapse(group);
        return group;
    }

    // Right: a closed heading opens; an open one hands the cursor to its first person, or to
    // its first group when that is closed.
    QModelIndex openOrEnter(const QModelIndex &current)
    {
        if (!current.isValid() || isPerson(current))
            return current;
        if (!isExpanded(current)) {
            expand(current);
            return current;
        }
        const QModelIndex inside = stop(indexBelow(current), Down);
        for (QModelIndex up = inside.parent(); up.isValid(); up = up.parent()) {
            if (up == current)
                return inside;
        }
        return orStay(model()->index(0, 0, current), current);
    }

    // As a click there would: on the row the list shows, in sight.
    void askMenuAtCursor()
    {
        const QModelIndex row = shownRow(currentIndex());
        if (!row.isValid())
            return;
        scrollTo(row);
        const QRect shown = visualRect(row);
        emit customContextMenuRequested(QPoint(shown.left() + shown.height() / 2, shown.center().y()));
    }

    std::function<void(const QModelIndex &)> m_onKeyChoice;
};

} // namespace

void SidebarModel::setTree(SidebarTree tree)
{
    beginResetModel();
    m_tree = std::move(tree);
    m_freeNodes.clear();
    endResetModel();
}

bool SidebarModel::takeRows(SidebarTree &tree, bool uniformRows)
{
    const auto sameRow = [](const SidebarNode &a, const SidebarNode &b) {
        return a.kind == b.kind && a.parent == b.parent && a.row == b.row && a.children == b.children &&
               a.key == b.key && a.count == b.count;
    };
    if (tree.roots != m_tree.roots || tree.nodes.size() != m_tree.nodes.size() ||
        !std::equal(tree.nodes.begin(), tree.nodes.end(), m_tree.nodes.begin(), sameRow))
        return false;
    m_freeNodes.clear(); // none in either, as every row matched
    std::vector<int> changed;
    // The view looks each changed row up among all rows: past a few, laying the rows out
    // again costs less.
    constexpr size_t fewRows = 64;
    const auto sameTexts = [](const SidebarNode &a, const SidebarNode &b) {
        return a.name == b.name && a.detail == b.detail && a.position == b.position;
    };
    for (size_t i = 0; i < tree.nodes.size() && changed.size() <= fewRows; ++i) {
        if (!sameTexts(tree.nodes[i], m_tree.nodes[i]))
            changed.push_back(int(i));
    }
    if (changed.size() > fewRows) {
        if (uniformRows && tree.roots.size() == tree.nodes.size()) {
            // A flat list of rows of one height: the view takes new texts for the span of
            // rows that changed without laying out the list again.
            int last = int(tree.nodes.size()) - 1;
            while (last > changed.front() && sameTexts(tree.nodes[size_t(last)], m_tree.nodes[size_t(last)]))
                --last;
            std::swap(m_tree, tree);
            emit dataChanged(indexOf(changed.front()), indexOf(last));
            return true;
        }
        // Every row keeps its index, so open groups and the view's other held rows stay valid.
        emit layoutAboutToBeChanged();
        std::swap(m_tree, tree);
        emit layoutChanged();
        return true;
    }
    std::swap(m_tree, tree);
    for (int node : changed) {
        const QModelIndex row = indexOf(node);
        emit dataChanged(row, row);
    }
    return true;
}

void SidebarModel::moveFlatRows(const std::vector<int> &order, const SidebarChanges &changes,
                                const std::vector<Position> &after)
{
    // Rows go from the bottom up and come from the top down, a run at a time, so that every
    // row's index and place stay true whenever the view looks.
    const auto renumber = [this](size_t from) {
        m_tree.roots.resize(m_tree.nodes.size());
        for (size_t i = from; i < m_tree.nodes.size(); ++i) {
            m_tree.roots[i] = int(i);
            m_tree.nodes[i].row = int(i);
        }
    };
    const auto goes = [&](int row) { return changes.indexAfter[size_t(m_tree.nodes[size_t(row)].position)] < 0; };
    for (int last = int(m_tree.nodes.size()) - 1; last >= 0; --last) {
        if (!goes(last))
            continue;
        int first = last;
        while (first > 0 && goes(first - 1))
            --first;
        beginRemoveRows({}, first, last);
        m_tree.nodes.erase(m_tree.nodes.begin() + first, m_tree.nodes.begin() + last + 1);
        renumber(size_t(first));
        endRemoveRows();
        last = first;
    }
    for (SidebarNode &node : m_tree.nodes)
        node.position = changes.indexAfter[size_t(node.position)];
    std::vector<char> comes(after.size(), 0);
    for (int index : changes.come)
        comes[size_t(index)] = 1;
    for (size_t first = 0; first < order.size(); ++first) {
        if (!comes[size_t(order[first])])
            continue;
        size_t last = first;
        while (last + 1 < order.size() && comes[size_t(order[last + 1])])
            ++last;
        std::vector<SidebarNode> rows;
        for (size_t row = first; row <= last; ++row)
            rows.push_back(sidebarPersonNode(after[size_t(order[row])], order[row]));
        beginInsertRows({}, int(first), int(last));
        m_tree.nodes.insert(m_tree.nodes.begin() + ptrdiff_t(first), std::make_move_iterator(rows.begin()),
                            std::make_move_iterator(rows.end()));
        renumber(first);
        endInsertRows();
        first = last;
    }
}

std::vector<int> &SidebarModel::siblingsOf(int parent)
{
    return parent < 0 ? m_tree.roots : m_tree.nodes[size_t(parent)].children;
}

int SidebarModel::takeRow(int node)
{
    const int parent = m_tree.nodes[size_t(node)].parent;
    const int at = m_tree.nodes[size_t(node)].row;
    beginRemoveRows(indexOf(parent), at, at);
    std::vector<int> &siblings = siblingsOf(parent);
    siblings.erase(siblings.begin() + at);
    for (size_t i = size_t(at); i < siblings.size(); ++i)
        m_tree.nodes[size_t(siblings[i])].row = int(i);
    SidebarNode &freed = m_tree.nodes[size_t(node)];
    freed = SidebarNode();
    freed.parent = -2; // in no list of rows
    m_freeNodes.push_back(node);
    endRemoveRows();
    return parent;
}

int SidebarModel::freeSlot(SidebarNode node)
{
    node.parent = -2;
    if (m_freeNodes.empty()) {
        m_tree.nodes.push_back(std::move(node));
        return int(m_tree.nodes.size()) - 1;
    }
    const int slot = m_freeNodes.back();
    m_freeNodes.pop_back();
    m_tree.nodes[size_t(slot)] = std::move(node);
    return slot;
}

void SidebarModel::addRow(int node, int parent, int at)
{
    beginInsertRows(indexOf(parent), at, at);
    m_tree.nodes[size_t(node)].parent = parent;
    std::vector<int> &siblings = siblingsOf(parent);
    siblings.insert(siblings.begin() + at, node);
    for (size_t i = size_t(at); i < siblings.size(); ++i)
        m_tree.nodes[size_t(siblings[i])].row = int(i);
    endInsertRows();
}

std::optional<std::vector<int>> SidebarModel::moveGroupedRows(const SidebarChanges &changes,
                                                              const std::vector<int> &nodeOfBefore,
                                                              const std::vector<std::vector<SidebarNode>> &paths,
                                                              const std::vector<Position> &after, std::string_view mode,
                                                              EmployeeDirectory::SortKeys *keys)
{
    // A group counts the people below it.
    std::set<int> recounted;
    const auto recount = [&](int node, bool more) {
        for (int group = m_tree.nodes[size_t(node)].parent; group >= 0; group = m_tree.nodes[size_t(group)].parent) {
            size_t &count = m_tree.nodes[size_t(group)].count;
            count = more ? count + 1 : count - 1;
            recounted.insert(group);
        }
    };
    for (int index : changes.gone) {
        const int node = nodeOfBefore[size_t(index)];
        recount(node, false);
        for (int parent = takeRow(node); parent >= 0 && m_tree.nodes[size_t(parent)].children.empty();) {
            recounted.erase(parent);
            parent = takeRow(parent);
        }
    }
    for (SidebarNode &node : m_tree.nodes) {
        if (node.position >= 0)
            node.position = changes.indexAfter[size_t(node.position)];
    }

    std::vector<int> made;
    const auto isBefore = [&](int a, int b) {
        return EmployeeDirectory::before(after[size_t(m_tree.nodes[size_t(a)].position)],
                                         after[size_t(m_tree.nodes[size_t(b)].position)], keys);
    };
    for (size_t i = 0; i < changes.come.size(); ++i) {
        int parent = -1;
        for (const SidebarNode &step : paths[i]) {
            // A group's people come first, then its groups in order.
            const std::vector<int> &siblings = siblingsOf(parent);
            size_t at = siblings.size();
            while (at > 0 && m_tree.nodes[size_t(siblings[at - 1])].isGroup())
                --at;
            while (at < siblings.size() && sidebarGroupBefore(m_tree.nodes[size_t(siblings[at])], step))
                ++at;
            if (at < siblings.size() && !sidebarGroupBefore(step, m_tree.nodes[size_t(siblings[at])])) {
                parent = siblings[at];
                continue;
            }
            SidebarNode group = step;
            group.key = sidebarGroupKey(mode, parent >= 0 ? &m_tree.nodes[size_t(parent)] : nullptr, step);
            const int node = freeSlot(std::move(group));
            addRow(node, parent, int(at));
            made.push_back(node);
            parent = node;
        }
        // Placed among the people of its group.
        const int index = changes.come[i];
        const int person = freeSlot(sidebarPersonNode(after[size_t(index)], index));
        const std::vector<int> &siblings = siblingsOf(parent);
        size_t people = 0;
        while (people < siblings.size() && !m_tree.nodes[size_t(siblings[people])].isGroup())
            ++people;
        const auto at = placeAmong(siblings.begin(), siblings.begin() + ptrdiff_t(people), person, isBefore);
        if (!at)
            return std::nullopt;
        addRow(person, parent, int(*at - siblings.begin()));
        recount(person, true);
    }
    for (int group : recounted) {
        const QModelIndex row = indexOf(group);
        emit dataChanged(row, row);
    }
    return made;
}

// An index names its parent row (0 for the top level): rows that come and go before it
// leave it naming the same parent, as the view's held rows expect.
const SidebarNode *SidebarModel::node(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const int parent = int(index.internalId()) - 1;
    const std::vector<int> &rows = parent < 0 ? m_tree.roots : m_tree.nodes[size_t(parent)].children;
    return size_t(index.row()) < rows.size() ? &m_tree.nodes[size_t(rows[size_t(index.row())])] : nullptr;
}

QModelIndex SidebarModel::indexOf(int node) const
{
    if (node < 0 || size_t(node) >= m_tree.nodes.size())
        return {};
    const SidebarNode &row = m_tree.nodes[size_t(node)];
    return createIndex(row.row, 0, quintptr(row.parent + 1));
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex &parent) const
{
    const SidebarNode *parentRow = node(parent);
    const std::vector<int> &rows = parentRow ? parentRow->children : m_tree.roots;
    if (column != 0 || row < 0 || size_t(row) >= rows.size())
        return {};
    return createIndex(row, 0, quintptr(parentRow ? int(parentRow - m_tree.nodes.data()) + 1 : 0));
}

QModelIndex SidebarModel::parent(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this ? indexOf(int(index.internalId()) - 1) : QModelIndex();
}

int SidebarModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_tree.roots.size());
    return parent.column() == 0 ? int(node(parent)->children.size()) : 0;
}

int SidebarModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant SidebarModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The header is hidden, but a screen reader still reads the column's name.
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return tr("People");
    return {};
}

QVariant SidebarModel::data(const QModelIndex &index, int role) const
{
    const SidebarNode *row = node(index);
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return row->isGroup() ? QStringLiteral("%1 (%2)").arg(text(row->name)).arg(row->count) : text(row->name);
    case Qt::FontRole:
        if (row->kind == SidebarNode::Kind::group) {
            QFont headline;
            headline.setBold(true);
            return headline;
        }
        return {};
    case Qt::AccessibleDescriptionRole:
    case detailRole:
        return text(row->detail);
    case keyRole:
        return text(row->key);
    case isGroupRole:
        return row->isGroup();
    default:
        return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex &index) const
{
    const SidebarNode *row = node(index);
    if (!row)
        return Qt::NoItemFlags;
    // Groups only open and close; only people take the selection. People hold no rows: the
    // list's "open everything" would otherwise mark them open too, and a screen reader say so.
    return row->isGroup() ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

OrganizationSidebar::OrganizationSidebar(std::vector<std::string> modes, QWidget *parent)
    : QWidget(parent)
    , m_grouping(SidebarMode::none)
    , m_picker(new SearchableDropdown(tr("Group by"), this))
    , m_tree(new SidebarTreeView([this](const QModelIndex &index) { personClicked(index, false); }, this))
    , m_model(new SidebarModel(this))
    , m_expandRow(new QWidget(this))
{
    setWindowTitle(tr("People"));
    setMinimumWidth(240);
    keepSelectionReadable(m_tree);
    std::vector<DropdownOption> options;
    for (const std::string &mode : modes)
        options.push_back({text(mode), text(mode), QString()});
    m_picker->setOptions(std::move(options));
    m_picker->setSelection(text(m_grouping));

    m_tree->setModel(m_model);
    m_tree->setAccessibleName(tr("People"));
    m_tree->setItemDelegate(new SidebarRowDelegate(m_tree));
    m_tree->setHeaderHidden(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setUniformRowHeights(m_grouping == SidebarMode::none);

    auto *expandAllButton = new QPushButton(tr("Expand All"), m_expandRow);
    auto *collapseAllButton = new QPushButton(tr("Collapse All"), m_expandRow);
    auto *buttons = new QHBoxLayout(m_expandRow);
    buttons->setContentsMargins(8, 8, 8, 8);
    for (QPushButton *button : {expandAllButton, collapseAllButton}) {
        button->setFont(captionFont(button->font()));
        buttons->addWidget(button);
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *pickerRow = new QVBoxLayout;
    pickerRow->setContentsMargins(10, 10, 10, 10);
    pickerRow->addWidget(m_picker);
    layout->addLayout(pickerRow);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_expandRow);
    m_expandRow->setVisible(false);

    connect(m_picker, &SearchableDropdown::chosen, this, [this](const QString &mode) { setGrouping(mode.toStdString()); });
    connect(expandAllButton, &QPushButton::clicked, this, &OrganizationSidebar::expandAll);
    connect(collapseAllButton, &QPushButton::clicked, this, &OrganizationSidebar::collapseAll);
    connect(m_tree, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        m_expansion.setExpanded(m_model->node(index)->key, true);
    });
    connect(m_tree, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        m_expansion.setExpanded(m_model->node(index)->key, false);
    });
    connect(m_tree, &QTreeView::clicked, this, [this](const QModelIndex &index) { personClicked(index, false); });
    m_tree->viewport()->installEventFilter(this);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        // A click reports itself when it ends; a key reports itself before this is looked at.
        if (!m_pressing)
            QTimer::singleShot(0, this, &OrganizationSidebar::takeListSelection);
    });
    connect(m_tree, &QTreeView::doubleClicked, this, [this](const QModelIndex &index) { personClicked(index, true); });
    connect(m_tree, &QTreeView::customContextMenuRequested, this, &OrganizationSidebar::showContextMenu);
}

void OrganizationSidebar::setActions(std::function<void(const std::string &)> onSelect,
                                     std::function<void(const Position &)> onEdit)
{
    m_onSelect = std::move(onSelect);
    m_onEdit = std::move(onEdit);
}

void OrganizationSidebar::setPositions(std::vector<Position> positions)
{
    setSharedPositions(std::make_shared<const std::vector<Position>>(std::move(positions)));
}

void OrganizationSidebar::setSharedPositions(std::shared_ptr<const std::vector<Position>> positions)
{
    // Past a few, placing each changed person costs about what sorting them all does.
    constexpr size_t fewPositions = 64;
    const std::shared_ptr<const std::vector<Position>> before = std::exchange(m_positions, std::move(positions));
    const std::optional<SidebarChanges> changes = sidebarChanges(*before, *m_positions, m_grouping, fewPositions);
    if (changes && changes->none())
        return; // every row stands as it is, for the position at its index
    rebuild(changes ? &*changes : nullptr);
}

void OrganizationSidebar::adoptSortKeys(EmployeeDirectory::SortKeys keys)
{
    m_keys = std::move(keys);
}

void OrganizationSidebar::setSelection(const std::optional<std::string> &id)
{
    m_selection = id;
    m_reported.reset();
    showSelection();
}

void OrganizationSidebar::setGrouping(const std::string &mode)
{
    m_picker->setSelection(text(mode));
    if (mode == m_grouping)
        return;
    m_grouping = mode;
    m_expandRow->setVisible(mode != SidebarMode::none);
    // Only people, each two lines high: the view need not measure each row.
    m_tree->setUniformRowHeights(mode == SidebarMode::none);
    rebuild();
}

void OrganizationSidebar::expandAll()
{
    m_expansion.expandAll();
    restoreExpansion();
}

void OrganizationSidebar::collapseAll()
{
    m_expansion.collapseAll();
    restoreExpansion();
}

QModelIndex OrganizationSidebar::indexOfPosition(const std::string &id) const
{
    // A list that repeats ids (a chart that cannot be drawn): the first row wins. One pass
    // costs less than keeping an index of ids that an edit shifts.
    int first = -1;
    for (size_t i = 0; i < m_positions->size(); ++i) {
        const int node = m_nodeOfIndex[i];
        if ((*m_positions)[i].id == id && node >= 0 && (first < 0 || node < first))
            first = node;
    }
    return m_model->indexOf(first);
}

void OrganizationSidebar::rebuild(const SidebarChanges *changes)
{
    // Rows that only move keep the list on the rows it shows, the selected person's included.
    const bool autoScroll = m_tree->hasAutoScroll();
    if (m_selection) {
        // Rows taken from under the selected person's row would make a neighbour current
        // and have the list announce that person to a screen reader; showSelection() puts
        // the current row back on the selected person.
        const QSignalBlocker blocker(m_tree->selectionModel());
        m_tree->selectionModel()->clearCurrentIndex();
    }
    m_tree->setAutoScroll(false);
    if (!changes || !moveChangedRows(*changes)) {
        m_tree->setAutoScroll(autoScroll);
        SidebarTree tree = buildSidebarTree(*m_positions, m_grouping, &m_keys);
        // An edit that renames or empties a position mostly leaves every row where it was.
        if (!m_model->takeRows(tree, m_tree->uniformRowHeights())) {
            m_model->setTree(std::move(tree));
            restoreExpansion();
        }
    }
    m_nodeOfIndex.assign(m_positions->size(), -1);
    const SidebarTree &tree = m_model->tree();
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
        const int index = tree.nodes[i].position;
        if (index >= 0 && m_nodeOfIndex[size_t(index)] < 0)
            m_nodeOfIndex[size_t(index)] = int(i);
    }
    showSelection();
    m_tree->setAutoScroll(autoScroll);
}

bool OrganizationSidebar::moveChangedRows(const SidebarChanges &changes)
{
    const std::vector<Position> &positions = *m_positions;
    if (m_grouping == SidebarMode::none) {
        const std::optional<std::vector<int>> order = flatOrderAfter(m_model->tree(), changes, positions, &m_keys);
        if (order)
            m_model->moveFlatRows(*order, changes, positions);
        return order.has_value();
    }
    // In groups the rows of the people that changed go and come. A person that comes with an
    // id listed twice has no one place: the full build settles which row is first.
    std::unordered_map<std::string_view, int> listed;
    for (int index : changes.come)
        listed.emplace(positions[size_t(index)].id, 0);
    for (const Position &position : positions) {
        const auto found = listed.find(position.id);
        if (found != listed.end() && ++found->second > 1)
            return false;
    }
    for (int index : changes.gone) {
        if (m_nodeOfIndex[size_t(index)] < 0)
            return false;
    }
    const std::optional<std::vector<std::vector<SidebarNode>>> paths =
        sidebarGroupPaths(m_model->tree(), positions, m_grouping, changes.come);
    if (!paths)
        return false;
    const std::optional<std::vector<int>> made =
        m_model->moveGroupedRows(changes, m_nodeOfIndex, *paths, positions, m_grouping, &m_keys);
    if (!made)
        return false;
    // New groups open as the user left groups of their name; not the user opening them.
    const QSignalBlocker blocker(m_tree);
    for (int group : *made) {
        if (m_expansion.isExpanded(m_model->tree().nodes[size_t(group)].key))
            m_tree->setExpanded(m_model->indexOf(group), true);
    }
    return true;
}

void OrganizationSidebar::restoreExpansion()
{
    const SidebarTree &tree = m_model->tree();
    std::unordered_map<std::string_view, int> groupOfKey;
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
        if (tree.nodes[i].isGroup())
            groupOfKey.emplace(tree.nodes[i].key, int(i));
    }
    if (groupOfKey.empty())
        return; // nothing opens or closes in a list of people only
    // Blocked: restoring is not the user opening or closing groups, and the view would
    // report each of thousands of groups.
    const QSignalBlocker blocker(m_tree);
    // Open or close everything at once, then visit only the exceptions: setting each of
    // thousands of groups one by one would lay the list out again each time.
    if (m_expansion.expandByDefault())
        m_tree->expandAll();
    else
        m_tree->collapseAll();
    for (const std::string &key : m_expansion.exceptions()) {
        const auto found = groupOfKey.find(key);
        if (found != groupOfKey.end())
            m_tree->setExpanded(m_model->indexOf(found->second), !m_expansion.expandByDefault());
    }
}

void OrganizationSidebar::showSelection()
{
    QItemSelectionModel *selection = m_tree->selectionModel();
    const QModelIndex row = m_selection ? indexOfPosition(*m_selection) : QModelIndex();
    {
        const QSignalBlocker blocker(selection);
        if (row.isValid())
            selection->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
        else
            selection->clearSelection();
    }
    m_tree->viewport()->update();
}

bool OrganizationSidebar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        m_pressing = true;
    else if (event->type() == QEvent::MouseButtonRelease)
        m_pressing = false;
    return QWidget::eventFilter(watched, event);
}

void OrganizationSidebar::takeListSelection()
{
    const QModelIndexList selected = m_tree->selectionModel()->selectedIndexes();
    const SidebarNode *row = selected.size() == 1 ? m_model->node(selected.front()) : nullptr;
    if (!row || row->isGroup()) {
        showSelection(); // nothing in the sidebar clears the window's selection
        return;
    }
    const std::string &id = (*m_positions)[size_t(row->position)].id;
    if (id == m_selection || id == m_reported)
        return;
    {
        // Keys go on from the row chosen, as after a click.
        const QSignalBlocker blocker(m_tree->selectionModel());
        m_tree->selectionModel()->setCurrentIndex(selected.front(), QItemSelectionModel::NoUpdate);
    }
    personClicked(selected.front(), false);
}

void OrganizationSidebar::personClicked(const QModelIndex &index, bool edit)
{
    const SidebarNode *row = m_model->node(index);
    if (!row || row->isGroup())
        return;
    const Position &position = (*m_positions)[size_t(row->position)];
    m_reported = position.id;
    if (m_onSelect)
        m_onSelect(position.id);
    if (edit && m_onEdit && m_editingEnabled)
        m_onEdit(position);
}

void OrganizationSidebar::showContextMenu(const QPoint &point)
{
    const SidebarNode *row = m_model->node(m_tree->indexAt(point));
    if (!row || row->isGroup())
        return;
    // A copy: the list may be rebuilt while the menu is open.
    const Position position = (*m_positions)[size_t(row->position)];
    QMenu menu(this);
    // "&&" shows one ampersand rather than marking a mnemonic.
    QAction *edit = menu.addAction(tr("Edit Person && Position"));
    edit->setEnabled(m_onEdit && m_editingEnabled);
    if (menu.exec(m_tree->viewport()->mapToGlobal(point)) == edit && m_onEdit && m_editingEnabled)
        m_onEdit(position);
}
