#pragma once
// The benchmark drivers' memory figure: the process's peak resident set so far.

#include <cstdlib>
#include <fstream>
#include <string>

// Peak resident memory in KiB (VmHWM), or -1 when the system does not say.
inline long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}
