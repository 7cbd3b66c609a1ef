#pragma once

#include <functional>

class ChartSceneCache;
class QObject;

// Routing a large chart's dotted lines can take seconds: the cards show at once and the
// lines follow as they are routed. Sets `cache` to route in the background and calls
// `routed` on `context`'s thread when more lines are done, at most about ten times a second.
void routeDottedLinesPaced(ChartSceneCache &cache, QObject *context, std::function<void()> routed);
