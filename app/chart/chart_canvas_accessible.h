#pragma once

#include <QAccessibleWidget>

#include <vector>

class ChartCanvas;

// The chart canvas for assistive technologies: one button per card, named with the card's
// spoken label, whose press selects the card; and, while page breaks show, one graphic
// that names them. The canvas draws its cards itself, so these children stand in for
// widgets it does not have.
class ChartCanvasAccessible final : public QAccessibleWidget {
public:
    explicit ChartCanvasAccessible(ChartCanvas *canvas);
    ~ChartCanvasAccessible() override;

    // Registers the factory that gives every ChartCanvas this interface; once per process.
    static void install();
    // The cards changed: children made for the old ones are released.
    static void cardsChanged(ChartCanvas *canvas);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;

    ChartCanvas *canvas() const;

private:
    void releaseChildren();

    mutable std::vector<QAccessibleInterface *> m_children; // made on demand, one per index
};
