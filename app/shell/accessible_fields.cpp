#include "app/shell/accessible_fields.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

// On Linux Qt reads a combo box's name as its current value, so a screen reader hears the
// choice twice and never the field's label. This reads the name as for any widget (its
// accessible name, else its label's text) and keeps the value as the value.
class LabelledComboAccessible final : public QAccessibleWidget {
public:
    explicit LabelledComboAccessible(QComboBox *combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? combo()->currentText() : QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = combo()->isEditable();
        s.expandable = true;
        s.expanded = combo()->view() && combo()->view()->isVisible();
        return s;
    }
    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << showMenuAction() << pressAction();
    }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction() || action == pressAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox *combo() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *comboFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("QComboBox"))
        return nullptr;
    auto *combo = qobject_cast<QComboBox *>(object);
    return combo ? new LabelledComboAccessible(combo) : nullptr;
}

// A label's text as read: "&&" is one ampersand, a lone "&" marks a mnemonic.
QString withoutMnemonics(const QString &text)
{
    QString read;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        read += text[i];
    }
    return read;
}

} // namespace

void AccessibleFields::install()
{
    // After the application's own factories: the last one installed is asked first.
    static const bool installed = [] {
        QAccessible::installFactory(comboFactory);
        return true;
    }();
    (void)installed;
}

void AccessibleFields::tie(QLabel *label, QWidget *field)
{
    install();
    label->setBuddy(field);
    auto *combo = qobject_cast<QComboBox *>(field);
    if (combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(withoutMnemonics(label->text()));
}

void AccessibleFields::name(QWidget *field, const QString &name)
{
    install();
    field->setAccessibleName(name);
    // A text field's clear button is a button of its own, which would go unnamed.
    if (auto *edit = qobject_cast<QLineEdit *>(field)) {
        for (QToolButton *button : edit->findChildren<QToolButton *>(Qt::FindDirectChildrenOnly))
            button->setAccessibleName(QStringLiteral("Clear"));
    }
    auto *combo = qobject_cast<QComboBox *>(field);
    if (combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
}
