#pragma once
// The subcommands of fakemill-cli. Each takes the words after its name and answers the exit
// status: 0 success, 1 a failure of the work named on the error stream, 2 a usage error, 128 plus
// the number of a signal that ended the work. Standard output carries only results; every
// diagnostic goes to the error stream and names the file or value at fault.

#include <iosfwd>
#include <string>
#include <vector>

struct CliStreams {
    std::ostream& out;
    std::ostream& err;
    // Log lines reach a terminal at once, one by one.
    bool outIsTerminal = false;
    // The live progress line is drawn on the error stream, only when it is a terminal.
    bool errIsTerminal = false;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class CKSString;

// Puts back the file modes that killed exerciser runs left (the permissions way), telling each on
// the error stream after prefix.
void RestoreLeftModes(CliStreams& io, const char* prefix);

int RunHashCommand(const std::vector<std::string>& args, CliStreams& io);
int RunCrcCommand(const std::vector<std::string>& args, CliStreams& io);
// The configuration file of the commands that work on definitions, found once the command's
// words are known to need it: asking for help, or generating from a definition given on the
// command line, reads and records no configuration.
class CliConfig {
public:
    // option: the --config value, or null.
    CliConfig(const std::string* option, std::string command)
        : m_option(option), m_command(std::move(command)) {}
    // The file (ResolveConfigFile) and, but for define, the check that it can be read
    // (CheckConfigForReading). Answers 0 to go on, else the exit status after the reason.
    int Resolve(CKSString& path, CliStreams& io) const;

private:
    const std::string* m_option;
    std::string m_command;
};

int RunListCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io);
int RunShowCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io);
int RunDefineCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io);
int RunGenerateCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io);

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
// What "fakemill-cli COMMAND --help" prints: the command's usage line and its options; the
// program's usage for "".
std::string CommandHelpText(const std::string& command);
