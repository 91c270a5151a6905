#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "support/KSString.h"

#include "BuildVersion.h"

#include <map>
#include <optional>
#include <ostream>

std::string CliUsageText() {
    return "Usage:\n"
           "  fakemill-cli [--config FILE] list [--json]\n"
           "  fakemill-cli [--config FILE] show [--json] NAME\n"
           "  fakemill-cli [--config FILE] define --type KIND NAME [KEY=VALUE ...]\n"
           "  fakemill-cli [--config FILE] generate [-o DEST] [--pace MS] [--seed N] [--jobs N]\n"
           "               [--shard I/N] [--manifest] [--json] [-v | -q] (--all | NAME ...)\n"
           "  fakemill-cli generate --type txt|csv|bin|img [-o DEST] [options] [KEY=VALUE ...]\n"
           "  fakemill-cli verify [--ignore-extra] [--json] (DEST | MANIFEST)\n"
           "  fakemill-cli hash [-a crc|md5|sha1|sha256] [--copy [--path] [--sep C] [--prefix-0x] "
           "[--lower]]\n"
           "               FILE ...\n"
           "  fakemill-cli crc [--trailer] FILE ...\n"
           "  fakemill-cli hexdump [--offset N] [--length N] [--width N] FILE\n"
           "  fakemill-cli exercise [--mode all|fixed|rotate] [--deny kernel|permissions|lock]\n"
           "                        [--fail-reads] [--seconds N] FILE ...\n"
           "  fakemill-cli exercise --restore\n"
           "  fakemill-cli --help | --version | COMMAND --help\n"
           "\n"
           "Makes test files from the definitions of a configuration file, or from one given on\n"
           "the command line, and offers the hash, CRC, hex-dump and file-exercising tools of the\n"
           "desktop program. A FILE of \"-\" is standard input for hash, crc and hexdump.\n"
           "Numbers accept the definition syntax (64KB, 1K, 2GiB, 0x10).\n";
}

namespace {

// "fakemill-cli COMMAND --help": the command's usage line and its options.
const std::map<std::string, std::string>& CommandHelp() {
    static const std::map<std::string, std::string> help = {
        {"list", "Usage: fakemill-cli [--config FILE] list [--json]\n"
                 "Lists the definitions of the configuration file: name, type, minimum size and\n"
                 "minimum count.\n"
                 "  --json   one JSON document instead of the tab-separated lines\n"},
        {"show", "Usage: fakemill-cli [--config FILE] show [--json] NAME\n"
                 "Prints the properties of one definition.\n"
                 "  --json   one JSON document instead of the summary\n"},
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
         "                    [--shard I/N] [--manifest] [--json] [-v | -q] (--all | NAME ...)\n"
         "       fakemill-cli generate --type KIND [-o DEST] [options] [KEY=VALUE ...]\n"
         "Makes the files of the definitions named, or of all of them; with --type, of one\n"
         "definition given on the command line as define takes it, without any configuration file.\n"
         "  -o, --output DEST  the folder the files go into (the current folder)\n"
         "  --type KIND        generate from a definition of this kind (txt, csv, bin, img) and\n"
         "                     the KEY=VALUE pairs given\n"
         "  --pace MS          pause after each file (none unless given)\n"
         "  --seed N           make the run reproducible, whatever --jobs and --shard\n"
         "  --jobs N           files made at once, 1 to 16 (one per processor)\n"
         "  --shard I/N        only shard I of N (from 0) of the batch's files; needs --seed\n"
         "  --manifest         write the sizes and SHA-256 of the files made into the\n"
         "                     destination (fakemill.sha256, fakemill-manifest.json)\n"
         "  --json             print a JSON summary of the batch instead of its log lines\n"
         "  -v, --verbose      also the per-row, per-block and debug lines\n"
         "  -q, --quiet        nothing on success; only warnings and errors\n"
         "  --all              every definition of the configuration file\n"},
        {"verify", "Usage: fakemill-cli verify [--ignore-extra] [--json] (DEST | MANIFEST)\n"
                   "Checks every file a manifest of generate lists (those of every manifest of a\n"
                   "destination folder, or of one .json or .sha256 file) against its size and\n"
                   "SHA-256; prints MISSING, SIZE, CHANGED, UNREADABLE or OUTSIDE with each file that\n"
                   "does not match or lies outside the batch, DISAGREE where two manifests differ,\n"
                   "EXTRA with each file of the folder that no manifest lists, then a summary.\n"
                   "Exit 0 only when every listed file matches and nothing else was found.\n"
                   "  --ignore-extra   accept files of the folder that no manifest lists\n"
                   "  --json           one JSON document instead of the lines\n"},
        {"hash",
         "Usage: fakemill-cli hash [-a crc|md5|sha1|sha256] [--copy [--path] [--sep C] [--prefix-0x]\n"
         "                         [--lower]] FILE ...\n"
         "Prints one line per file, \"HASH  FILE\" as sha256sum does, so that the output is a\n"
         "checksum file; \"-\" is standard input.\n"
         "  -a, --algorithm A   crc (the default), md5, sha1 or sha256\n"
         "  --copy              the hash calculator's copy format instead: the hash alone,\n"
         "                      in upper case, unless the options below say otherwise\n"
         "  --path              the file's path and a separator before the hash\n"
         "  --sep C             that separator: one character, \\t or \\n (:)\n"
         "  --prefix-0x         start each hash with 0x\n"
         "  --lower             lower-case hex digits\n"},
        {"crc", "Usage: fakemill-cli crc [--trailer] FILE ...\n"
                "Prints the CRC-32 of each file; \"-\" is standard input.\n"
                "  --trailer   check the CRC-32 trailer that binary definitions with CRC=1 end in;\n"
                "              exit 1 on a mismatch or an unreadable file\n"},
        {"hexdump", "Usage: fakemill-cli hexdump [--offset N] [--length N] [--width N] FILE\n"
                    "Prints the bytes of a file the way the binary viewer shows them; \"-\" is\n"
                    "standard input.\n"
                    "  --offset N   the first byte shown (0)\n"
                    "  --length N   how many bytes (to the end)\n"
                    "  --width N    bytes a line (16)\n"},
        {"exercise",
         "Usage: fakemill-cli exercise [--mode all|fixed|rotate] [--deny kernel|permissions|lock]\n"
         "                             [--fail-reads] [--seconds N] FILE ...\n"
         "       fakemill-cli exercise --restore\n"
         "Holds the files against other programs until the time is up or Ctrl-C.\n"
         "  --mode all      hold every file (the default)\n"
         "  --mode fixed    hold one of them\n"
         "  --mode rotate   hold each for about three seconds in turn\n"
         "  --deny kernel       other programs' opens fail with EPERM (needs the helper\n"
         "                      fakemill-hold with CAP_SYS_ADMIN, or root; the default\n"
         "                      where it works)\n"
         "  --deny permissions  mode 000 while held: EACCES for all but root\n"
         "  --deny lock         advisory locks: only programs that lock see them\n"
         "  --fail-reads    with kernel: reads through descriptors opened before fail too\n"
         "  --seconds N     how long (until Ctrl-C)\n"
         "  --restore       put back the file modes a killed run left, and say which\n"},
    };
    return help;
}

} // namespace

std::string CommandHelpText(const std::string& command) {
    const auto found = CommandHelp().find(command);
    return found != CommandHelp().end() ? found->second : CliUsageText();
}

int RunFakemillCli(const std::vector<std::string>& args, CliStreams& io) {
    if (args.empty()) {
        io.err << CliUsageText();
        return kExitUsage;
    }
    // The program's own options come before the command; the command's words are its own.
    CliArguments global("", {"--version"}, {"--config"}, CliArguments::EOptionsAfterWords::AreWords);
    if (!global.Parse(args, io)) {
        return global.ExitStatus();
    }
    if (global.Has("--version")) {
        io.out << "fakemill-cli " << FAKEMILL_VERSION_TEXT << "\n";
        return kExitSuccess;
    }
    const std::optional<std::string> config = global.Value("--config");
    if (global.Positional().empty()) {
        io.err << CliUsageText();
        return kExitUsage;
    }
    const std::string& command = global.Positional()[0];
    const std::vector<std::string> rest(global.Positional().begin() + 1, global.Positional().end());
    if (command != "exercise") {
        // A killed exerciser run may have left files at mode 000; exercise tells of its own.
        RestoreLeftModes(io, "fakemill-cli: ");
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
    using DefinitionCommand = int (*)(const CliConfig&, const std::vector<std::string>&, CliStreams&);
    static const std::map<std::string, DefinitionCommand> definitionCommands = {
        {"list", &RunListCommand},
        {"show", &RunShowCommand},
        {"define", &RunDefineCommand},
        {"generate", &RunGenerateCommand},
    };
    if (const auto found = definitionCommands.find(command); found != definitionCommands.end()) {
        return found->second(CliConfig(config ? &*config : nullptr, command), rest, io);
    }
    io.err << "fakemill-cli: unknown command '" << command << "'\n" << CliUsageText();
    return kExitUsage;
}
