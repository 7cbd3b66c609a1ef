#include "app/sidebar/sidebar_style.h"

#include <QLabel>
#include <QPainter>
#include <QStyleOptionViewItem>

namespace {

constexpr int lineSpacing = 3;

} // namespace

QFont captionFont(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

QLabel *makeCaption(const QString &text, QWidget *parent)
{
    auto *caption = new QLabel(text, parent);
    caption->setWordWrap(true);
    caption->setForegroundRole(QPalette::PlaceholderText);
    caption->setFont(captionFont(caption->font()));
    return caption;
}

int twoLineHeight(const QStyleOptionViewItem &option, bool hasDetail)
{
    const int title = QFontMetrics(option.font).height();
    return hasDetail ? title + lineSpacing + QFontMetrics(captionFont(option.font)).height() : title;
}

void paintTwoLines(QPainter &painter, const QRect &rect, const QString &title, const QString &detail,
                   const QStyleOptionViewItem &option)
{
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette &palette = option.palette;
    painter.save();
    const QFontMetrics titleMetrics(option.font);
    QRect line(rect.left(), rect.top(), rect.width(), titleMetrics.height());
    painter.setFont(option.font);
    painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, titleMetrics.elidedText(title, Qt::ElideRight, line.width()));
    if (!detail.isEmpty()) {
        const QFont caption = captionFont(option.font);
        const QFontMetrics metrics(caption);
        line = QRect(rect.left(), line.bottom() + 1 + lineSpacing, rect.width(), metrics.height());
        painter.setFont(caption);
        painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(detail, Qt::ElideRight, line.width()));
    }
    painter.restore();
}
