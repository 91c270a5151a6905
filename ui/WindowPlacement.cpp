#include "ui/WindowPlacement.h"

#include "app/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

bool RestorePlacement(QWidget& window, const CFakemillSettings& settings,
                      const settings_key::Placement& key) {
    const CStoredPlacement stored = settings.Get(key);
    if (!stored.geometry.isEmpty() && window.restoreGeometry(stored.geometry)) {
        return true;
    }
    if (stored.oldRect) {
        const KSRect& rect = *stored.oldRect;
        window.setGeometry(
            VisiblePlacement(QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1))));
        return true;
    }
    return false;
}

void SavePlacement(const QWidget& window, CFakemillSettings& settings, const settings_key::Placement& key) {
    settings.Set(key, window.saveGeometry());
}

void PlaceCascaded(QWidget& window, const QWidget* last) {
    QScreen* screen =
        last != nullptr && last->screen() != nullptr ? last->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    // A top-level widget's pos() is where its frame is, title bar included.
    const std::optional<QPoint> lastPlace =
        last != nullptr ? std::optional<QPoint>(last->pos()) : std::nullopt;
    window.move(CascadePlacement(lastPlace, window.frameGeometry().size(), screen->availableGeometry()));
}
