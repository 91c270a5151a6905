#pragma once
// SIGTERM, SIGINT and SIGHUP end the desktop program the way closing its main window does: the
// batch in hand stops at its next block (removing the file it cut short), windows save their
// settings and threads are joined. The signal only writes a byte to a pipe; the GUI thread reads
// it and does the rest.

#include <QObject>

#include <functional>

class QSocketNotifier;

class CTerminationSignals : public QObject {
    Q_OBJECT
public:
    // Calls onSignal on the GUI thread for each signal taken while this object lives.
    explicit CTerminationSignals(std::function<void()> onSignal);
    ~CTerminationSignals() override;
    CTerminationSignals(const CTerminationSignals&) = delete;
    CTerminationSignals& operator=(const CTerminationSignals&) = delete;

private:
    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
