#pragma once
// Accepts files dragged onto a widget (a tool window's list) and hands them to a window as one
// posted message, so that the drag source is let go at once however many files it brought.
// Local files give one path each, in drop order; only when no file is offered does dropped text
// give one entry (the whole text). A drag that starts with Shift held is refused.

#include <QObject>
#include <QStringList>

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
    // The message code a drop arrives with; its payload is the QStringList of paths.
    static constexpr int kDroppedCode = 2;

    // Watches target's drag and drop events and posts each drop to notify (an app message).
    // The drop target belongs to target and goes with it.
    CKSDropTarget(QWidget* target, QObject* notify);

    // The entries a drop of this data gives: local files first; text only when there are none.
    static QStringList PathsOf(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QObject* m_notify;
    // Whether the drag in progress was accepted when it entered.
    bool m_accepted = false;
};
