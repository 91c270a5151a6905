#pragma once
// Keeps a restored window where the user can reach it: a rectangle saved on a screen that is gone,
// or on a larger desktop, is moved (and shrunk when needed) onto an available screen.

#include <QList>
#include <QRect>

// The rectangle itself when enough of it lies on one of the screens' available areas to grab it,
// else the rectangle moved onto the first screen, no larger than that screen.
QRect KeepOnScreens(const QRect& wanted, const QList<QRect>& availableAreas);
// KeepOnScreens over the application's screens.
QRect VisiblePlacement(const QRect& wanted);
