#include "app/chart/dotted_lines_pace.h"

#include "core/chart/chart_scene.h"

#include <QMetaObject>
#include <QTimer>

#include <memory>
#include <utility>

void routeDottedLinesPaced(ChartSceneCache &cache, QObject *context, std::function<void()> routed)
{
    auto *pace = new QTimer(context);
    pace->setSingleShot(true);
    pace->setInterval(100);
    auto waiting = std::make_shared<bool>(false);
    QObject::connect(pace, &QTimer::timeout, context, [pace, waiting, routed] {
        if (!std::exchange(*waiting, false))
            return;
        pace->start();
        routed();
    });
    // Queued to `context`, so that `routed` runs on its thread, never on the router's.
    cache.routeInBackground([context, pace, waiting, routed] {
        QMetaObject::invokeMethod(
            context,
            [pace, waiting, routed] {
                if (pace->isActive()) {
                    *waiting = true;
                    return;
                }
                pace->start();
                routed();
            },
            Qt::QueuedConnection);
    });
}
