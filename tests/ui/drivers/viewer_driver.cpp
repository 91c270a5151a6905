// Drives the binary viewer window offscreen on one file and prints what it costs: the time from
// the open to the first page painted, the repaint time of each page while paging down (a page
// counts as painted when its bytes are in and it has been drawn), a jump to the end and back, and
// the peak resident memory. The offsets of the pages go to a file, so that another tool can read
// the same pages.
//
//   viewer_driver FILE PAGES OFFSETS_OUT [WIDTH HEIGHT]

#include "PeakMemory.h"
#include "app/AppContext.h"
#include "ui/BinaryViewerWnd.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Processes events until the page in view has all its bytes, then paints it; answers false after
// ten seconds.
bool PaintWhenLoaded(CBinaryViewerWnd& viewer) {
    QElapsedTimer timer;
    timer.start();
    const CBinaryPage& page = *viewer.Page();
    // The walk runs over a file larger than a page, so every page is full.
    const auto loaded = [&] {
        return page.HasLayout() && !viewer.LineText(0).isEmpty() &&
               !viewer.LineText(static_cast<int>(page.Lines()) - 1).isEmpty();
    };
    while (!loaded()) {
        if (timer.elapsed() > 10000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    viewer.TextArea()->repaint();
    return true;
}

double Milliseconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: viewer_driver FILE PAGES OFFSETS_OUT [WIDTH HEIGHT]\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int pages = std::atoi(argv[2]);
    const int width = argc > 5 ? std::atoi(argv[4]) : 300;
    const int height = argc > 5 ? std::atoi(argv[5]) : 700;

    QElapsedTimer timer;
    timer.start();
    CAppContext context;
    CBinaryViewerWnd viewer(path, context);
    viewer.resize(width, height);
    viewer.show();
    viewer.Relayout();
    if (!PaintWhenLoaded(viewer)) {
        std::fprintf(stderr, "the first page never arrived\n");
        return 1;
    }
    const double firstPage = Milliseconds(timer);
    const CBinaryPage& page = *viewer.Page();
    std::printf("page: %u lines of %u bytes = %llu bytes\n", page.Lines(), page.BytesPerLine(),
                static_cast<unsigned long long>(page.PageSize()));
    std::printf("open to first page painted: %.1f ms\n", firstPage);

    std::ofstream offsets(argv[3]);
    std::vector<double> repaints;
    for (int i = 0; i < pages; ++i) {
        timer.restart();
        QTest::keyClick(&viewer, Qt::Key_PageDown);
        if (!PaintWhenLoaded(viewer)) {
            std::fprintf(stderr, "page %d never arrived\n", i);
            return 1;
        }
        repaints.push_back(Milliseconds(timer));
        offsets << page.Top() << ' ' << page.PageSize() << '\n';
    }
    double total = 0;
    for (const double value : repaints) {
        total += value;
    }
    std::printf(
        "paging down %d times: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms, total %.1f ms\n",
        pages, Percentile(repaints, 0.5), Percentile(repaints, 0.99), Percentile(repaints, 1.0), total);

    double worstJump = 0;
    for (const Qt::Key key : {Qt::Key_End, Qt::Key_Home, Qt::Key_End, Qt::Key_Home}) {
        timer.restart();
        QTest::keyClick(&viewer, key);
        if (!PaintWhenLoaded(viewer)) {
            std::fprintf(stderr, "the jump never arrived\n");
            return 1;
        }
        worstJump = std::max(worstJump, Milliseconds(timer));
    }
    std::printf("jumping to the end and back: worst %.1f ms\n", worstJump);
    std::printf("peak resident memory: %.1f MiB\n", static_cast<double>(PeakResidentKiB()) / 1024.0);
    std::printf("viewer total for the page walk: %.1f ms\n", total);
    viewer.close();
    return 0;
}
