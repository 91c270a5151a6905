#pragma once
// Runs fakemill-cli in this process and keeps what it printed.

#include "cli/Commands.h"

#include <sstream>
#include <string>
#include <vector>

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun RunCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    CliStreams io{out, err};
    const int status = RunFakemillCli(args, io);
    return {status, out.str(), err.str()};
}
