// fakemill-cli: the headless front end of Fakemill, for scripts and pipelines.

#include "cli/Commands.h"

#include <exception>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    CliStreams io{std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1, ::isatty(STDERR_FILENO) == 1};
    // A failure no command expected (memory, a thread that cannot be made) still ends in a
    // message and a failure status, never in an abort.
    try {
        return RunFakemillCli(args, io);
    } catch (const std::exception& failure) {
        std::cout.flush();
        std::cerr << "fakemill-cli: " << failure.what() << "\n";
        return kExitFailure;
    }
}
