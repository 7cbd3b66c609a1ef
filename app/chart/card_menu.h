#pragma once

#include <QString>

#include <string>
#include <vector>

class ChartView;
class QMenu;
class QWidget;

// The context menu of a chart card, as data: the window builds its QMenu from these items
// and runs the chosen one against its ChartView.
struct CardMenuItem {
    enum class Action {
        expandGroup,
        editMember, // one position of a merged title card
        edit,
        addSibling,
        addSubordinate,
        addAssistant,
        separator,
        makeVacant,
        removeFromChart,
        deleteEverywhere,
    };
    Action action = Action::separator;
    QString title;
    bool enabled = true;
    bool destructive = false;
    bool opensEditor = false; // disabled while nothing opens the position editor
    std::string positionID;   // the position acted on (a member for editMember)
    bool operator==(const CardMenuItem &) const = default;
};

namespace CardMenu {

// The items for the card `cardID` of the chart shown; empty for an id that is not a card.
std::vector<CardMenuItem> cardMenuItems(const ChartView &view, const std::string &cardID);
// Runs one item for the card it was made for.
void run(ChartView &view, const std::string &cardID, const CardMenuItem &item);
// A QMenu of the items, parented to `parent`, deleted when closed.
QMenu *build(ChartView &view, const std::string &cardID, QWidget *parent);

} // namespace CardMenu
