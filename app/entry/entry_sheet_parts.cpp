#include "app/entry/entry_sheet_parts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace EntrySheetParts {

QLabel *title(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel *secondaryLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QPushButton *button(const QString &title, QWidget *parent, ButtonStyle style)
{
    auto *button = new QPushButton(title, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    if (style == ButtonStyle::prominent) {
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
    }
    return button;
}

bool activatesCell(const QEvent *event, const QRect &cell)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<const QMouseEvent *>(event);
        return mouse->button() == Qt::LeftButton && cell.contains(mouse->position().toPoint());
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<const QKeyEvent *>(event)->key();
        return key == Qt::Key_Space || key == Qt::Key_Select;
    }
    return false;
}

} // namespace EntrySheetParts
