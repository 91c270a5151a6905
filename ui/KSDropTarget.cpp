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

bool CKSDropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        m_accepted = !enter->modifiers().testFlag(Qt::ShiftModifier) && !PathsOf(enter->mimeData()).isEmpty();
        if (m_accepted) {
            enter->setDropAction(Qt::CopyAction);
            enter->accept();
        } else {
            enter->ignore();
        }
        return true;
    }
    case QEvent::DragMove: {
        auto* move = static_cast<QDragMoveEvent*>(event);
        if (m_accepted) {
            move->setDropAction(Qt::CopyAction);
            move->accept();
        } else {
            move->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        m_accepted = false;
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = m_accepted ? PathsOf(drop->mimeData()) : QStringList();
        m_accepted = false;
        if (paths.isEmpty()) {
            drop->ignore();
            return true;
        }
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
