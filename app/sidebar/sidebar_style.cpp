#include "app/sidebar/sidebar_style.h"

#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QWidget>

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

int twoLineHeight(const QStyleOptionViewItem &option, int detailLines)
{
    const int title = QFontMetrics(option.font).height();
    return title + detailLines * (lineSpacing + QFontMetrics(captionFont(option.font)).height());
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
    if (detail.isEmpty()) {
        painter.restore();
        return;
    }
    const QFont caption = captionFont(option.font);
    const QFontMetrics metrics(caption);
    painter.setFont(caption);
    painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    for (const QString &text : detail.split(QLatin1Char('\n'))) {
        line = QRect(rect.left(), line.bottom() + 1 + lineSpacing, rect.width(), metrics.height());
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(text, Qt::ElideRight, line.width()));
    }
    painter.restore();
}

void paintTwoLineRow(QPainter &painter, QStyleOptionViewItem styled, const QString &detail, int padding)
{
    const QString title = styled.text;
    styled.text.clear();
    styled.widget->style()->drawControl(QStyle::CE_ItemViewItem, &styled, &painter, styled.widget);
    paintTwoLines(painter, styled.rect.adjusted(padding, padding, -padding, -padding), title, detail, styled);
}

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElidedLabel::minimumSizeHint() const
{
    QSize least = QLabel::minimumSizeHint();
    least.setWidth(fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) + contentsMargins().left()
                   + contentsMargins().right());
    return least;
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          shownText(), foregroundRole());
}
