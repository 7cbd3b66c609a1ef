#pragma once

#include "app/chart/card_chart_surface.h"

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/chart/chart_scene.h"
#include "core/model/print_settings.h"
#include "printing/chart_screen_card.h"
#endif

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

class ChartView;
class QMenu;
class QPalette;
struct ChartPaintStyle;
namespace ChartScreenCard {
struct Look;
struct State;
}
namespace ChartCanvasCard {
struct Toggle;
}

// What the drawing of a chart depends on besides the camera: the same revision draws the
// same picture, so pans and zooms never rebuild anything.
struct ChartCanvasRevision {
    const ChartScene *scene = nullptr; // by identity: the cache hands out one object per chart
    std::optional<std::string> selection;
    ChartPrintSettings settings;
    bool guides = false;
    std::optional<double> guideScale;
    bool canEdit = true;
    bool operator==(const ChartCanvasRevision &) const = default;
};

// The chart of one window on its zoom-and-pan surface: regions, connectors, dotted lines
// and cards drawn by the shared chart painter, with what only the screen has on top (the
// selection, the cards' controls, the reporting badge, the page breaks). Clicks select,
// double clicks edit or expand, the cards' controls and links act on the window's
// ChartView. From the keyboard the arrows select the next card that way (the top card when
// none is selected), Return does what a double click does, and Alt+Down opens the selected
// card's reporting relationships as a click on its badge does; while the chart has the
// focus, a dashed ring marks the selected card. A chart that cannot be built shows why
// instead.
class ChartCanvas : public CardChartSurface {
    Q_OBJECT
public:
    explicit ChartCanvas(ChartView &view, QWidget *parent = nullptr);

    // The screen's look for the shared painter: the window's colours, the wider lines of a
    // display, and a highlighted dotted line that stands out from the others.
    static ChartPaintStyle screenStyle(const QPalette &palette);
    // How cards look on screen: the chart's display toggles in the palette's colours, each
    // text reading at 4.5:1 on every fill its cards may have.
    static ChartScreenCard::Look screenCardLook(const ChartPrintSettings &settings, const QPalette &palette,
                                                ChartScreenCard::ChangeTints tints = ChartScreenCard::ChangeTints::absent);
    // What a screen reader is told of the keys the chart answers: editing only where it can.
    static QString keysDescription(bool canEdit);

    ChartView &view() const { return m_view; }
    const std::shared_ptr<const ChartScene> &scene() const;
    const ChartCanvasRevision &revision() const;

    // The cards in drawing order, for hit tests and assistive technologies.
    int cardCount() const override;
    std::string cardID(int index) const;
    Rect cardFrame(int index) const;
    QString cardLabel(int index) const override;
    // The managers of a card that reports to several.
    QString cardDescription(int index) const override;
    // Index of the card under a chart point, or -1.
    int cardAt(Point point) const;
    // The card's rectangle on the canvas, in widget coordinates.
    QRect cardViewRect(int index) const override;
    bool isCardSelected(int index) const override;
    void pressCard(int index) override;
    // The group's and the branch's toggles, and the reporting badge.
    std::vector<CardButton> cardButtons(int index) const override;
    void pressCardButton(int index, int button) override;
    int cardIndexAt(const QPoint &viewPoint) const override;
    bool showsPageBreaks() const override;

signals:
    // A secondary click on a card; the card's menu is the window's.
    void cardContextMenuRequested(const std::string &cardID, const QPoint &globalPosition);

protected:
    void paintContent(QPainter &painter, const Rect &visible) override;
    void chartClicked(Point point, const QPointF &viewPoint) override;
    void chartDoubleClicked(Point point, const QPointF &viewPoint) override;
    void chartContextMenu(Point point, const QPoint &globalPosition) override;
    int selectedCardIndex() const override;
    std::optional<Rect> selectableFrame(int index) const override;
    int startingCardIndex() const override { return m_startingCard; }
    void selectCard(int index) override;
    void revealCard(int index) override;
    // What a double click on card `index` does: edit it, or open or close its group.
    void openCard(int index) override;
    void showCardDetails(int index) override { showCalloutByKeys(index); }
    // The card's menu, on the card where it shows.
    void showCardMenu(int index) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void scheduleRefresh();
    void refresh();
    void refreshContent();
    // Where the keyboard's ring shows while the chart has the focus, in widget coordinates:
    // around the selected card, or, when none is selected, the card the arrows start from.
    QRect focusRingRect() const;
    // The band of the view a ring drawn along `ring`'s edge covers.
    static QRegion ringRegion(const QRect &ring);
    ChartCanvasRevision currentRevision() const;
    // How many positions a card stands for: 1 unless matching titles were merged into it.
    int64_t positionsBehind(const std::string &cardID) const;
    ChartScreenCard::State cardState(const std::string &id, const Position &position) const;
    ChartScreenCard::Look cardLook() const;
    // The card's layout, made again only when what it depends on has changed (the selection
    // and folded branches do not move anything).
    const ChartScreenCard::Layout &keptLayout(const ChartNode &node, const Position &position,
                                              const ChartScreenCard::State &state, const ChartScreenCard::Look &look);
    std::vector<ChartCanvasCard::Toggle> cardToggles(int index) const;
    void showLinkedSheets(const std::string &cardID, const QPointF &viewPoint);
    void showManagerReference(const Position &position, const QPointF &viewPoint);
    // The reporting relationships of card `index`, with the keyboard in their list; nothing
    // for a card without them.
    void showCalloutByKeys(int index);
    void popUp(QMenu *menu, const QPointF &viewPoint);
    void reportViewport();

    ChartView &m_view;
    std::shared_ptr<const ChartScene> m_scene;
    ChartCanvasRevision m_revision;
    bool m_refreshPending = false;
    QRect m_ringShown; // where the keyboard's ring was drawn last
    int m_startingCard = -1; // where the arrows start with nothing selected
    // The picture of the last chart shown with all its lines before its cards moved.
    struct KeptPicture {
        std::shared_ptr<const ChartScene> scene;
        ChartCanvasRevision revision;
        qint64 palette = 0; // QPalette::cacheKey
        Picture picture;
    };
    std::optional<KeptPicture> m_keptPicture;
    // Card layouts made while painting, by card, with what each was made from: lines that come
    // in batches, pans, selections and edits of other cards repaint the same cards.
    struct KeptLayout {
        Rect frame;
        Position position;
        int64_t count = 1;
        bool hasReports = false;
        std::vector<std::string> linkedSheetNames;
        ChartScreenCard::Layout layout;
    };
    struct KeptLayouts {
        bool hideNames = false;
        bool showPayLevel = false;
        bool showJobTitle = true;
        std::unordered_map<std::string, KeptLayout> cards;
    };
    KeptLayouts m_keptLayouts;
};
