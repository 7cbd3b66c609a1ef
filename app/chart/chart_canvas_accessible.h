#pragma once

#include <QAccessibleWidget>
#include <QRect>
#include <QString>

#include <vector>

// A canvas that draws chart cards itself (the chart window's and the proposal chart) and
// tells assistive technologies what it drew: the cards, the buttons on them and whether
// page breaks show. Indices are the cards' drawing order.
class AccessibleCardCanvas {
public:
    // A button drawn on a card, such as the group's or the branch's toggle.
    struct CardButton {
        QString name;
        QRect viewRect; // on the canvas, in widget coordinates
    };

    virtual int cardCount() const = 0;
    virtual QString cardLabel(int index) const = 0;
    // More than the label says, such as a proposal card's change; empty when nothing.
    virtual QString cardDescription(int) const { return {}; }
    virtual QRect cardViewRect(int index) const = 0;
    virtual bool isCardSelected(int index) const = 0;
    // What a click on the card does.
    virtual void pressCard(int index) = 0;
    virtual std::vector<CardButton> cardButtons(int index) const = 0;
    virtual void pressCardButton(int index, int button) = 0;
    // The card under a point of the canvas, or -1.
    virtual int cardIndexAt(const QPoint &viewPoint) const = 0;
    virtual bool showsPageBreaks() const { return false; }

protected:
    ~AccessibleCardCanvas() = default;
};

// A card canvas for assistive technologies: one button per card, named with the card's
// spoken label, whose press does what a click does, holding one button per control on the
// card; and, while page breaks show, one graphic that names them. The canvas draws its
// cards itself, so these children stand in for widgets it does not have.
class ChartCanvasAccessible final : public QAccessibleWidget {
public:
    ChartCanvasAccessible(QWidget *widget, AccessibleCardCanvas *cards);
    ~ChartCanvasAccessible() override;

    // Registers the factory that gives every AccessibleCardCanvas widget this interface;
    // once per process.
    static void install();
    // The cards changed: children made for the old ones are released.
    static void cardsChanged(QWidget *canvas);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;

private:
    void releaseChildren();

    AccessibleCardCanvas *m_cards;
    mutable std::vector<QAccessibleInterface *> m_children; // made on demand, one per index
};
