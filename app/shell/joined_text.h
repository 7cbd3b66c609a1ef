#pragma once

#include <QString>

#include <initializer_list>

// The middle dot that separates the parts of a detail line.
inline const QString detailSeparator = QStringLiteral(" \u00b7 ");

// The parts that hold more than white space, joined by `separator`: a blank optional part
// (a position with no department) leaves no separator behind it.
inline QString joinedPresent(std::initializer_list<QString> parts, const QString &separator = detailSeparator)
{
    QString joined;
    for (const QString &part : parts) {
        if (part.trimmed().isEmpty())
            continue;
        if (!joined.isEmpty())
            joined += separator;
        joined += part;
    }
    return joined;
}
