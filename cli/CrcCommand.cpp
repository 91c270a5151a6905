// crc: the CRC-32 of each file, with the trailer check on request. Results go to standard
// output; a mismatch, an unreadable file or a file too short for a trailer goes to the error
// stream, naming the file.

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "generators/KSCRCFileCalculator.h"
#include "support/PosixFile.h"

#include <cstdio>
#include <cstring>
#include <ostream>
#include <sys/stat.h>

namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

} // namespace

int RunCrcCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("crc", {"--trailer"}, {});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    if (parsed.Positional().empty()) {
        io.err << "fakemill-cli crc: no file given\n";
        return kExitUsage;
    }
    const bool trailer = parsed.Has("--trailer");
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    int status = kExitSuccess;
    for (const std::string& file : parsed.Positional()) {
        const std::string prefix = "fakemill-cli crc: '" + file + "' ";
        struct stat info {};
        if (file != "-" && ::stat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            io.err << prefix << "is a folder\n";
            status = kExitFailure;
            continue;
        }
        // A FIFO or a device like /dev/zero named on the line would hold the read for ever;
        // "-" is the standard input the caller chose to give.
        if (const std::string why = file == "-" ? std::string() : WhyNotAFile(file); !why.empty()) {
            io.err << prefix << "cannot be read: " << why << "\n";
            status = kExitFailure;
            continue;
        }
        CKSCRCFileCalculator calculator(&quiet);
        calculator.SetFileName(CKSString::FromUtf8(file == "-" ? "/dev/stdin" : file));
        calculator.SetTrailerCheck(trailer);
        calculator.Calculate();
        if (!calculator.WasRead()) {
            io.err << "fakemill-cli crc: cannot read '" << file
                   << "': " << std::strerror(calculator.GetLastError()) << "\n";
            status = kExitFailure;
        } else if (!trailer) {
            io.out << "CRC for " << file << ": " << Hex(calculator.GetResult()) << "\n";
        } else if (calculator.GetBytesRead() < 4) {
            io.err << prefix << "is too short to hold a trailer (" << calculator.GetBytesRead()
                   << " bytes)\n";
            status = kExitFailure;
        } else if (calculator.TrailerMatched()) {
            io.out << file << ": CRC matched. (" << Hex(calculator.GetContentCrc()) << ")\n";
        } else {
            io.err << "fakemill-cli crc: " << file
                   << ": CRC mismatch. Calculated CRC: " << Hex(calculator.GetContentCrc())
                   << ".  Expected CRC: " << Hex(calculator.GetTrailerValue()) << ".\n";
            status = kExitFailure;
        }
    }
    io.out.flush();
    return status;
}
