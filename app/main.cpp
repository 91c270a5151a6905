// The desktop program. It takes no command line: every choice is made in its windows.

#include "ui/FakemillApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return RunFakemill();
}
