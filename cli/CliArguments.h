#pragma once
// The command line of fakemill-cli or of one of its commands, read with Qt's QCommandLineParser:
// short options may be compacted ("-vq", "-asha256"), a value may follow "=" or come as the next
// word, "--" ends the options, and a lone "-" is a positional argument (standard input, for the
// commands that read files). Every command takes -h and --help.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct CliStreams;

class CliArguments {
public:
    // How positional arguments end the options: the program's own line stops at the command,
    // whose words belong to the command; a command's line takes options anywhere.
    enum class EOptionsAfterWords { Allowed, AreWords };

    // command: the name in messages, whose help -h prints ("" for the program itself). flags:
    // options without a value ("--lower"); valued: options that take one ("--sep"). An option
    // with a short and a long name is written "-a|--algorithm"; either name finds it.
    CliArguments(std::string command, const std::set<std::string>& flags, const std::set<std::string>& valued,
                 EOptionsAfterWords after = EOptionsAfterWords::Allowed);

    // True when the command should run. Otherwise it has printed its help (-h, --help) or a usage
    // error naming the argument at fault, and ExitStatus says with which status to end.
    bool Parse(const std::vector<std::string>& args, CliStreams& io);
    int ExitStatus() const { return m_exitStatus; }

    bool Has(const std::string& option) const;
    // The option's value (the last one when it is given several times).
    std::optional<std::string> Value(const std::string& option) const;
    const std::vector<std::string>& Positional() const { return m_positional; }

private:
    struct Option {
        std::vector<std::string> names; // without dashes
        bool takesValue = false;
    };
    const Option* Find(const std::string& option) const;

    std::string m_command;
    std::vector<Option> m_options;
    EOptionsAfterWords m_after;
    std::set<std::size_t> m_seen;
    std::map<std::size_t, std::string> m_values;
    std::vector<std::string> m_positional;
    int m_exitStatus = 0;
};
