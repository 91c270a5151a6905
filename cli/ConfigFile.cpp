#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include "app/ConfigInfoUI.h"
#include "properties/ConfigLocation.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Passes the messages of finding the configuration on, but for "Not hopeful finding": finding
// the path says it several times, and on a first run the file is simply not written yet. The
// commands that need the file say it once (CheckConfigForReading).
class CWithoutNotHopeful : public IOutput {
public:
    explicit CWithoutNotHopeful(IOutput& next) : m_next(next) {}
    void Write(std::u16string_view text, bool error) override {
        if (text.find(NotHopefulText()) == std::u16string_view::npos) {
            m_next.Write(text, error);
        }
    }
    void WriteA(std::string_view text) override { m_next.WriteA(text); }

private:
    static std::u16string_view NotHopefulText() {
        static const std::u16string text(std::u16string_view(kNotHopefulFinding).substr(0, 19));
        return text; // "Not hopeful finding"
    }
    IOutput& m_next;
};

} // namespace

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
    CStreamOutput messages(io.err, io.err, true);
    CWithoutNotHopeful filtered(messages);
    CKSLogger logger;
    logger.SetOutput(&filtered);
    if (!LoadOrInitializeConfig(&logger)) {
        io.err << "fakemill-cli: no configuration file could be found or made\n";
        return false;
    }
    path = CConfigInfoUI::Instance().GetConfigFile();
    return true;
}

int CheckConfigForReading(const CKSString& path, bool named, const std::string& command, CliStreams& io) {
    const std::string native = path.ToUtf8();
    const std::string prefix = "fakemill-cli " + command + ": ";
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0) {
        const int error = errno;
        if (error != ENOENT || named) {
            io.err << prefix << "cannot read the configuration file '" << native
                   << "': " << std::strerror(error) << "\n";
            return kExitFailure;
        }
        // The default configuration before its first definition: an empty list, but a command
        // that needs a definition says once that there is no file.
        if (command != "list") {
            io.err << "WARNING:" << Utf16ToUtf8(KSFormat(std::u16string_view(kNotHopefulFinding), path))
                   << "\n";
        }
        return kExitSuccess;
    }
    if (S_ISDIR(info.st_mode)) {
        io.err << prefix << "the configuration file '" << native << "' is a folder\n";
        return kExitFailure;
    }
    if (!S_ISREG(info.st_mode)) {
        io.err << prefix << "the configuration file '" << native << "' is not a regular file\n";
        return kExitFailure;
    }
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        io.err << prefix << "cannot read the configuration file '" << native << "': " << std::strerror(error)
               << "\n";
        return kExitFailure;
    }
    ::close(fd);
    return kExitSuccess;
}

int CliConfig::Resolve(CKSString& path, CliStreams& io) const {
    if (m_option != nullptr && m_option->empty()) {
        io.err << "fakemill-cli: --config needs a file name\n";
        return kExitUsage;
    }
    if (!ResolveConfigFile(m_option, path, io)) {
        return kExitFailure;
    }
    return m_command == "define" ? kExitSuccess
                                 : CheckConfigForReading(path, m_option != nullptr, m_command, io);
}
