#pragma once

// Small widget helpers shared by the position editor's source files.

#include "app/shell/accessible_fields.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>

namespace PositionEditorWidgets {

inline QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

// A button that Return never presses: the editor decides what Return does.
inline QPushButton *plainButton(const QString &title)
{
    auto *button = new QPushButton(title);
    button->setAutoDefault(false);
    return button;
}

// A label in a fixed column, then the field.
inline QWidget *labelled(const QString &label, QWidget *field)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *text = new QLabel(label);
    text->setMinimumWidth(150);
    AccessibleFields::tie(text, field);
    layout->addWidget(text);
    layout->addWidget(field);
    layout->addStretch();
    return row;
}

// Number fields show numbers in the user's locale (PositionEditorModel reads them).
inline QString decimalText(double value)
{
    return QLocale().toString(value, 'g', QLocale::FloatingPointShortest);
}

inline QLocale wholeNumbers()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

} // namespace PositionEditorWidgets
