// Drives the desktop program offscreen for the GUI benchmarks (bench/gui.sh):
//   gui_driver startup            start, show the main window filled with FKMCONFIG's definitions, end
//   gui_driver reload SMALL LARGE the two configurations reloaded in turn, eleven times each (each
//                                 reload parses its file): the median seconds of each and the
//                                 median ratio of a large reload to the small one before it
//   gui_driver generate NAME DIR  generate one definition to DIR (pace 0) through a batch window;
//                                 prints the seconds, the longest stall of the GUI thread and the peak
//                                 resident memory
//   gui_driver exit NAME DIR      a session's worth of work (a hash calculator that hashed the
//                                 configuration file, one batch of NAME into DIR run to its end),
//                                 then the main window closes: prints the wall-clock time of the
//                                 close ("closing_epoch"), so that the caller can time the exit
// The configuration is the one the program would use (FKMCONFIG).

#include "PeakMemory.h"
#include "app/AppContext.h"
#include "support/IniProfile.h"
#include "ui/BatchOutputWnd.h"
#include "ui/FakemillApp.h"
#include "ui/GenerateCommand.h"
#include "ui/KSHashCalculator.h"
#include "ui/MainWindow.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Startup(CFakemillApp& app) {
    std::printf("rows %d\n", app.MainWindow()->DefinitionList()->model()->rowCount());
    std::printf("peak_kib %ld\n", PeakResidentKiB());
    QTimer::singleShot(0, app.MainWindow(), [&app] { app.MainWindow()->close(); });
    return app.Run();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Reloads the small and the large configuration in turn, eleven times each, every reload parsing
// its file anew. Each large reload is set against the small one just before it, so that the ratio
// holds even while the machine's speed drifts during the run.
int Reload(CFakemillApp& app, const char* small, const char* large) {
    const auto timedReload = [&app](const char* path) {
        app.Context().Config().LoadAt(CKSString::FromUtf8(path));
        CIniProfile::DropCache();
        QElapsedTimer timer;
        timer.start();
        app.MainWindow()->Reload();
        return static_cast<double>(timer.nsecsElapsed()) / 1e9;
    };
    std::vector<double> smallSeconds;
    std::vector<double> largeSeconds;
    std::vector<double> ratios;
    for (int run = 0; run < 11; ++run) {
        smallSeconds.push_back(timedReload(small));
        largeSeconds.push_back(timedReload(large));
        ratios.push_back(largeSeconds.back() / smallSeconds.back());
    }
    std::printf("small_seconds %.4f\nlarge_seconds %.4f\nratio %.2f\n", Median(smallSeconds),
                Median(largeSeconds), Median(ratios));
    QTimer::singleShot(0, app.MainWindow(), [&app] { app.MainWindow()->close(); });
    return app.Run();
}

int Generate(CFakemillApp& app, const char* name, const char* destination) {
    app.Context().Settings().Set(settings_key::kGeneratorPrompt, 1);
    app.Context().Settings().Set(settings_key::kGeneratorPath, CKSString::FromUtf8(destination).View());
    QElapsedTimer clock;
    clock.start();
    CBatchOutputWnd* window =
        GenerateSelected(app.MainWindow(), {CKSString::FromUtf8(name)}, app.Context(), CBatchOptions{0, {}});
    if (window == nullptr) {
        std::fprintf(stderr, "gui_driver: the batch could not be queued\n");
        return 1;
    }
    // A timer that should fire every 5 ms: the longest gap between two firings is the longest
    // time the GUI thread was busy elsewhere.
    qint64 last = clock.elapsed();
    qint64 longestStall = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestStall = std::max(longestStall, now - last);
        last = now;
        if (window->ProgressText().endsWith(QStringLiteral(" - finished")) && !window->HasPendingText()) {
            probe.stop();
            std::printf("seconds %.3f\n", static_cast<double>(clock.nsecsElapsed()) / 1e9);
            std::printf("longest_stall_ms %lld\n", static_cast<long long>(longestStall));
            std::printf("window_lines %lld\n",
                        static_cast<long long>(window->Text().count(QLatin1Char('\n'))));
            std::printf("peak_kib %ld\n", PeakResidentKiB());
            app.MainWindow()->close();
        }
    });
    probe.start();
    return app.Run();
}

// Closes the main window once a batch and a hash calculator have finished their work, printing
// when it closed; the time to the process's end is the caller's to measure.
int Exit(CFakemillApp& app, const char* name, const char* destination) {
    app.Context().Settings().Set(settings_key::kGeneratorPrompt, 1);
    app.Context().Settings().Set(settings_key::kGeneratorPath, CKSString::FromUtf8(destination).View());
    CKSHashCalculator* calculator = OpenHashCalculator(app.MainWindow(), app.Context(), app.ToolWindows());
    calculator->AddFile(QString::fromLocal8Bit(qgetenv("FKMCONFIG")));
    CBatchOutputWnd* window =
        GenerateSelected(app.MainWindow(), {CKSString::FromUtf8(name)}, app.Context(), CBatchOptions{0, {}});
    if (window == nullptr) {
        std::fprintf(stderr, "gui_driver: the batch could not be queued\n");
        return 1;
    }
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (window->ProgressText().endsWith(QStringLiteral(" - finished")) &&
            calculator->Model()->Pending() == 0) {
            probe.stop();
            std::printf("closing_epoch %.6f\n",
                        static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
            std::fflush(stdout);
            app.MainWindow()->close();
        }
    });
    probe.start();
    return app.Run();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    CFakemillApp app;
    if (!app.InitMainWindow()) {
        std::fprintf(stderr, "gui_driver: the program did not start\n");
        return 1;
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "startup") {
        return Startup(app);
    }
    if (mode == "reload" && argc == 4) {
        return Reload(app, argv[2], argv[3]);
    }
    if (mode == "generate" && argc == 4) {
        return Generate(app, argv[2], argv[3]);
    }
    if (mode == "exit" && argc == 4) {
        return Exit(app, argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: gui_driver startup | reload SMALL LARGE | generate NAME DIR | exit NAME DIR\n");
    return 2;
}
