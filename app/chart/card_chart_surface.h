#pragma once

#include "app/chart/chart_canvas_accessible.h"
#include "app/chart/chart_navigation_surface.h"

#include <QString>

#include <functional>
#include <optional>

struct ReportingCallout;

// A chart of cards on the zoom-and-pan surface that the keyboard walks one way in every
// window: the arrows select the next card that way (the top card when none is selected),
// brought into sight and heard by a screen reader; Return opens the selected card; Alt+Down
// opens what hangs below it (its reporting relationships), and the Menu key and Shift+F10
// its menu. What selecting, opening and showing mean is the subclass's.
class CardChartSurface : public ChartNavigationSurface, public AccessibleCardCanvas {
    Q_OBJECT
public:
    using ChartNavigationSurface::ChartNavigationSurface;

    // The first words of a card chart's accessible description: what nothing on screen shows.
    static inline const QString selectionKeysText =
        QStringLiteral("Each card is a button that selects its person. Arrow keys: select the next card that way.");

    // The top card, leftmost first, where a reader of the chart starts; -1 without cards.
    // One pass over the cards.
    static int topCard(int count, const std::function<std::optional<Rect>(int)> &frameOf);

protected:
    // Index of the selected card, or -1.
    virtual int selectedCardIndex() const = 0;
    // The frame of card `index`, or nothing for a node that draws no card.
    virtual std::optional<Rect> selectableFrame(int index) const = 0;
    // Where the arrows start with nothing selected.
    virtual int startingCardIndex() const;
    // Selects card `index` as a click does.
    virtual void selectCard(int index) = 0;
    // Brings card `index`, not in sight, into it.
    virtual void revealCard(int index) = 0;
    // Return on the selected card; nothing unless the subclass says.
    virtual void openCard(int) {}
    // Alt+Down on the selected card.
    virtual void showCardDetails(int index) = 0;
    // The Menu key and Shift+F10 on the selected card.
    virtual void showCardMenu(int index) = 0;

    // The reporting relationships of a card, below the part of its badge (chart points) in
    // sight, or mid-chart when the badge is out of sight. Opened by keys, the keyboard goes
    // into their list, which a screen reader then reads; Escape gives it back to the chart.
    enum class Opened { byPointer, byKeys };
    void showCallout(const ReportingCallout &callout, bool hideNames, const Rect &badge, Opened opened);

    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void selectToward(int key);
};
