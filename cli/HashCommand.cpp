#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "support/KSWinCrypto.h"
#include "tools/FileHasher.h"
#include "tools/HashKinds.h"

#include <cstring>
#include <map>
#include <ostream>

namespace {

bool ParseSeparator(const std::string& text, char16_t& separator) {
    if (text == "\\t") {
        separator = u'\t';
        return true;
    }
    if (text == "\\n") {
        separator = u'\n';
        return true;
    }
    const std::u16string wide = Utf8ToUtf16(text);
    if (wide.size() != 1) {
        return false;
    }
    separator = wide[0];
    return true;
}

} // namespace

int RunHashCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed({"--prefix-0x", "--lower", "--path"}, {"-a", "--algorithm", "--sep"});
    if (!parsed.Parse(args)) {
        io.err << "fakemill-cli hash: " << parsed.Error() << "\n";
        return kExitUsage;
    }
    static const std::map<std::string, std::uint32_t> algorithms = {
        {"crc", kHashCodeCrc}, {"md5", kHashCodeMd5}, {"sha1", kHashCodeSha1}, {"sha256", kHashCodeSha256}};
    std::string algorithm = parsed.Value("-a").value_or(parsed.Value("--algorithm").value_or("crc"));
    const auto found = algorithms.find(algorithm);
    if (found == algorithms.end()) {
        io.err << "fakemill-cli hash: unknown algorithm '" << algorithm << "' (crc, md5, sha1 or sha256)\n";
        return kExitUsage;
    }
    char16_t separator = u':';
    if (const auto sep = parsed.Value("--sep"); sep && !ParseSeparator(*sep, separator)) {
        io.err << "fakemill-cli hash: the separator must be one character, \\t or \\n, not '" << *sep
               << "'\n";
        return kExitUsage;
    }
    if (parsed.Positional().empty()) {
        io.err << "fakemill-cli hash: no file given\n";
        return kExitUsage;
    }
    std::uint32_t options = 0;
    options |= parsed.Has("--prefix-0x") ? kCopyPrefix0x : 0;
    options |= parsed.Has("--path") ? kCopyPathAndHash : 0;
    options |= parsed.Has("--lower") ? kCopyLowerCase : 0;

    int status = kExitSuccess;
    for (const std::string& file : parsed.Positional()) {
        CKSString hash;
        std::uint32_t error = 0;
        if (!HashFileWithCode(CKSString::FromUtf8(file), found->second, &CDebugErrHandler::Instance(), hash,
                              &error)) {
            io.err << "fakemill-cli hash: cannot read '" << file << "'" << (error != 0 ? ": " : "")
                   << (error != 0 ? std::strerror(static_cast<int>(error)) : "") << "\n";
            status = kExitFailure;
            continue;
        }
        io.out << Utf16ToUtf8(FormatCopyLine(Utf8ToUtf16(file), hash, options, separator));
    }
    io.out.flush();
    return status;
}
