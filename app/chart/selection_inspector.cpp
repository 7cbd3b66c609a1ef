#include "app/chart/selection_inspector.h"

#include "app/chart/chart_view.h"

#include "printing/chart_text.h"

#include <algorithm>

namespace SelectionInspector {

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

QString number(double value)
{
    return ChartText::fte(value);
}

static GroupStrip groupStrip(const ChartView &view, const ChartScene &scene, const std::string &cardID)
{
    const Position &card = *scene.position(cardID);
    const auto &counts = scene.presentation().counts;
    const auto count = counts.find(cardID);
    GroupStrip strip;
    strip.cardID = cardID;
    strip.title = toQt(card.jobTitle()) + QStringLiteral(" (x%1)").arg(count == counts.end() ? 1 : count->second);
    strip.subtitle = number(card.fte) + QStringLiteral(" FTE \u00b7 ") + toQt(card.department);
    for (const Position *member : scene.membersOf(cardID))
        strip.members.push_back({*member, toQt(member->employee ? member->employee->name : member->jobTitle())});
    strip.membersEnabled = view.canEditCurrent();
    strip.offersExpand = card.groupMemberCount.has_value();
    return strip;
}

static PersonStrip personStrip(const ChartView &view, const Position &position)
{
    PersonStrip strip;
    strip.position = position;
    strip.title = position.employee ? toQt(position.employee->name) : QStringLiteral("Vacant position");
    strip.subtitle = toQt(position.jobTitle()) + QStringLiteral(" \u00b7 ") + toQt(position.department);
    const bool canEdit = view.canEditCurrent();
    strip.canEdit = canEdit;
    strip.canMakeVacant = canEdit && position.employee.has_value();
    strip.canDelete = canEdit;
    strip.moreLines.append(QStringLiteral("Position ") + toQt(position.id) + QStringLiteral(" \u00b7 Employee ") +
                           (position.employee ? toQt(position.employee->id) : QStringLiteral("Unfilled")));
    strip.moreLines.append(number(position.fte) + QStringLiteral(" FTE \u00b7 ") + toQt(position.location));
    for (const SchoolAssignment &school : position.schoolAssignments)
        strip.moreLines.append(toQt(school.school) + QStringLiteral(": ") + number(school.fte) + QStringLiteral(" FTE"));
    strip.offersRemoveFromChart = view.listsOnShownChart(position.id);
    return strip;
}

Strip strip(const ChartView &view)
{
    if (const std::optional<std::string> &group = view.selectedGroupID()) {
        const std::shared_ptr<const ChartScene> scene = view.chartScene();
        if (scene && scene->position(*group))
            return groupStrip(view, *scene, *group);
    }
    const std::optional<std::string> &selected = view.selectedID();
    if (!selected)
        return std::monostate();
    const std::vector<Position> &positions = view.archive().organization.positions;
    const auto found = std::find_if(positions.begin(), positions.end(),
                                    [&](const Position &position) { return position.id == *selected; });
    if (found == positions.end())
        return std::monostate();
    return personStrip(view, *found);
}

} // namespace SelectionInspector
