#pragma once
// A small parser for the command line of one subcommand: options with and without values,
// then positional arguments. Errors are usage errors (exit status 2).

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CliArguments {
public:
    // flags: options without a value ("--lower"); valued: options that take one ("-a", "--sep").
    CliArguments(std::set<std::string> flags, std::set<std::string> valued);

    // False with Error() set for an unknown option or a missing value. "--" ends the options.
    bool Parse(const std::vector<std::string>& args);

    bool Has(const std::string& option) const {
        return m_flagsSeen.count(option) > 0 || m_values.count(option) > 0;
    }
    std::optional<std::string> Value(const std::string& option) const;
    const std::vector<std::string>& Positional() const { return m_positional; }
    const std::string& Error() const { return m_error; }

private:
    std::set<std::string> m_flags;
    std::set<std::string> m_valued;
    std::set<std::string> m_flagsSeen;
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
    std::string m_error;
};
