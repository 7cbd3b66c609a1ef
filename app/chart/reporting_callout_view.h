#pragma once

#include "core/support/geometry.h"

#include <QFrame>
#include <QString>

class QPainter;
class QWidget;
struct ReportingCallout;

// The badge on a card whose position reports to more than one manager: one orange line
// that counts the other managers, the full list as its tooltip, and a popover with the
// same list when it is clicked. It only shows the callout.
namespace ReportingCalloutView {

// Orange on an orange tint, one line, truncated at the end when the badge is too narrow.
void paintBadge(QPainter &painter, const Rect &badge, const ReportingCallout &callout);

// The tooltip: one line per manager, primary first.
QString tooltip(const ReportingCallout &callout, bool hideNames);

// Opens the details popover below `anchor` (global coordinates); it closes the usual way,
// by a click outside it or Escape. The popover deletes itself when closed.
QFrame *showDetails(const ReportingCallout &callout, bool hideNames, const QRect &anchor, QWidget *parent);

} // namespace ReportingCalloutView
