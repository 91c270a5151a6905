// The desktop program. It takes no command line: every choice is made in its windows. --version
// and --help are answered before anything needs a display, so that they work in a terminal
// without one.

#include "BuildVersion.h"
#include "tools/PermissionsJournal.h"
#include "ui/FakemillApp.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// Answers --version or --help when one is asked for: the exit status; otherwise -1.
int AnswerInformationOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("fakemill %s\n", FAKEMILL_VERSION_TEXT);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: fakemill [--help | --version]\n"
                        "The desktop program takes no other arguments: definitions, destinations and "
                        "tools are chosen in its windows (fakemill-cli does the same from a terminal).\n");
            return 0;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (const int answered = AnswerInformationOptions(argc, argv); answered >= 0) {
        return answered;
    }
    // A killed exerciser run may have left files at mode 000: their modes come back first.
    for (const std::string& line : CPermissionsJournal::UserJournal().Restore()) {
        std::fprintf(stderr, "fakemill: %s\n", line.c_str());
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    CFakemillApp app;
    return RunFakemill(app);
}
