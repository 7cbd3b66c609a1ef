#pragma once

// What a screen reader hears of a window's controls, read through the accessibility tree.

#include <QAccessible>
#include <QStringList>
#include <QWidget>

#include <vector>

namespace AppTest {

inline bool isField(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
        return true;
    default:
        return false;
    }
}

inline bool isControl(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return isField(role);
    }
}

// Whether Tab stops at `object`: a shown, enabled widget that takes the focus itself.
inline bool isTabStop(const QObject *object)
{
    const auto *widget = qobject_cast<const QWidget *>(object);
    return widget && widget->isVisible() && widget->isEnabled() && !widget->focusProxy()
        && (widget->focusPolicy() & Qt::TabFocus);
}

// The shown controls of `window` a screen reader would announce wrongly: one with no name,
// or a field whose name is only its current value, and any Tab stop with no name (a pane
// that draws nothing is heard as an empty filler). Each as "<role> '<name>' (<class>)".
inline QStringList unnamedControls(QWidget *window)
{
    QStringList faults;
    std::vector<QAccessibleInterface *> pending{QAccessible::queryAccessibleInterface(window)};
    while (!pending.empty()) {
        QAccessibleInterface *node = pending.back();
        pending.pop_back();
        if (!node || !node->isValid() || node->state().invisible)
            continue;
        const QString name = node->text(QAccessible::Name).trimmed();
        const QString value = node->text(QAccessible::Value).trimmed();
        const QAccessible::Role role = node->role();
        const bool nameless = name.isEmpty() && (isControl(role) || isTabStop(node->object()));
        if (nameless || (isField(role) && !value.isEmpty() && name == value)) {
            const QObject *object = node->object();
            faults.append(QStringLiteral("%1 '%2' (%3 %4)")
                              .arg(int(role))
                              .arg(name, object ? QString::fromLatin1(object->metaObject()->className()) : QString(),
                                   object ? object->objectName() : QString()));
        }
        for (int i = 0; i < node->childCount(); ++i)
            pending.push_back(node->child(i));
    }
    return faults;
}

} // namespace AppTest
