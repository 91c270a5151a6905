#pragma once
// Accepts files dragged onto a widget (a tool window's list) and hands them to its window as one
// queued call, so that the drag source is let go at once however many files it brought.
// Local files give one path each, in drop order; only when no file is offered does dropped text
// give one entry (the whole text). A drag that starts with Shift held is refused.

#include <QObject>
#include <QStringList>

#include <functional>

class QMimeData;
class QWidget;

// What a window that takes dropped paths offers.
class IFilePathSink {
public:
    virtual ~IFilePathSink() = default;
    // Adds one path; false when it takes no more.
    virtual bool Add(const QString& path) = 0;
};

class CKSDropTarget : public QObject {
    Q_OBJECT
public:
    // Watches target's drag and drop events and hands each drop's paths to dropped, on the GUI
    // thread after the drop has returned. The drop target belongs to target and goes with it.
    CKSDropTarget(QWidget* target, std::function<void(const QStringList&)> dropped);

    // The entries a drop of this data gives: local files first; text only when there are none.
    static QStringList PathsOf(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QStringList&)> m_dropped;
    // Whether the drag in progress was accepted when it entered.
    bool m_accepted = false;
};
