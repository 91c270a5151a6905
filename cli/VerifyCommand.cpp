// verify: checks the files a batch's manifests list against their sizes and SHA-256, several
// files at once, and prints one line per file that is missing, changed, unreadable, outside the
// batch or (for a batch folder) not listed, one per disagreement between manifests, then a
// summary. Exit 0 only when every file matches and nothing else was found.

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "engine/KSManifestVerifier.h"
#include "support/KSString.h"

#include <algorithm>
#include <ostream>
#include <thread>

int RunVerifyCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed({"--ignore-extra"}, {});
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
    std::size_t outside = 0;
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
        case EVerifyOutcome::Outside:
            ++outside;
            io.out << "OUTSIDE " << entry.path << " (outside the batch)\n";
            break;
        }
    }
    for (const std::string& disagreement : verifier.Disagreements()) {
        io.out << "DISAGREE " << disagreement << "\n";
    }
    const std::vector<std::string> extra =
        parsed.Has("--ignore-extra") ? std::vector<std::string>() : verifier.FindExtraFiles();
    for (const std::string& name : extra) {
        io.out << "EXTRA   " << name << "\n";
    }
    io.out << results.size() << " files listed: " << ok << " match, " << changed << " changed, " << missing
           << " missing";
    for (const auto& [count, what] :
         {std::pair{unreadable, "unreadable"}, std::pair{outside, "outside the batch"},
          std::pair{extra.size(), "not listed"},
          std::pair{verifier.Disagreements().size(), "disagreements between manifests"}}) {
        if (count > 0) {
            io.out << ", " << count << " " << what;
        }
    }
    if (verifier.AnyStopped()) {
        io.out << " (the batch was stopped; only its finished files are listed)";
    }
    io.out << "\n";
    return ok == results.size() && extra.empty() && verifier.Disagreements().empty() ? kExitSuccess
                                                                                     : kExitFailure;
}
