#pragma once

#include "app/sidebar/sidebar_tree.h"

#include <QAbstractItemModel>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QPushButton;
class QTreeView;
class SearchableDropdown;

// The sidebar's rows for a view: groups read "<name> (<count>)", people show their job
// title on a second line. Rows are created by the view only as they scroll into sight.
class SidebarModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role { detailRole = Qt::UserRole, keyRole, isGroupRole };

    using QAbstractItemModel::QAbstractItemModel;
    void setTree(SidebarTree tree);
    // Takes `tree` in place of the rows when only the texts of rows and the positions behind
    // them differ: every row keeps its place, so the view keeps its open groups. False, and
    // nothing changed, otherwise. `uniformRows`: the view gives every row one height.
    bool takeRows(SidebarTree &tree, bool uniformRows);
    // Makes the flat rows of `order` (indices in `after`) from the flat rows of the positions
    // before `changes`, taking away and adding only the rows that go and come.
    void moveFlatRows(const std::vector<int> &order, const SidebarChanges &changes, const std::vector<Position> &after);
    // Takes away the rows of the people that go (`nodeOfBefore`: each listed position's row
    // until now) and adds those that come, each in the groups of `paths` (from
    // sidebarGroupPaths), in person order: groups left empty go, missing ones come in their
    // place. Gives the groups that came; nothing when a person ties with a neighbour, the
    // rows then being part way and to be made anew.
    std::optional<std::vector<int>> moveGroupedRows(const SidebarChanges &changes, const std::vector<int> &nodeOfBefore,
                                                    const std::vector<std::vector<SidebarNode>> &paths,
                                                    const std::vector<Position> &after, std::string_view mode,
                                                    EmployeeDirectory::SortKeys *keys);
    const SidebarTree &tree() const { return m_tree; }
    const SidebarNode *node(const QModelIndex &index) const;
    QModelIndex indexOf(int node) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    std::vector<int> &siblingsOf(int parent);
    // The row at `node` taken away, its slot freed; gives its parent.
    int takeRow(int node);
    // `node` kept in a free slot, in no list of rows yet; gives the slot.
    int freeSlot(SidebarNode node);
    // The row kept at `node` placed as row `at` of `parent`.
    void addRow(int node, int parent, int at);

    SidebarTree m_tree;
    std::vector<int> m_freeNodes; // slots of rows taken away
};

// The people of the chart shown, flat or grouped by location, department or both, in
// groups that open and close per mode. It never changes the window's selection itself: a
// click asks `onSelect`, and the window's selection comes back through setSelection.
class OrganizationSidebar : public QWidget {
    Q_OBJECT
public:
    explicit OrganizationSidebar(std::vector<std::string> modes = SidebarMode::all(), QWidget *parent = nullptr);

    // A click on a person selects; a double click selects then edits; the context menu's
    // "Edit Person & Position" edits without selecting.
    void setActions(std::function<void(const std::string &)> onSelect, std::function<void(const Position &)> onEdit);
    // While editing is off (nothing opens the editor yet) a double click only selects and
    // the menu item is disabled.
    void setEditingEnabled(bool enabled) { m_editingEnabled = enabled; }

    // Changes the rows only where the positions differ from those listed in what the rows show.
    void setPositions(std::vector<Position> positions);
    // The same with a list held elsewhere (a chart's), kept without a copy.
    void setSharedPositions(std::shared_ptr<const std::vector<Position>> positions);
    const std::vector<Position> &positions() const { return *m_positions; }
    // Sort keys made elsewhere (on the thread that read the file) for the names to come.
    void adoptSortKeys(EmployeeDirectory::SortKeys keys);
    // Shows the window's selection; reports nothing back.
    void setSelection(const std::optional<std::string> &id);

    const std::string &grouping() const { return m_grouping; }
    void setGrouping(const std::string &mode);
    void expandAll();
    void collapseAll();
    const SidebarExpansion &expansion() const { return m_expansion; }

    QTreeView *treeView() const { return m_tree; }
    SidebarModel *model() const { return m_model; }
    SearchableDropdown *groupPicker() const { return m_picker; }
    // The row holding a position, or an invalid index.
    QModelIndex indexOfPosition(const std::string &id) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // `changes`: from the positions listed until now, when the grouping is unchanged.
    void rebuild(const SidebarChanges *changes = nullptr);
    // Moves, takes away and adds only the rows of the people that changed; false, and nothing
    // changed, when the rows must be made anew.
    bool moveChangedRows(const SidebarChanges &changes);
    void restoreExpansion();
    void showSelection();
    // A row selected in the list by other means than a click or a key (a screen reader's
    // action): it selects the person as a click does; a selection taken away is put back.
    void takeListSelection();
    void personClicked(const QModelIndex &index, bool edit);
    void showContextMenu(const QPoint &point);

    std::shared_ptr<const std::vector<Position>> m_positions = std::make_shared<const std::vector<Position>>();
    std::string m_grouping;
    SidebarExpansion m_expansion;
    std::optional<std::string> m_selection;
    std::optional<std::string> m_reported; // asked of onSelect since the window last set the selection
    std::function<void(const std::string &)> m_onSelect;
    std::function<void(const Position &)> m_onEdit;
    std::vector<int> m_nodeOfIndex; // each listed position's row
    EmployeeDirectory::SortKeys m_keys; // the people's, kept for the next edit
    bool m_editingEnabled = true;
    bool m_pressing = false; // a mouse button is down on the list's rows

    SearchableDropdown *m_picker;
    QTreeView *m_tree;
    SidebarModel *m_model;
    QWidget *m_expandRow;
};
