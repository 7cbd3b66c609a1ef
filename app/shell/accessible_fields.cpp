#include "app/shell/accessible_fields.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTextDocumentFragment>
#include <QToolButton>

namespace {

// On Linux Qt reads a combo box's name as its current value, so a screen reader hears the
// choice twice and never the field's label. This is Qt's own combo box otherwise: its
// children are the list of choices, whose selected item is the value a screen reader reads
// (the bridge sends no text value of a combo box), and the text field of an editable one.
class LabelledComboAccessible final : public QAccessibleWidget {
public:
    explicit LabelledComboAccessible(QComboBox *combo) : QAccessibleWidget(combo, QAccessible::ComboBox)
    {
        // Qt selects the choice in the list only when the list opens; until then the list
        // would carry no value. A choice set with signals blocked is selected when the list
        // is next asked for.
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [combo] { selectChoice(combo); });
    }

    int childCount() const override { return combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface *child(int index) const override
    {
        if (index == 0) {
            selectChoice(combo());
            return QAccessible::queryAccessibleInterface(combo()->view());
        }
        if (index == 1 && combo()->isEditable())
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child && child->object() == combo()->view())
            return 0;
        if (child && combo()->isEditable() && child->object() == combo()->lineEdit())
            return 1;
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        QLineEdit *edit = combo()->isEditable() ? combo()->lineEdit() : nullptr;
        return edit && QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size()).contains(x, y) ? child(1) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Value)
            return QAccessibleWidget::text(t);
        return combo()->isEditable() ? combo()->lineEdit()->text() : combo()->currentText();
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
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (combo()->view()->isVisible())
            combo()->hidePopup();
        else
            combo()->showPopup();
    }

private:
    QComboBox *combo() const { return static_cast<QComboBox *>(widget()); }

    // Selects without making the choice the list's current item, which would report it as
    // highlighted.
    static void selectChoice(QComboBox *combo)
    {
        QItemSelectionModel *selection = combo->view()->selectionModel();
        const QModelIndex choice =
            combo->model()->index(combo->currentIndex(), combo->modelColumn(), combo->rootModelIndex());
        if (!selection || (choice.isValid() && selection->selectedIndexes() == QModelIndexList{choice}))
            return;
        if (choice.isValid())
            selection->select(choice, QItemSelectionModel::ClearAndSelect);
        else
            selection->clearSelection();
    }
};

QAccessibleInterface *comboFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("QComboBox"))
        return nullptr;
    auto *combo = qobject_cast<QComboBox *>(object);
    return combo ? new LabelledComboAccessible(combo) : nullptr;
}

constexpr char windowProperty[] = "vantrelReadAsWindow";
constexpr char announcedProperty[] = "vantrelAnnounced";

// A line standing in for a dialog. The bridge carries no alert event, but a notification
// coming into sight is read out: Qt says so as any widget shows, and setMessage says so
// again for a new text.
class AnnouncedLineAccessible final : public QAccessibleWidget {
public:
    explicit AnnouncedLineAccessible(QLabel *line) : QAccessibleWidget(line, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !widget()->accessibleName().isEmpty())
            return QAccessibleWidget::text(t);
        const auto *line = static_cast<const QLabel *>(widget());
        const bool rich = line->textFormat() == Qt::RichText
            || (line->textFormat() == Qt::AutoText && Qt::mightBeRichText(line->text()));
        return rich ? QTextDocumentFragment::fromHtml(line->text()).toPlainText() : line->text();
    }
};

QAccessibleInterface *announcedFactory(const QString &, QObject *object)
{
    auto *line = qobject_cast<QLabel *>(object);
    if (!line || !line->property(announcedProperty).toBool())
        return nullptr;
    return new AnnouncedLineAccessible(line);
}

// A window made of a plain widget would be announced as a nameless filler.
QAccessibleInterface *windowFactory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget || !widget->property(windowProperty).toBool())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
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
        QAccessible::installFactory(windowFactory);
        QAccessible::installFactory(announcedFactory);
        return true;
    }();
    (void)installed;
}

void AccessibleFields::readAsWindow(QWidget *window)
{
    install();
    window->setProperty(windowProperty, true);
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

void AccessibleFields::announce(QLabel *line)
{
    install();
    line->setProperty(announcedProperty, true);
}

void AccessibleFields::setMessage(QLabel *line, const QString &text)
{
    if (line->text() == text)
        return;
    line->setText(text);
    announceAgain(line);
}

void AccessibleFields::announceAgain(QLabel *line)
{
    // Out of sight it is heard when it shows, as Qt tells of every widget that shows.
    if (line->text().isEmpty() || !line->isVisible())
        return;
    QAccessibleEvent shown(line, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

void AccessibleFields::tell(QLabel *line, const QString &text)
{
    if (line->text() != text)
        setMessage(line, text);
    else
        announceAgain(line);
}

