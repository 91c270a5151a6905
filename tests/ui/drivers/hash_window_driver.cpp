// Drives the hash calculator window offscreen, the way a user does: a file added (or many files
// dropped on the list) and the window left to show the results. A 10 ms timer on the window's
// thread measures the longest time the thread was kept from it (a stall).
//
//   hash_window_driver large FILE md5|sha1|sha256    seconds from the add to the value shown
//   hash_window_driver many FOLDER                   every file of FOLDER dropped at once

#include "app/AppContext.h"
#include "tools/HashKinds.h"
#include "ui/KSHashCalculator.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr int kProbeMilliseconds = 10;

// The longest gap between two ticks of a 10 ms timer, less the 10 ms it should be.
class StallProbe {
public:
    StallProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeMilliseconds);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart() - kProbeMilliseconds); });
        m_clock.start();
        m_timer.start();
    }
    qint64 Longest() const { return m_longest; }
    // Starts a new measurement; answers the longest stall so far.
    qint64 Restart() { return std::exchange(m_longest, 0); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

template <typename Condition>
void RunUntil(Condition condition) {
    while (!condition()) {
        // Sleeps until something happens; the probe's timer wakes it at least every 10 ms.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

int Large(CAppContext& context, const QString& file, const char* algorithm) {
    const int kind = std::strcmp(algorithm, "md5") == 0 ? 1 : std::strcmp(algorithm, "sha1") == 0 ? 2 : 3;
    CKSHashCalculator window(context);
    window.Algorithm()->setCurrentIndex(kind);
    window.show();
    QCoreApplication::processEvents();
    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    window.AddFile(file);
    RunUntil([&] { return window.Model()->Pending() == 0; });
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("seconds %.3f stall_ms %lld value %s\n", seconds, static_cast<long long>(probe.Longest()),
                qPrintable(window.Model()->At(0).value));
    return window.Model()->At(0).succeeded ? 0 : 1;
}

int Many(CAppContext& context, const QString& folder) {
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    QList<QUrl> urls;
    for (const QString& name : names) {
        urls << QUrl::fromLocalFile(folder + QLatin1Char('/') + name);
    }
    CKSHashCalculator window(context);
    window.Algorithm()->setCurrentIndex(3);
    window.show();
    QCoreApplication::processEvents();
    QMimeData data;
    data.setUrls(urls);
    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    QWidget* viewport = window.List()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    const auto expected = static_cast<std::uint32_t>(names.size());
    RunUntil([&] { return window.Model()->Count() == expected; });
    // Listed means drawn: the list has painted its rows once.
    window.List()->viewport()->repaint();
    const double listed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const qint64 listingStall = probe.Restart();
    RunUntil([&] { return window.Model()->Pending() == 0; });
    const double finished = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::uint32_t failed = 0;
    for (std::uint32_t row = 0; row < window.Model()->Count(); ++row) {
        failed += window.Model()->At(row).succeeded ? 0 : 1;
    }
    std::printf("files %u listed_s %.3f finished_s %.3f stall_ms %lld failed %u listing_stall_ms %lld\n",
                expected, listed, finished, static_cast<long long>(std::max(listingStall, probe.Longest())),
                failed, static_cast<long long>(listingStall));
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    CAppContext context;
    if (argc == 4 && std::strcmp(argv[1], "large") == 0) {
        return Large(context, QString::fromLocal8Bit(argv[2]), argv[3]);
    }
    if (argc == 3 && std::strcmp(argv[1], "many") == 0) {
        return Many(context, QString::fromLocal8Bit(argv[2]));
    }
    std::fprintf(stderr, "usage: %s large FILE md5|sha1|sha256 | many FOLDER\n", argv[0]);
    return 2;
}
