#pragma once

#include <QFont>
#include <QLabel>

// The smaller type of captions and second lines.
inline QFont captionFont(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

// A wrapping caption line in the secondary colour.
inline QLabel *makeCaption(const QString &text, QWidget *parent)
{
    auto *caption = new QLabel(text, parent);
    caption->setWordWrap(true);
    caption->setForegroundRole(QPalette::PlaceholderText);
    caption->setFont(captionFont(caption->font()));
    return caption;
}
