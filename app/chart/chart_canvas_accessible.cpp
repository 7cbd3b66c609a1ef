#include "app/chart/chart_canvas_accessible.h"

#include "app/chart/chart_canvas.h"
#include "app/chart/chart_view.h"
#include "app/chart/page_break_overlay.h"

#include <QAccessibleActionInterface>
#include <QPointer>

#include <algorithm>

namespace {

// A childless element drawn on the canvas; its parent is the canvas's own interface.
class CanvasLeafAccessible : public QAccessibleInterface {
public:
    explicit CanvasLeafAccessible(ChartCanvas *canvas) : m_canvas(canvas) {}

    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_canvas ? m_canvas->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_canvas.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}

protected:
    QPointer<ChartCanvas> m_canvas;
};

// One card: a button that reads its label and selects the card when pressed.
class CardAccessible final : public CanvasLeafAccessible, public QAccessibleActionInterface {
public:
    CardAccessible(ChartCanvas *canvas, int index) : CanvasLeafAccessible(canvas), m_index(index) {}

    bool isValid() const override { return m_canvas && m_index < m_canvas->cardCount(); }
    QAccessible::Role role() const override { return QAccessible::Button; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return QString();
        return m_canvas->cardLabel(m_index);
    }

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect local = m_canvas->cardViewRect(m_index);
        return QRect(m_canvas->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.selectable = true;
        s.selected = isValid() && m_canvas->revision().selection == m_canvas->cardID(m_index);
        s.invisible = !isValid();
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && isValid())
            m_canvas->view().selectChartPerson(m_canvas->cardID(m_index));
    }

private:
    int m_index;
};

// The page-break overlay: a picture with a name and nothing to press.
class PageBreaksAccessible final : public CanvasLeafAccessible {
public:
    explicit PageBreaksAccessible(ChartCanvas *canvas) : CanvasLeafAccessible(canvas) {}

    bool isValid() const override { return m_canvas; }
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? QString::fromLatin1(PageBreakOverlay::accessibleName) : QString();
    }
    QRect rect() const override
    {
        return m_canvas ? QRect(m_canvas->mapToGlobal(QPoint()), m_canvas->size()) : QRect();
    }
    QAccessible::State state() const override { return {}; }
};

QAccessibleInterface *canvasFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("ChartCanvas"))
        return nullptr;
    auto *canvas = qobject_cast<ChartCanvas *>(object);
    return canvas ? new ChartCanvasAccessible(canvas) : nullptr;
}

} // namespace

ChartCanvasAccessible::ChartCanvasAccessible(ChartCanvas *canvas) : QAccessibleWidget(canvas, QAccessible::Canvas) {}

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

void ChartCanvasAccessible::cardsChanged(ChartCanvas *canvas)
{
    auto *self = static_cast<ChartCanvasAccessible *>(QAccessible::queryAccessibleInterface(canvas));
    if (!self)
        return;
    self->releaseChildren();
    QAccessibleEvent event(canvas, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

void ChartCanvasAccessible::releaseChildren()
{
    for (QAccessibleInterface *child : m_children) {
        if (child)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(child));
    }
    m_children.clear();
}

ChartCanvas *ChartCanvasAccessible::canvas() const
{
    return static_cast<ChartCanvas *>(widget());
}

int ChartCanvasAccessible::childCount() const
{
    return canvas()->cardCount() + (canvas()->view().isShowingPageBreaks() ? 1 : 0);
}

QAccessibleInterface *ChartCanvasAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (size_t(index) >= m_children.size())
        m_children.resize(size_t(childCount()), nullptr);
    QAccessibleInterface *&made = m_children[size_t(index)];
    if (!made) {
        if (index < canvas()->cardCount())
            made = new CardAccessible(canvas(), index);
        else
            made = new PageBreaksAccessible(canvas());
        // Registered, so that Qt owns it and hands out one id per child.
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
    const QPoint local = canvas()->mapFromGlobal(QPoint(x, y));
    const Point point = canvas()->displayedCamera().chartPoint(Point{double(local.x()), double(local.y())});
    const int index = canvas()->cardAt(point);
    return index < 0 ? nullptr : child(index);
}
