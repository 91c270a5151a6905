#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include "app/ConfigInfoUI.h"

#include <ostream>

bool ResolveConfigFile(const std::string* option, CKSString& path, CliStreams& io) {
    if (option != nullptr) {
        if (option->empty()) {
            io.err << "fakemill-cli: --config needs a file name\n";
            return false;
        }
        path = CKSString::FromUtf8(*option);
        return true;
    }
    // The desktop program's way: the environment, the settings, or a new configuration made on
    // the first run. Its messages go to the error stream.
    CStreamOutput messages(io.err, true);
    CKSLogger logger;
    logger.SetOutput(&messages);
    if (!LoadOrInitializeConfig(&logger)) {
        io.err << "fakemill-cli: no configuration file could be found or made\n";
        return false;
    }
    path = CConfigInfoUI::Instance().GetConfigFile();
    return true;
}
