#include "app/chart/reporting_callout_view.h"

#include "app/sidebar/popup_placement.h"
#include "core/model/chart_annotations.h"
#include "printing/chart_text.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace ReportingCalloutView {

static const QColor orange(255, 149, 0);

void paintBadge(QPainter &painter, const Rect &badge, const ReportingCallout &callout)
{
    const QRectF box(badge.origin.x, badge.origin.y, badge.size.width, badge.size.height);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor tint = orange;
    tint.setAlphaF(0.12f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawRoundedRect(box, 4, 4);

    // Set at 9 pixels in chart points; the painter's scale makes it the zoomed size.
    QFont font;
    font.setPixelSize(9);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(orange);
    const QRectF text = box.adjusted(5, 3, -5, -3);
    // A branching arrow before the count, as the badge's symbol.
    const QString line = QStringLiteral("\u21b3 ") + QString::fromStdString(callout.summary());
    const QString shown = ChartText::elided(line, font, text.width());
    ChartText::drawLine(painter, text, shown);
    painter.restore();
}

QString tooltip(const ReportingCallout &callout, bool hideNames)
{
    return QString::fromStdString(callout.details(hideNames));
}

QFrame *showDetails(const ReportingCallout &callout, bool hideNames, const QRect &anchor, QWidget *parent)
{
    auto *popover = new QFrame(parent, Qt::Popup);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setFrameShape(QFrame::StyledPanel);
    popover->setAccessibleName(QStringLiteral("Multiple reporting relationships"));

    auto *stack = new QWidget;
    stack->setMaximumWidth(360 - 2 * popover->frameWidth());
    auto *layout = new QVBoxLayout(stack);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(8);

    auto *headline = new QLabel(QStringLiteral("Multiple reporting relationships"));
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);
    layout->addWidget(headline);

    // Selectable, so that the list can be copied.
    auto *details = new QLabel(tooltip(callout, hideNames));
    details->setTextFormat(Qt::PlainText);
    details->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    details->setWordWrap(true);
    details->setObjectName(QStringLiteral("details"));
    layout->addWidget(details);

    auto *note = new QLabel(QStringLiteral("Some managers may be outside this chart. A group callout lists "
                                           "relationships across its members."));
    note->setWordWrap(true);
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    note->setFont(small);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note);

    // A long list scrolls where the screen is too short for it.
    setScrollingContent(popover, stack);
    showPopupAt(popover, anchor.adjusted(0, 0, 0, 4), parent);
    return popover;
}

} // namespace ReportingCalloutView
