#include "cli/CliArguments.h"

#include "cli/Commands.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <ostream>

namespace {

// Arguments travel through the parser as Latin-1, one character per byte, so that every byte
// comes back as it was: a file name need not be valid UTF-8 on Linux.
QString FromBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

std::string WithDashes(const std::string& name) {
    return (name.size() == 1 ? "-" : "--") + name;
}

std::string WithoutDashes(const std::string& name) {
    return name.substr(name.find_first_not_of('-'));
}

} // namespace

CliArguments::CliArguments(std::string command, const std::set<std::string>& flags,
                           const std::set<std::string>& valued, EOptionsAfterWords after)
    : m_command(std::move(command)), m_after(after) {
    const auto add = [this](const std::string& spelling, bool takesValue) {
        Option option;
        option.takesValue = takesValue;
        for (std::size_t start = 0; start <= spelling.size();) {
            const std::size_t bar = std::min(spelling.find('|', start), spelling.size());
            option.names.push_back(WithoutDashes(spelling.substr(start, bar - start)));
            start = bar + 1;
        }
        m_options.push_back(std::move(option));
    };
    add("-h|--help", false);
    for (const std::string& flag : flags) {
        add(flag, false);
    }
    for (const std::string& option : valued) {
        add(option, true);
    }
}

const CliArguments::Option* CliArguments::Find(const std::string& option) const {
    const std::string name = WithoutDashes(option);
    for (const Option& candidate : m_options) {
        for (const std::string& known : candidate.names) {
            if (known == name) {
                return &candidate;
            }
        }
    }
    return nullptr;
}

bool CliArguments::Parse(const std::vector<std::string>& args, CliStreams& io) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(m_after == EOptionsAfterWords::Allowed
                                                      ? QCommandLineParser::ParseAsOptions
                                                      : QCommandLineParser::ParseAsPositionalArguments);
    std::vector<QCommandLineOption> options;
    for (const Option& option : m_options) {
        QStringList names;
        for (const std::string& name : option.names) {
            names << QString::fromStdString(name);
        }
        options.emplace_back(names);
        if (option.takesValue) {
            options.back().setValueName(QStringLiteral("VALUE"));
        }
        parser.addOption(options.back());
    }
    QStringList words{QStringLiteral("fakemill-cli")}; // the parser skips the program's name
    for (const std::string& arg : args) {
        words << FromBytes(arg);
    }
    const std::string prefix = "fakemill-cli" + (m_command.empty() ? "" : " " + m_command) + ": ";
    if (!parser.parse(words)) {
        const QStringList unknown = parser.unknownOptionNames();
        const std::string problem = unknown.isEmpty()
                                        ? ToBytes(parser.errorText())
                                        : "unknown option '" + WithDashes(ToBytes(unknown[0])) + "'";
        io.err << prefix << problem << "\n"
               << "Try 'fakemill-cli" << (m_command.empty() ? "" : " " + m_command) << " --help'.\n";
        m_exitStatus = kExitUsage;
        return false;
    }
    if (parser.isSet(options.front())) {
        io.out << CommandHelpText(m_command);
        m_exitStatus = kExitSuccess;
        return false;
    }
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (!parser.isSet(options[i])) {
            continue;
        }
        m_seen.insert(i);
        if (m_options[i].takesValue) {
            m_values[i] = ToBytes(parser.value(options[i]));
        }
    }
    for (const QString& word : parser.positionalArguments()) {
        m_positional.push_back(ToBytes(word));
    }
    return true;
}

bool CliArguments::Has(const std::string& option) const {
    const Option* found = Find(option);
    return found != nullptr && m_seen.count(static_cast<std::size_t>(found - m_options.data())) > 0;
}

std::optional<std::string> CliArguments::Value(const std::string& option) const {
    const Option* found = Find(option);
    if (found == nullptr) {
        return std::nullopt;
    }
    const auto value = m_values.find(static_cast<std::size_t>(found - m_options.data()));
    if (value == m_values.end()) {
        return std::nullopt;
    }
    return value->second;
}
