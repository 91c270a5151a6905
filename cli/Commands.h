#pragma once
// The subcommands of fakemill-cli. Each takes the words after its name and answers the exit
// status: 0 success, 1 a failure named on the error stream, 2 a usage error.

#include <iosfwd>
#include <string>
#include <vector>

struct CliStreams {
    std::ostream& out;
    std::ostream& err;
    // Progress lines are drawn only on a terminal.
    bool outIsTerminal = false;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int RunHashCommand(const std::vector<std::string>& args, CliStreams& io);
int RunHexdumpCommand(const std::vector<std::string>& args, CliStreams& io);
int RunExerciseCommand(const std::vector<std::string>& args, CliStreams& io);

// The whole program: global options, then one subcommand.
int RunFakemillCli(const std::vector<std::string>& args, CliStreams& io);
std::string CliUsageText();
