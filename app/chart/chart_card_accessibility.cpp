#include "app/chart/chart_card_accessibility.h"

#include "core/model/organization.h"
#include "core/model/print_settings.h"
#include "printing/chart_text.h"

#include <QStringList>

namespace ChartCardAccessibility {

QString label(const Position &position, const ChartPrintSettings &settings, int64_t count)
{
    QStringList parts;
    const auto add = [&parts](const std::string &part) {
        if (!part.empty())
            parts.append(QString::fromStdString(part));
    };
    if (settings.showJobTitle)
        add(position.jobTitle());
    if (position.groupMemberCount)
        add("Position group");
    else if (!settings.hideNames)
        add(position.employee ? position.employee->name : "Vacant");
    if (position.isAssistantPosition())
        add("Assistant");
    add(position.department);
    add(position.location);
    // As the card writes it, uncut: the user's locale, at most three fraction digits.
    parts.append(ChartText::fteInFull(position.fte) + QStringLiteral(" FTE"));
    if (settings.showPayLevel)
        add("Pay Level: " + position.title);
    if (count >= 2)
        parts.append(QString::number(count) + QStringLiteral(" positions"));
    if (position.primaryManagerReference)
        add(position.primaryManagerReference->printedLabel(settings.hideNames));
    if (position.reportingCallout)
        add(position.reportingCallout->summary());
    return parts.join(QStringLiteral(", "));
}

QString description(const Position &position, const ChartPrintSettings &settings)
{
    if (!position.reportingCallout)
        return {};
    return QString::fromStdString(position.reportingCallout->details(settings.hideNames));
}

} // namespace ChartCardAccessibility
