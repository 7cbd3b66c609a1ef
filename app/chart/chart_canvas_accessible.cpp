#include "app/chart/chart_canvas_accessible.h"

#include "app/chart/page_break_overlay.h"

#include <QAccessibleActionInterface>
#include <QPointer>
#include <QWidget>

#include <algorithm>

namespace {

// Interfaces made on demand are registered, so that Qt owns them and hands out one id
// each; releasing one deletes it.
void release(std::vector<QAccessibleInterface *> &made)
{
    for (QAccessibleInterface *child : made) {
        if (child)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(child));
    }
    made.clear();
}

QRect globalRect(const QWidget *widget, const QRect &local)
{
    return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

// An element drawn on the canvas, with no object of its own.
class DrawnAccessible : public QAccessibleInterface {
public:
    DrawnAccessible(QWidget *widget, AccessibleCardCanvas *cards) : m_widget(widget), m_cards(cards) {}

    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_widget ? m_widget->window()->windowHandle() : nullptr; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}

protected:
    // The cards are the widget's: valid exactly while it lives.
    AccessibleCardCanvas *cards() const { return m_widget ? m_cards : nullptr; }

    QPointer<QWidget> m_widget;
    AccessibleCardCanvas *m_cards;
};

// A button that does one thing when pressed.
class PressableAccessible : public DrawnAccessible, public QAccessibleActionInterface {
public:
    using DrawnAccessible::DrawnAccessible;

    QAccessible::Role role() const override { return QAccessible::Button; }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && isValid())
            press();
    }

protected:
    virtual void press() = 0;
};

// A button on a card: the group's or the branch's toggle.
class CardButtonAccessible final : public PressableAccessible {
public:
    CardButtonAccessible(QWidget *widget, AccessibleCardCanvas *cards, QAccessibleInterface *card, int cardIndex,
                         int index)
        : PressableAccessible(widget, cards), m_card(card), m_cardIndex(cardIndex), m_index(index)
    {
    }

    bool isValid() const override { return button().has_value(); }
    QAccessibleInterface *parent() const override { return m_card; }
    QString text(QAccessible::Text t) const override
    {
        const std::optional<AccessibleCardCanvas::CardButton> shown = button();
        return t == QAccessible::Name && shown ? shown->name : QString();
    }
    QRect rect() const override
    {
        const std::optional<AccessibleCardCanvas::CardButton> shown = button();
        return shown ? globalRect(m_widget, shown->viewRect) : QRect();
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.invisible = !isValid();
        return s;
    }

private:
    // Read each time: a toggle's name follows the branch it folds.
    std::optional<AccessibleCardCanvas::CardButton> button() const
    {
        if (!cards() || m_cardIndex >= cards()->cardCount())
            return std::nullopt;
        std::vector<AccessibleCardCanvas::CardButton> buttons = cards()->cardButtons(m_cardIndex);
        if (m_index >= int(buttons.size()))
            return std::nullopt;
        return std::move(buttons[size_t(m_index)]);
    }
    void press() override { cards()->pressCardButton(m_cardIndex, m_index); }

    QAccessibleInterface *m_card; // deletes this button before it goes
    int m_cardIndex;
    int m_index;
};

// One card: a button that reads its label and does what a click does, holding the buttons
// drawn on it.
class CardAccessible final : public PressableAccessible {
public:
    CardAccessible(QWidget *widget, AccessibleCardCanvas *cards, int index)
        : PressableAccessible(widget, cards), m_index(index)
    {
    }
    ~CardAccessible() override { release(m_children); }

    bool isValid() const override { return cards() && m_index < cards()->cardCount(); }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_widget.data()); }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return cards()->cardLabel(m_index);
        return t == QAccessible::Description ? cards()->cardDescription(m_index) : QString();
    }
    QRect rect() const override { return isValid() ? globalRect(m_widget, cards()->cardViewRect(m_index)) : QRect(); }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.selectable = true;
        s.selected = isValid() && cards()->isCardSelected(m_index);
        s.invisible = !isValid();
        return s;
    }

    int childCount() const override { return isValid() ? int(cards()->cardButtons(m_index).size()) : 0; }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (size_t(index) >= m_children.size())
            m_children.resize(size_t(index) + 1, nullptr);
        QAccessibleInterface *&made = m_children[size_t(index)];
        if (!made) {
            made = new CardButtonAccessible(m_widget, m_cards, const_cast<CardAccessible *>(this), m_index, index);
            QAccessible::registerAccessibleInterface(made);
        }
        return made;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto found = std::find(m_children.begin(), m_children.end(), child);
        return found == m_children.end() ? -1 : int(found - m_children.begin());
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            if (child(i)->rect().contains(x, y))
                return child(i);
        }
        return nullptr;
    }

private:
    void press() override { cards()->pressCard(m_index); }

    int m_index;
    mutable std::vector<QAccessibleInterface *> m_children;
};

// The page-break overlay: a picture with a name and nothing to press.
class PageBreaksAccessible final : public DrawnAccessible {
public:
    using DrawnAccessible::DrawnAccessible;

    bool isValid() const override { return m_widget; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_widget.data()); }
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? QString::fromLatin1(PageBreakOverlay::accessibleName) : QString();
    }
    QRect rect() const override { return m_widget ? globalRect(m_widget, m_widget->rect()) : QRect(); }
    QAccessible::State state() const override { return {}; }
};

QAccessibleInterface *canvasFactory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    auto *cards = dynamic_cast<AccessibleCardCanvas *>(object);
    return widget && cards ? new ChartCanvasAccessible(widget, cards) : nullptr;
}

} // namespace

ChartCanvasAccessible::ChartCanvasAccessible(QWidget *widget, AccessibleCardCanvas *cards)
    : QAccessibleWidget(widget, QAccessible::Canvas), m_cards(cards)
{
}

ChartCanvasAccessible::~ChartCanvasAccessible()
{
    releaseChildren();
}

void ChartCanvasAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(canvasFactory);
        return true;
    }();
    (void)installed;
}

void ChartCanvasAccessible::cardsChanged(QWidget *canvas)
{
    auto *self = dynamic_cast<ChartCanvasAccessible *>(QAccessible::queryAccessibleInterface(canvas));
    if (!self)
        return;
    self->releaseChildren();
    QAccessibleEvent event(canvas, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

void ChartCanvasAccessible::releaseChildren()
{
    release(m_children);
}

int ChartCanvasAccessible::childCount() const
{
    return m_cards->cardCount() + (m_cards->showsPageBreaks() ? 1 : 0);
}

QAccessibleInterface *ChartCanvasAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (size_t(index) >= m_children.size())
        m_children.resize(size_t(childCount()), nullptr);
    QAccessibleInterface *&made = m_children[size_t(index)];
    if (!made) {
        if (index < m_cards->cardCount())
            made = new CardAccessible(widget(), m_cards, index);
        else
            made = new PageBreaksAccessible(widget(), m_cards);
        QAccessible::registerAccessibleInterface(made);
    }
    return made;
}

int ChartCanvasAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const auto found = std::find(m_children.begin(), m_children.end(), child);
    return found == m_children.end() ? -1 : int(found - m_children.begin());
}

QAccessibleInterface *ChartCanvasAccessible::childAt(int x, int y) const
{
    const int index = m_cards->cardIndexAt(widget()->mapFromGlobal(QPoint(x, y)));
    return index < 0 ? nullptr : child(index);
}
