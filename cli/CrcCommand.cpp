// crc: the CRC calculator's lines for each file, with the trailer check on request.

#include "cli/CliArguments.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include "generators/KSCRCFileCalculator.h"
#include "support/PosixFile.h"

#include <ostream>
#include <sys/stat.h>

int RunCrcCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed({"--trailer"}, {});
    if (!parsed.Parse(args)) {
        io.err << "fakemill-cli crc: " << parsed.Error() << "\n";
        return kExitUsage;
    }
    if (parsed.Positional().empty()) {
        io.err << "fakemill-cli crc: no file given\n";
        return kExitUsage;
    }
    CStreamOutput output(io.out, io.outIsTerminal);
    CKSLogger logger;
    logger.SetLevel(CKSLogger::kLevelInfo);
    logger.SetOutput(&output);
    int status = kExitSuccess;
    for (const std::string& file : parsed.Positional()) {
        struct stat info {};
        if (::stat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            io.err << "fakemill-cli crc: '" << file << "' is a folder\n";
            status = kExitFailure;
            continue;
        }
        // A FIFO or a device like /dev/zero would hold the read for ever.
        if (const std::string why = WhyNotAFile(file); !why.empty()) {
            io.err << "fakemill-cli crc: '" << file << "' cannot be read: " << why << "\n";
            status = kExitFailure;
            continue;
        }
        CKSCRCFileCalculator calculator(&logger);
        calculator.SetFileName(CKSString::FromUtf8(file));
        calculator.SetTrailerCheck(parsed.Has("--trailer"));
        calculator.Calculate();
        if (!calculator.WasRead() || (parsed.Has("--trailer") && !calculator.TrailerMatched())) {
            status = kExitFailure;
        }
        if (parsed.Has("--trailer") && calculator.WasRead() && ::stat(file.c_str(), &info) == 0 &&
            info.st_size < 4) {
            io.err << "fakemill-cli crc: '" << file << "' is too short to hold a trailer (" << info.st_size
                   << " bytes)\n";
        }
    }
    return status;
}
