#include "app/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace {

// How much of the window's top edge must be on a screen to count as reachable: enough to grab the
// title bar with the mouse.
constexpr int kGrabWidth = 48;
constexpr int kGrabHeight = 8;

} // namespace

QRect KeepOnScreens(const QRect& wanted, const QList<QRect>& availableAreas) {
    if (availableAreas.isEmpty() || !wanted.isValid()) {
        return wanted;
    }
    const QRect topEdge(wanted.left(), wanted.top(), wanted.width(), std::min(wanted.height(), kGrabHeight));
    for (const QRect& area : availableAreas) {
        const QRect visible = area.intersected(topEdge);
        if (visible.width() >= std::min(kGrabWidth, wanted.width()) && visible.height() > 0) {
            return wanted;
        }
    }
    const QRect& area = availableAreas.constFirst();
    QRect placed(wanted.topLeft(), wanted.size().boundedTo(area.size()));
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() - placed.height() + 1));
    return placed;
}

QRect VisiblePlacement(const QRect& wanted) {
    QList<QRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        areas << primary->availableGeometry();
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) {
            areas << screen->availableGeometry();
        }
    }
    return KeepOnScreens(wanted, areas);
}
