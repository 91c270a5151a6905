#include "ui/WindowPlacement.h"

#include "app/ScreenPlacement.h"

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
