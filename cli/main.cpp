// fakemill-cli: the headless front end of Fakemill, for scripts and pipelines.

#include "cli/Commands.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    CliStreams io{std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1};
    return RunFakemillCli(args, io);
}
