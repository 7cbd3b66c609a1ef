#pragma once

// What a screen reader is told, as Qt sends it: each accessibility event while a recorder
// lives, with its object and the object's name as the event left it.

#include <QAccessible>
#include <QPointer>
#include <QString>

#include <vector>

// Qt tells a screen reader nothing, and no handler either, while none listens; the test
// platform has no bridge to say one does, so its accessibility object (Qt's plain one, which
// the offscreen platform keeps) is told directly. Qt installs no header for these: the three
// members declared are all that is used, each exported by Qt's own library.
class QPlatformAccessibility {
public:
    void setActive(bool active);
};
class QPlatformIntegration {
public:
    QPlatformAccessibility *accessibility() const;
};
class QGuiApplicationPrivate {
public:
    static QPlatformIntegration *platform_integration;
};

namespace AppTest {

inline void setScreenReaderListening(bool listening)
{
    if (QPlatformIntegration *platform = QGuiApplicationPrivate::platform_integration)
        platform->accessibility()->setActive(listening);
}

struct HeardEvent {
    QAccessible::Event type;
    QPointer<QObject> object;
    int child = -1;
    QString name;
};

// One at a time: Qt keeps a single handler.
class HeardEvents {
public:
    HeardEvents()
    {
        s_current = this;
        setScreenReaderListening(true);
        m_previous = QAccessible::installUpdateHandler(&HeardEvents::record);
    }
    ~HeardEvents()
    {
        QAccessible::installUpdateHandler(m_previous);
        setScreenReaderListening(false);
        s_current = nullptr;
    }
    HeardEvents(const HeardEvents &) = delete;
    HeardEvents &operator=(const HeardEvents &) = delete;

    const std::vector<HeardEvent> &events() const { return m_events; }
    void clear() { m_events.clear(); }

    // The events of `type` about `object` (as a whole, or one of its children).
    std::vector<HeardEvent> of(QAccessible::Event type, const QObject *object = nullptr) const
    {
        std::vector<HeardEvent> found;
        for (const HeardEvent &event : m_events) {
            if (event.type == type && (!object || event.object == object))
                found.push_back(event);
        }
        return found;
    }

private:
    static void record(QAccessibleEvent *event)
    {
        if (!s_current)
            return;
        HeardEvent heard{event->type(), event->object(), event->child(), QString()};
        if (QAccessibleInterface *iface = event->accessibleInterface(); iface && iface->isValid())
            heard.name = iface->text(QAccessible::Name);
        s_current->m_events.push_back(heard);
    }

    static inline HeardEvents *s_current = nullptr;
    QAccessible::UpdateHandler m_previous = nullptr;
    std::vector<HeardEvent> m_events;
};

} // namespace AppTest
