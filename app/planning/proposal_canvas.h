#pragma once

#include "app/chart/card_chart_surface.h"

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/chart/chart_scene.h"
#include "core/document/organization_archive.h"
#include "core/model/print_settings.h"
#endif

#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class QLabel;
class QPushButton;

// The proposal chart on its zoom-and-pan surface, drawn by the shared chart painter with the
// screen's cards, which carry the change tints and badges. It lays out the whole organization
// it is given, nothing focused, in a scene cache of its own whose dotted lines follow the
// cards from a background router. It never changes the organization; a click on a card asks
// for that card's selection, and so do pressing a card with a screen reader and the arrow
// keys, as in the chart window. The reporting badge opens its list by a click, and the
// selected card's by Alt+Down, the Menu key or Shift+F10.
class ProposalChartSurface : public CardChartSurface {
    Q_OBJECT
public:
    static constexpr double fitPadding = 20;
    static constexpr double maximumZoom = 3.0;
    static constexpr double minimumZoom = 0.01;
    static inline const QString unavailableText = QStringLiteral("Unable to lay out proposal");

    ProposalChartSurface(std::shared_ptr<DottedRouteStore> routeStore, QWidget *parent = nullptr);

    // A new object is a new chart; the same object is ignored. Fits after a change.
    void setOrganization(std::shared_ptr<const Organization> organization);
    // As setOrganization, given the organization alone in an archive, as the layout takes it.
    void setChart(std::shared_ptr<const OrganizationArchive> chart);
    // Compared by value; fits after a change.
    void setSettings(const ChartPrintSettings &settings);
    void setSelection(const std::optional<std::string> &id);

    // Null while the chart cannot be laid out.
    const std::shared_ptr<const ChartScene> &scene() const { return m_scene; }
    double zoom() const { return m_zoom; }
    Size pan() const { return m_pan; }
    void zoomIn();
    void zoomOut();
    // Fits the whole chart with 20 points around it; nothing without a scene or room.
    void fit();

    // The card under a chart point, or nothing.
    std::optional<std::string> cardAt(Point point) const;

    // The cards for assistive technologies, in drawing order. A card's one button is its
    // reporting badge.
    int cardCount() const override;
    QString cardLabel(int index) const override;
    // The card's change in the legend's words ("Added", "Deleted" or "Moved / edited"), and
    // the managers of a card that reports to several, one line each.
    QString cardDescription(int index) const override;
    QRect cardViewRect(int index) const override;
    bool isCardSelected(int index) const override;
    void pressCard(int index) override;
    std::vector<CardButton> cardButtons(int index) const override;
    void pressCardButton(int index, int button) override;
    int cardIndexAt(const QPoint &viewPoint) const override;

    // The legend's word for a change.
    static QString changeText(ProposalChangeKind kind);

    static double zoomedIn(double zoom);
    static double zoomedOut(double zoom);

signals:
    // A click, an arrow key or a screen reader's press asks for the card's selection.
    void cardClicked(const std::string &id);

protected:
    void paintContent(QPainter &painter, const Rect &visible) override;
    void chartClicked(Point point, const QPointF &viewPoint) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    int selectedCardIndex() const override;
    std::optional<Rect> selectableFrame(int index) const override;
    void selectCard(int index) override;
    void revealCard(int index) override;
    void showCardDetails(int index) override;
    // The card has no menu here: its reporting relationships are all there is to open.
    void showCardMenu(int index) override { showCardDetails(index); }

private:
    void rebuild();
    void setCamera(double zoom, Size pan);
    // The card that shows the selected position, which may stand for several.
    std::optional<std::string> selectedCard() const;
    // Index of the card under a chart point, or -1.
    int cardIndex(Point point) const;
    // Index of the card with this id, or -1.
    int cardIndex(const std::optional<std::string> &id) const;
    // Where the reporting badge of card `index` stands, when it has one.
    std::optional<Rect> calloutBadge(int index) const;
    // Where the focus ring of card `index` is drawn, in chart points.
    Rect ringArea(int index) const;

    ChartSceneCache m_cache;
    std::shared_ptr<const Organization> m_organization;
    std::shared_ptr<const OrganizationArchive> m_chart; // never null
    uint64_t m_chartRevision = 0; // counts the charts given, so the cache need not compare them
    ChartPrintSettings m_settings;
    ChartPrintSettings m_drawnSettings; // those of the scene drawn
    std::optional<std::string> m_selection;
    std::shared_ptr<const ChartScene> m_scene;
    double m_zoom = 1;
    Size m_pan;
    std::optional<Size> m_viewport; // absent until first shown
};

// "Proposal chart" with the "−", "Fit" and "+" buttons above the surface.
class ProposalCanvas : public QWidget {
    Q_OBJECT
public:
    ProposalCanvas(std::shared_ptr<DottedRouteStore> routeStore, QWidget *parent = nullptr);
    ProposalChartSurface &surface() const { return *m_surface; }
    QPushButton *zoomOutButton() const { return m_zoomOut; }
    QPushButton *fitButton() const { return m_fit; }
    QPushButton *zoomInButton() const { return m_zoomIn; }

private:
    ProposalChartSurface *m_surface;
    QPushButton *m_zoomOut;
    QPushButton *m_fit;
    QPushButton *m_zoomIn;
};
