#include "app/chart/card_menu.h"

#include "app/chart/chart_view.h"

#include <QAction>
#include <QMenu>

namespace CardMenu {

using Action = CardMenuItem::Action;

static CardMenuItem item(Action action, const char *title, const std::string &positionID, bool opensEditor = false)
{
    CardMenuItem made;
    made.action = action;
    made.title = QString::fromUtf8(title);
    made.positionID = positionID;
    made.opensEditor = opensEditor;
    return made;
}

std::vector<CardMenuItem> cardMenuItems(const ChartView &view, const std::string &cardID)
{
    const std::shared_ptr<const ChartScene> scene = view.chartScene();
    const Position *position = scene ? scene->position(cardID) : nullptr;
    if (!position)
        return {};
    std::vector<CardMenuItem> items;
    if (position->groupMemberCount)
        items.push_back(item(Action::expandGroup, "Expand Group", cardID));
    const auto &counts = scene->presentation().counts;
    const auto count = counts.find(cardID);
    if (count != counts.end() && count->second >= 2) {
        // A merged title card stands for several positions: one editor item each, nothing else.
        for (const Position *member : scene->membersOf(cardID)) {
            CardMenuItem edit = item(Action::editMember, "", member->id, true);
            const std::string number = member->employee ? member->employee->id : "Vacant";
            edit.title = QString::fromStdString("Edit Employee " + number + " \u00b7 " + member->id);
            items.push_back(edit);
        }
        return items;
    }
    const bool canEdit = view.canEditCurrent();
    items.push_back(item(Action::edit, "Edit Person & Position", cardID, true));
    items.push_back(item(Action::addSibling, "Add Sibling", cardID, true));
    items.push_back(item(Action::addSubordinate, "Add Subordinate", cardID, true));
    items.push_back(item(Action::addAssistant, "Add Assistant", cardID, true));
    items.push_back(item(Action::separator, "", cardID));
    CardMenuItem vacancy = item(Action::makeVacant, "Make Vacant…", cardID);
    vacancy.enabled = canEdit && position->employee.has_value();
    items.push_back(vacancy);
    if (view.listsOnShownChart(cardID)) {
        CardMenuItem remove = item(Action::removeFromChart, "Remove from This Chart…", cardID);
        remove.enabled = canEdit;
        items.push_back(remove);
    }
    CardMenuItem deletion = item(Action::deleteEverywhere, "Delete Person & Position…", cardID);
    deletion.enabled = canEdit;
    deletion.destructive = true;
    items.push_back(deletion);
    return items;
}

static std::optional<Position> cardPosition(const ChartView &view, const std::string &id)
{
    const std::shared_ptr<const ChartScene> scene = view.chartScene();
    const Position *position = scene ? scene->position(id) : nullptr;
    if (!position)
        return std::nullopt;
    return *position;
}

void run(ChartView &view, const std::string &cardID, const CardMenuItem &item)
{
    if (item.action == Action::editMember) {
        for (const Position &member : view.groupMembers(cardID)) {
            if (member.id == item.positionID)
                view.editPosition(member);
        }
        return;
    }
    // The card's position as drawn: the chart may have changed while the menu was open.
    const std::optional<Position> position = cardPosition(view, cardID);
    if (!position)
        return;
    switch (item.action) {
    case Action::expandGroup: view.toggleGroup(cardID); return;
    case Action::edit: view.editPosition(*position); return;
    case Action::addSibling: view.addPosition(position->managerID, false); return;
    case Action::addSubordinate: view.addPosition(position->id, false); return;
    case Action::addAssistant: view.addPosition(position->id, true); return;
    case Action::makeVacant: view.requestVacancy(*position); return;
    case Action::removeFromChart:
        // Selected first: the confirmation acts on the selection.
        view.selectChartPerson(cardID);
        view.requestRemoveFromChart();
        return;
    case Action::deleteEverywhere:
        view.selectChartPerson(cardID);
        view.requestDeletion(*position);
        return;
    case Action::editMember:
    case Action::separator: return;
    }
}

QMenu *build(ChartView &view, const std::string &cardID, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const CardMenuItem &entry : cardMenuItems(view, cardID)) {
        if (entry.action == Action::separator) {
            menu->addSeparator();
            continue;
        }
        // "&" would mark a shortcut letter: "Edit Person & Position" must show as written.
        QAction *action = menu->addAction(QString(entry.title).replace('&', QStringLiteral("&&")));
        action->setEnabled(entry.enabled && (!entry.opensEditor || view.isPositionEditorAvailable()));
        // Queued: a confirmation must not open while the menu is still closing.
        QObject::connect(action, &QAction::triggered, &view, [&view, cardID, entry] {
            QMetaObject::invokeMethod(&view, [&view, cardID, entry] { run(view, cardID, entry); }, Qt::QueuedConnection);
        });
    }
    return menu;
}

} // namespace CardMenu
