// crc: the CRC calculator's lines for each file, with the trailer check on request.

#include "cli/CliArguments.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include "generators/KSCRCFileCalculator.h"

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
        CKSCRCFileCalculator calculator(&logger);
        calculator.SetFileName(CKSString::FromUtf8(file));
        calculator.SetTrailerCheck(parsed.Has("--trailer"));
        calculator.Calculate();
        if (!calculator.WasRead() || (parsed.Has("--trailer") && !calculator.TrailerMatched())) {
            status = kExitFailure;
        }
    }
    return status;
}
