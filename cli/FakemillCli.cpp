#include "cli/Commands.h"

#include "support/KSString.h"
#include "support/VersionInfo.h"

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>

std::string CliUsageText() {
    return "Usage:\n"
           "  fakemill-cli [--config FILE] list\n"
           "  fakemill-cli [--config FILE] show NAME\n"
           "  fakemill-cli [--config FILE] define --type KIND NAME [KEY=VALUE ...]\n"
           "  fakemill-cli [--config FILE] generate [-o DEST] [--pace MS] [--seed N] [--jobs N]\n"
           "               [--shard I/N] [--manifest] [-v | -q] (--all | NAME ...)\n"
           "  fakemill-cli hash [-a crc|md5|sha1|sha256] [--prefix-0x] [--lower] [--path] [--sep C] FILE "
           "...\n"
           "  fakemill-cli crc [--trailer] FILE ...\n"
           "  fakemill-cli hexdump [--offset N] [--length N] [--width N] FILE\n"
           "  fakemill-cli verify [--ignore-extra] (DEST | MANIFEST)\n"
           "  fakemill-cli exercise [--mode all|fixed|rotate] [--seconds N] FILE ...\n"
           "  fakemill-cli --help | --version | COMMAND --help\n"
           "\n"
           "Makes test files from the definitions of a configuration file, and offers the\n"
           "hash, CRC, hex-dump and file-exercising tools of the desktop program.\n"
           "Numbers accept the definition syntax (64KB, 1K, 2GiB, 0x10).\n";
}

namespace {

// "fakemill-cli COMMAND --help": the command's usage line and its options.
const std::map<std::string, std::string>& CommandHelp() {
    static const std::map<std::string, std::string> help = {
        {"list", "Usage: fakemill-cli [--config FILE] list\n"
                 "Lists the definitions of the configuration file: name, type, minimum size and\n"
                 "minimum count.\n"},
        {"show", "Usage: fakemill-cli [--config FILE] show NAME\n"
                 "Prints the properties of one definition.\n"},
        {"define", "Usage: fakemill-cli [--config FILE] define --type KIND NAME [KEY=VALUE ...]\n"
                   "Writes a definition of a kind (txt, csv, bin, img) with its defaults and the\n"
                   "values given. An empty value keeps the default; a value the number syntax reads\n"
                   "otherwise is stored as read, with a warning. Units: K, M, G, T (powers of 1,000),\n"
                   "KB, MB, GB, TB, KiB, MiB, GiB, TiB (powers of 1,024); any other is refused, and\n"
                   "so is a '/' in Prefix or Extension.\n"
                   "  --type KIND   the kind of files the definition makes\n"
                   "  --replace     replace an existing definition of that name\n"},
        {"generate",
         "Usage: fakemill-cli [--config FILE] generate [-o DEST] [--pace MS] [--seed N] [--jobs N]\n"
         "                    [--shard I/N] [--manifest] [-v | -q] (--all | NAME ...)\n"
         "Makes the files of the definitions named, or of all of them.\n"
         "  -o, --output DEST  the folder the files go into (the current folder)\n"
         "  --pace MS          pause after each file (100; 0 for full speed)\n"
         "  --seed N           make the run reproducible, whatever --jobs and --shard\n"
         "  --jobs N           files made at once, 1 to 16 (one per processor)\n"
         "  --shard I/N        only shard I of N (from 0) of the batch's files; needs --seed\n"
         "  --manifest         write the sizes and SHA-256 of the files made into the\n"
         "                     destination (fakemill.sha256, fakemill-manifest.json)\n"
         "  -v, --verbose      also the per-row, per-block and debug lines\n"
         "  -q, --quiet        only warnings, errors and the finished line\n"
         "  --all              every definition of the configuration file\n"},
        {"verify", "Usage: fakemill-cli verify [--ignore-extra] (DEST | MANIFEST)\n"
                   "Checks every file a manifest of generate lists (those of every manifest of a\n"
                   "destination folder, or of one .json or .sha256 file) against its size and\n"
                   "SHA-256; prints MISSING, SIZE, CHANGED, UNREADABLE or OUTSIDE with each file that\n"
                   "does not match or lies outside the batch, DISAGREE where two manifests differ,\n"
                   "EXTRA with each file of the folder that no manifest lists, then a summary.\n"
                   "Exit 0 only when every listed file matches and nothing else was found.\n"
                   "  --ignore-extra   accept files of the folder that no manifest lists\n"},
        {"hash", "Usage: fakemill-cli hash [-a crc|md5|sha1|sha256] [--prefix-0x] [--lower] [--path]\n"
                 "                         [--sep C] FILE ...\n"
                 "Prints one line per file in the hash calculator's copy format.\n"
                 "  -a, --algorithm A   crc (the default), md5, sha1 or sha256\n"
                 "  --prefix-0x         start each hash with 0x\n"
                 "  --lower             lower-case hex digits\n"
                 "  --path              the file's path and a separator before the hash\n"
                 "  --sep C             that separator: one character, \\t or \\n (:)\n"},
        {"crc", "Usage: fakemill-cli crc [--trailer] FILE ...\n"
                "Prints the CRC-32 of each file.\n"
                "  --trailer   check the CRC-32 trailer that binary definitions with CRC=1 end in;\n"
                "              exit 1 on a mismatch or an unreadable file\n"},
        {"hexdump", "Usage: fakemill-cli hexdump [--offset N] [--length N] [--width N] FILE\n"
                    "Prints the bytes of a file the way the binary viewer shows them.\n"
                    "  --offset N   the first byte shown (0)\n"
                    "  --length N   how many bytes (to the end)\n"
                    "  --width N    bytes a line (16)\n"},
        {"exercise", "Usage: fakemill-cli exercise [--mode all|fixed|rotate] [--seconds N] FILE ...\n"
                     "Holds the files open and locked until the time is up or Ctrl-C.\n"
                     "  --mode all      hold every file (the default)\n"
                     "  --mode fixed    hold one of them\n"
                     "  --mode rotate   hold each for about three seconds in turn\n"
                     "  --seconds N     how long (until Ctrl-C)\n"},
    };
    return help;
}

} // namespace

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
    if (const auto help = CommandHelp().find(command);
        help != CommandHelp().end() && (std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
                                        std::find(rest.begin(), rest.end(), "-h") != rest.end())) {
        io.out << help->second;
        return kExitSuccess;
    }
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
        if (command != "define") {
            if (const int status = CheckConfigForReading(configFile, config.has_value(), command, io);
                status != kExitSuccess) {
                return status;
            }
        }
        return found->second(configFile, rest, io);
    }
    io.err << "fakemill-cli: unknown command '" << command << "'\n" << CliUsageText();
    return kExitUsage;
}
