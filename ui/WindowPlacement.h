#pragma once
// A window's place kept between runs: what QWidget::saveGeometry gives, stored under the window's
// settings name, and put back on a screen that is there. A rectangle stored by an earlier version
// under the same name is read once; the window's next save replaces it.

#include "properties/FakemillSettings.h"

class QWidget;

// Puts the window where the settings say it was (before it is first shown); false when nothing
// was stored, and the window keeps its own place.
bool RestorePlacement(QWidget& window, const CFakemillSettings& settings, const settings_key::Placement& key);
// Keeps the window's place for the next run (the settings reach the disk at their next Save).
void SavePlacement(const QWidget& window, CFakemillSettings& settings, const settings_key::Placement& key);
