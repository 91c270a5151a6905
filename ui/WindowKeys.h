#pragma once
// Keyboard shortcuts as desktop users expect them: the platform's standard keys, always with the
// key most desktops use, and the keys that close a tool or output window (Esc, Ctrl+W).

#include <QKeySequence>
#include <QList>

class QWidget;

// The platform's keys for a standard action with the usual one first, also where the platform
// theme has none (the Quit of a bare X11 session).
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const QKeySequence& usual);

// Adds Esc and Ctrl+W to the window; each closes it through its normal close path.
void AddCloseKeys(QWidget& window);
