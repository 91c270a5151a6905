// verify: checks the files a batch's manifest lists against their sizes and SHA-256, several
// files at once, and prints one line per file that is missing, changed or unreadable, then a
// summary. Exit 0 only when every file matches.

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "engine/KSManifestVerifier.h"
#include "support/KSString.h"

#include <algorithm>
#include <ostream>
#include <thread>

int RunVerifyCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed({}, {});
    if (!parsed.Parse(args) || parsed.Positional().size() != 1) {
        io.err << "fakemill-cli verify: name one folder or manifest file\n";
        return kExitUsage;
    }
    CKSManifestVerifier verifier;
    std::string error;
    if (!verifier.Load(CKSString::FromUtf8(parsed.Positional()[0]), error)) {
        io.err << "fakemill-cli verify: " << error << "\n";
        return kExitFailure;
    }
    const std::vector<CVerifyResult> results =
        verifier.Verify(std::max(1u, std::thread::hardware_concurrency()));
    std::size_t ok = 0;
    std::size_t missing = 0;
    std::size_t changed = 0;
    std::size_t unreadable = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const CVerifyEntry& entry = verifier.Entries()[i];
        const CVerifyResult& result = results[i];
        switch (result.outcome) {
        case EVerifyOutcome::Ok:
            ++ok;
            break;
        case EVerifyOutcome::Missing:
            ++missing;
            io.out << "MISSING " << entry.path << "\n";
            break;
        case EVerifyOutcome::SizeChanged:
            ++changed;
            io.out << "SIZE    " << entry.path << " (" << *entry.size << " bytes listed, " << result.foundSize
                   << " found)\n";
            break;
        case EVerifyOutcome::ContentChanged:
            ++changed;
            io.out << "CHANGED " << entry.path << "\n";
            break;
        case EVerifyOutcome::Unreadable:
            ++unreadable;
            io.out << "UNREADABLE " << entry.path << "\n";
            break;
        }
    }
    io.out << results.size() << " files listed: " << ok << " match, " << changed << " changed, " << missing
           << " missing";
    if (unreadable > 0) {
        io.out << ", " << unreadable << " unreadable";
    }
    if (verifier.AnyStopped()) {
        io.out << " (the batch was stopped; only its finished files are listed)";
    }
    io.out << "\n";
    return ok == results.size() ? kExitSuccess : kExitFailure;
}
