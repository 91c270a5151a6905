#include "cli/Commands.h"

#include "support/KSString.h"
#include "support/VersionInfo.h"

#include <map>
#include <optional>
#include <ostream>

std::string CliUsageText() {
    return "Usage:\n"
           "  fakemill-cli [--config FILE] list\n"
           "  fakemill-cli [--config FILE] show NAME\n"
           "  fakemill-cli [--config FILE] define --type KIND NAME [KEY=VALUE ...]\n"
           "  fakemill-cli [--config FILE] generate [-o DEST] [--pace MS] [--seed N] [--jobs N]\n"
           "               [--shard I/N] [--manifest] [-v] (--all | NAME ...)\n"
           "  fakemill-cli hash [-a crc|md5|sha1|sha256] [--prefix-0x] [--lower] [--path] [--sep C] FILE "
           "...\n"
           "  fakemill-cli crc [--trailer] FILE ...\n"
           "  fakemill-cli hexdump [--offset N] [--length N] [--width N] FILE\n"
           "  fakemill-cli verify (DEST | MANIFEST)\n"
           "  fakemill-cli exercise [--mode all|fixed|rotate] [--seconds N] FILE ...\n"
           "  fakemill-cli --help | --version\n"
           "\n"
           "Makes test files from the definitions of a configuration file, and offers the\n"
           "hash, CRC, hex-dump and file-exercising tools of the desktop program.\n"
           "Numbers accept the definition syntax (64KB, 1K, 0x10).\n";
}

int RunFakemillCli(const std::vector<std::string>& args, CliStreams& io) {
    if (args.empty()) {
        io.err << CliUsageText();
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        io.out << CliUsageText();
        return kExitSuccess;
    }
    if (args[0] == "--version") {
        io.out << "fakemill-cli " << CVersionInfoThis().GetVersionText().ToUtf8() << "\n";
        return kExitSuccess;
    }
    // The one global option: --config FILE (or --config=FILE) before the command.
    std::size_t at = 0;
    std::optional<std::string> config;
    if (args[at] == "--config") {
        if (args.size() < 2) {
            io.err << "fakemill-cli: --config needs a file\n";
            return kExitUsage;
        }
        config = args[1];
        at = 2;
    } else if (args[at].rfind("--config=", 0) == 0) {
        config = args[at].substr(9);
        at = 1;
    }
    if (at >= args.size()) {
        io.err << CliUsageText();
        return kExitUsage;
    }
    const std::string& command = args[at];
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(at) + 1, args.end());
    if (command == "hash") {
        return RunHashCommand(rest, io);
    }
    if (command == "crc") {
        return RunCrcCommand(rest, io);
    }
    if (command == "hexdump") {
        return RunHexdumpCommand(rest, io);
    }
    if (command == "verify") {
        return RunVerifyCommand(rest, io);
    }
    if (command == "exercise") {
        return RunExerciseCommand(rest, io);
    }
    using DefinitionCommand = int (*)(const CKSString&, const std::vector<std::string>&, CliStreams&);
    static const std::map<std::string, DefinitionCommand> definitionCommands = {
        {"list", &RunListCommand},
        {"show", &RunShowCommand},
        {"define", &RunDefineCommand},
        {"generate", &RunGenerateCommand},
    };
    if (const auto found = definitionCommands.find(command); found != definitionCommands.end()) {
        CKSString configFile;
        if (!ResolveConfigFile(config ? &*config : nullptr, configFile, io)) {
            return kExitFailure;
        }
        return found->second(configFile, rest, io);
    }
    io.err << "fakemill-cli: unknown command '" << command << "'\n" << CliUsageText();
    return kExitUsage;
}
