#include "cli/CliArguments.h"

CliArguments::CliArguments(std::set<std::string> flags, std::set<std::string> valued)
    : m_flags(std::move(flags)), m_valued(std::move(valued)) {}

bool CliArguments::Parse(const std::vector<std::string>& args) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            m_positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            inlineValue = arg.substr(equals + 1);
        }
        if (m_flags.count(name) > 0 && !inlineValue) {
            m_flagsSeen.insert(name);
        } else if (m_valued.count(name) > 0) {
            if (inlineValue) {
                m_values[name] = *inlineValue;
            } else if (i + 1 < args.size()) {
                m_values[name] = args[++i];
            } else {
                m_error = "option " + name + " needs a value";
                return false;
            }
        } else {
            m_error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

std::optional<std::string> CliArguments::Value(const std::string& option) const {
    const auto found = m_values.find(option);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}
