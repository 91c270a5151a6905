#include "ui/KSDropTarget.h"

#include "support/Delivery.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

CKSDropTarget::CKSDropTarget(QWidget* target, std::function<void(const QStringList&)> dropped)
    : QObject(target), m_dropped(std::move(dropped)) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

QStringList CKSDropTarget::PathsOf(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr) {
        return paths;
    }
    // A file manager offers the files as URLs and often their names as text as well: the text
    // would make one bogus entry of all the names, so files win.
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            paths << url.toLocalFile();
        }
    }
    if (paths.isEmpty() && data->hasText() && !data->text().isEmpty()) {
        paths << data->text();
    }
    return paths;
}

namespace {

// Shift is looked at on every move and again at the drop: its state at the drop decides.
bool Takes(const QDropEvent& event) {
    return !event.modifiers().testFlag(Qt::ShiftModifier) &&
           !CKSDropTarget::PathsOf(event.mimeData()).isEmpty();
}

} // namespace

bool CKSDropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* move = static_cast<QDragMoveEvent*>(event);
        // A drag that brings paths is taken in even with Shift held, or its drop would never arrive
        // when Shift is let go; each move shows whether a drop there would count.
        const bool enter = event->type() == QEvent::DragEnter;
        if (enter ? !PathsOf(move->mimeData()).isEmpty() : Takes(*move)) {
            move->setDropAction(Qt::CopyAction);
            move->accept();
        } else {
            move->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!Takes(*drop)) {
            drop->ignore();
            return true;
        }
        const QStringList paths = PathsOf(drop->mimeData());
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // Queued on this object, which goes with its widget: a drop on a window that closes
        // meanwhile adds nothing.
        Deliver(this, [this, paths] { m_dropped(paths); });
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
