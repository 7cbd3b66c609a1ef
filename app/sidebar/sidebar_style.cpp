#include "app/sidebar/sidebar_style.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr int lineSpacing = 3;

} // namespace

QFont captionFont(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

// The contrast ratio of two colours as accessibility guidelines measure it, 1 to 21.
static double contrastRatio(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &colour) {
        const auto linear = [](double channel) {
            return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// `wanted`, moved towards black or white just far enough to stand at `ratio` on every one of
// `backgrounds`.
static QColor contrastingOn(const QColor &wanted, std::span<const QColor> backgrounds, double ratio)
{
    const QColor &first = *backgrounds.begin();
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor &text = contrastRatio(black, first) >= contrastRatio(white, first) ? black : white;
    // A translucent colour (a desktop's placeholder grey is often its text colour at half
    // strength) is seen laid over the background: what is seen is judged and kept.
    const float alpha = wanted.alphaF();
    const QColor seen = QColor::fromRgbF(wanted.redF() * alpha + first.redF() * (1 - alpha),
                                         wanted.greenF() * alpha + first.greenF() * (1 - alpha),
                                         wanted.blueF() * alpha + first.blueF() * (1 - alpha));
    const auto reads = [&](const QColor &colour) {
        return std::all_of(backgrounds.begin(), backgrounds.end(),
                           [&](const QColor &background) { return contrastRatio(colour, background) >= ratio; });
    };
    for (int step = 0; step <= 20; ++step) {
        const float t = float(step) / 20;
        // In whole 8-bit steps, as it is drawn: what is judged is what shows.
        const QColor mixed(QColor::fromRgbF(seen.redF() + (text.redF() - seen.redF()) * t,
                                            seen.greenF() + (text.greenF() - seen.greenF()) * t,
                                            seen.blueF() + (text.blueF() - seen.blueF()) * t)
                               .rgb());
        if (reads(mixed))
            return mixed;
    }
    return text;
}

QColor readableOn(const QColor &wanted, std::initializer_list<QColor> backgrounds)
{
    return readableOn(wanted, std::span(backgrounds.begin(), backgrounds.size()));
}

QColor readableOn(const QColor &wanted, std::span<const QColor> backgrounds)
{
    // A little above 4.5, for the shading a style adds of its own.
    return contrastingOn(wanted, backgrounds, 4.8);
}

QColor visibleOn(const QColor &wanted, std::initializer_list<QColor> backgrounds)
{
    // A little above 3, for the antialiasing of a thin line's edges.
    return contrastingOn(wanted, std::span(backgrounds.begin(), backgrounds.size()), 3.2);
}

namespace {

// Sets the colour again after each palette change; its own change is one more, which finds
// the colour already in place.
class ReadableColour : public QObject {
public:
    ReadableColour(QWidget *widget, QPalette::ColorRole role, QPalette::ColorRole background, const QColor &wanted)
        : QObject(widget), m_role(role), m_background(background), m_wanted(wanted)
    {
        apply(widget);
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange)
            apply(static_cast<QWidget *>(watched));
        return false;
    }

private:
    void apply(QWidget *widget) const
    {
        QPalette palette = widget->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            // A button's face is drawn in shades between its colour and its light edge.
            const QColor background = palette.color(group, m_background);
            const QColor colour = m_background == QPalette::Button
                                      ? readableOn(m_wanted, {background, palette.color(group, QPalette::Light)})
                                      : readableOn(m_wanted, {background});
            if (palette.color(group, m_role) != colour)
                palette.setColor(group, m_role, colour);
        }
        if (palette != widget->palette())
            widget->setPalette(palette);
    }

    QPalette::ColorRole m_role;
    QPalette::ColorRole m_background;
    QColor m_wanted;
};

} // namespace

QPalette withReadableSecondaryText(QPalette palette)
{
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor colour = readableOn(palette.color(group, QPalette::PlaceholderText),
                                         {palette.color(group, QPalette::Window), palette.color(group, QPalette::Base)});
        palette.setColor(group, QPalette::PlaceholderText, colour);
    }
    return palette;
}

QPalette withReadableSelection(QPalette palette, const QPalette &inherited)
{
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        // The text stays as the desktop has it; only the highlight moves.
        const QColor text = palette.color(group, QPalette::HighlightedText);
        const QColor wanted = readableOn(inherited.color(group, QPalette::Highlight), {text});
        if (palette.color(group, QPalette::Highlight) != wanted)
            palette.setColor(group, QPalette::Highlight, wanted);
    }
    return palette;
}

namespace {

class SecondaryTextGuard : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
            apply();
        return false;
    }
    static void apply()
    {
        // Every list and grid draws its selected rows from here, popups included (they take
        // the application's palette, not their owner's).
        const QPalette readable = withReadableSelection(withReadableSecondaryText(QApplication::palette()));
        // Setting it changes the palette once more; the second time finds nothing to change.
        if (readable != QApplication::palette())
            QApplication::setPalette(readable);
    }
};

} // namespace

void keepApplicationTextReadable()
{
    SecondaryTextGuard::apply();
    qApp->installEventFilter(new SecondaryTextGuard(qApp));
}

void keepReadable(QWidget *widget, QPalette::ColorRole role, QPalette::ColorRole background, const QColor &wanted)
{
    new ReadableColour(widget, role, background, wanted);
}

namespace {

// Takes the highlight its widget would inherit and darkens or lightens it just enough for
// the highlighted text to read on it; again after every palette change.
class ReadableSelection : public QObject {
public:
    explicit ReadableSelection(QWidget *widget) : QObject(widget)
    {
        apply(widget);
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
            apply(static_cast<QWidget *>(watched));
        return false;
    }

private:
    static void apply(QWidget *widget)
    {
        const QWidget *parent = widget->parentWidget();
        const QPalette inherited = parent ? parent->palette() : QApplication::palette(widget);
        const QPalette palette = withReadableSelection(widget->palette(), inherited);
        if (palette != widget->palette())
            widget->setPalette(palette);
    }
};

} // namespace

void keepSelectionReadable(QWidget *widget)
{
    new ReadableSelection(widget);
}

void announceCheckedRows(QAbstractItemView *view)
{
    QObject::connect(view->model(), &QAbstractItemModel::dataChanged, view,
                     [view](const QModelIndex &first, const QModelIndex &last, const QList<int> &roles) {
                         if (!QAccessible::isActive() || (!roles.isEmpty() && !roles.contains(Qt::CheckStateRole)))
                             return;
                         QAccessibleInterface *list = QAccessible::queryAccessibleInterface(view);
                         QAccessibleTableInterface *table = list ? list->tableInterface() : nullptr;
                         if (!table)
                             return;
                         for (int row = first.row(); row <= last.row(); ++row) {
                             QAccessibleInterface *cell = table->cellAt(row, 0);
                             if (!cell)
                                 continue;
                             QAccessible::State changed;
                             changed.checked = true;
                             QAccessibleStateChangeEvent event(cell, changed);
                             QAccessible::updateAccessibility(&event);
                         }
                     });
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
