#pragma once

#include "core/document/position_group.h"

#include <QDialog>

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class GroupCandidateListModel;

// Whether the editor lists the position for the filter text: always for an empty text;
// otherwise when its name, job title, pay level, department and location, joined by blanks,
// contain the text ignoring case. The text is not trimmed: blanks are part of the query.
bool groupEditorMatches(const Position &position, std::string_view query);
// The two lines of a position's row: "<name or Vacant> — <job title>" and
// "<id> · <department> · Manager: <manager id or None>".
std::string groupEditorRowTitle(const Position &position);
std::string groupEditorRowDetail(const Position &position);

// The "Group Positions" sheet: ticks peers on the chart and folds them into a named
// presentation group, and dissolves existing groups. It holds no document logic.
//
// The opener passes the chart's positions and the document's groups, and two actions that
// change the document as one undo step each: `create` (the group operation of the
// document, with the name as typed and the ticked ids in ascending order) and `remove`
// (takes the group with that id away). Both throw OrganizationError, the planning lock
// included, and then change nothing; the sheet shows the message and stays open. Either
// success closes the sheet.
class PositionGroupEditor : public QDialog {
    Q_OBJECT

public:
    using Create = std::function<void(const std::string &name, const std::vector<std::string> &memberIDs)>;
    using Remove = std::function<void(const std::string &groupID)>;

    PositionGroupEditor(std::vector<Position> positions, std::vector<PositionGroup> groups, Create create,
                        Remove remove, QWidget *parent = nullptr);
    ~PositionGroupEditor() override;

    QLineEdit *nameField() const { return m_name; }
    QLineEdit *filterField() const { return m_filter; }
    QListView *list() const { return m_list; }
    QPushButton *createButton() const { return m_create; }
    QString message() const;
    QString selectedCount() const;
    // The ticked ids, whether or not the filter shows them.
    const std::set<std::string> &members() const;

    void createGroup();
    void removeGroup(const std::string &groupID);

private:
    QWidget *existingGroups(const std::vector<PositionGroup> &groups);
    void refresh();
    void fail(const std::string &message);

    Create m_onCreate;
    Remove m_onRemove;
    GroupCandidateListModel *m_model;
    QLineEdit *m_name;
    QLineEdit *m_filter;
    QListView *m_list;
    QLabel *m_message;
    QLabel *m_count;
    QPushButton *m_create;
};
