#pragma once
// Runs fakemill-cli in-process and keeps what it printed.

#include "cli/Commands.h"

#include <sstream>
#include <string>
#include <vector>

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

inline CliResult RunCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    CliStreams io{out, err, false};
    const int status = RunFakemillCli(args, io);
    return {status, out.str(), err.str()};
}
