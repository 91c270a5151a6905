#include "ui/WindowKeys.h"

#include <QAction>
#include <QWidget>

QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const QKeySequence& usual) {
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    keys.removeAll(usual);
    keys.prepend(usual);
    return keys;
}

void AddCloseKeys(QWidget& window) {
    auto* close = new QAction(&window);
    close->setObjectName(QStringLiteral("closeWindow"));
    QList<QKeySequence> keys = StandardKeys(QKeySequence::Close, QKeySequence(Qt::CTRL | Qt::Key_W));
    keys.prepend(QKeySequence(Qt::Key_Escape));
    close->setShortcuts(keys);
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, &window, &QWidget::close);
    window.addAction(close);
}
