#include "app/shell/accessible_fields.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

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

void installComboFactory()
{
    QAccessible::installFactory(comboFactory);
}

} // namespace

// Before any window asks for its interfaces.
Q_COREAPP_STARTUP_FUNCTION(installComboFactory)

void AccessibleFields::tie(QLabel *label, QWidget *field)
{
    label->setBuddy(field);
    auto *combo = qobject_cast<QComboBox *>(field);
    if (combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(withoutMnemonics(label->text()));
}

void AccessibleFields::name(QWidget *field, const QString &name)
{
    field->setAccessibleName(name);
    auto *combo = qobject_cast<QComboBox *>(field);
    if (combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
}
