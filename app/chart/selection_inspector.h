#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/model/organization.h"
#endif

#include <QString>
#include <QStringList>

#include <string>
#include <variant>
#include <vector>

class ChartView;

// The strip under the chart that sums up the selection and offers its actions, as plain
// values: the widget draws them and calls the window's operations.
namespace SelectionInspector {

// A selected person or vacancy.
struct PersonStrip {
    Position position;
    QString title;    // the name, or "Vacant position"
    QString subtitle; // "<job title> · <department>"
    bool canEdit = false; // Edit and the Add menu
    bool canMakeVacant = false;
    bool canDelete = false;
    // The "More" menu's information lines: ids, FTE and location, one line per school.
    QStringList moreLines;
    // "Remove from This Chart…", offered only while the chart shown lists the position.
    bool offersRemoveFromChart = false;
};

struct GroupMember {
    Position position;
    QString label; // the name, else the job title
};

// A selected card that stands for several positions.
struct GroupStrip {
    std::string cardID;
    QString title;    // "<job title> (x<count>)"
    QString subtitle; // "<fte> FTE · <department>"
    std::vector<GroupMember> members; // "People in Group"
    bool membersEnabled = false;
    bool offersExpand = false; // a position group, which can be drawn expanded
};

using Strip = std::variant<std::monostate, PersonStrip, GroupStrip>;

// The strip for the window's selection: the selected group card while the chart shows it,
// else the selected position while the organization holds it, else nothing.
Strip strip(const ChartView &view);

// An FTE or a share of one as the window writes numbers: up to three decimals, no zeros,
// and no longer than ChartText::fte allows.
QString number(double value);

} // namespace SelectionInspector
