#pragma once
// Keeps a restored window where the user can reach it: a rectangle saved on a screen that is gone,
// or on a larger desktop, is moved (and shrunk when needed) onto an available screen.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// The rectangle itself when enough of it lies on one of the screens' available areas to grab it,
// else the rectangle moved onto the first screen, no larger than that screen.
QRect KeepOnScreens(const QRect& wanted, const QList<QRect>& availableAreas);
// KeepOnScreens over the application's screens.
QRect VisiblePlacement(const QRect& wanted);

// How far each new window of a kind sits right of and below the last one: a title bar's height.
inline constexpr int kCascadeStep = 28;

// Where a new window's frame goes in the area: a step right of and below the last window of its
// kind (last is that window's frame position), or a step in from the area's top left for the
// first; back to that first place when the frame would leave the area.
QPoint CascadePlacement(const std::optional<QPoint>& last, const QSize& frame, const QRect& area);
