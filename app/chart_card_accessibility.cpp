#include "app/chart_card_accessibility.h"

#include "core/organization.h"
#include "core/print_settings.h"

#include <QLocale>
#include <QStringList>

namespace ChartCardAccessibility {

QString fteNumber(double fte)
{
    const QLocale locale;
    QString text = locale.toString(fte, 'f', 3);
    // Drop the zeros the fixed precision added, and the separator when nothing is left.
    if (!text.contains(locale.decimalPoint()))
        return text;
    while (text.endsWith(locale.zeroDigit()))
        text.chop(locale.zeroDigit().size());
    if (text.endsWith(locale.decimalPoint()))
        text.chop(locale.decimalPoint().size());
    return text;
}

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
    parts.append(fteNumber(position.fte) + QStringLiteral(" FTE"));
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

} // namespace ChartCardAccessibility
