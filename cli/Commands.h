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

class CKSString;

int RunHashCommand(const std::vector<std::string>& args, CliStreams& io);
int RunCrcCommand(const std::vector<std::string>& args, CliStreams& io);
int RunListCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io);
int RunShowCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io);
int RunDefineCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io);
int RunGenerateCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io);

// The configuration file a command works on: the --config option when given, otherwise the one
// the desktop program would use (the FKMCONFIG variable, the settings value, or a new one made on
// first run). False, with the reason on the error stream, when there is none.
bool ResolveConfigFile(const std::string* option, CKSString& path, CliStreams& io);
// For the commands that read definitions: whether the configuration file can be read. A file
// named with --config must exist; the default one may be missing (a first run: no definitions
// yet), which every command but list notes once. A folder or an unreadable file is an error
// naming it. Answers 0 to go on, else the exit status after the reason on the error stream.
int CheckConfigForReading(const CKSString& path, bool named, const std::string& command, CliStreams& io);
int RunHexdumpCommand(const std::vector<std::string>& args, CliStreams& io);
int RunExerciseCommand(const std::vector<std::string>& args, CliStreams& io);
int RunVerifyCommand(const std::vector<std::string>& args, CliStreams& io);

// The whole program: global options, then one subcommand.
int RunFakemillCli(const std::vector<std::string>& args, CliStreams& io);
std::string CliUsageText();
