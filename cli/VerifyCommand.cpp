// verify: checks the files a batch's manifests list against their sizes and SHA-256, several
// files at once, and prints one line per file that is missing, changed, unreadable, outside the
// batch or (for a batch folder) not listed, one per disagreement between manifests, then a
// summary. Exit 0 only when every file matches and nothing else was found.

#include "cli/CliArguments.h"
#include "cli/CliJson.h"
#include "cli/Commands.h"

#include "engine/KSManifestVerifier.h"
#include "support/KSString.h"

#include <QJsonArray>

#include <algorithm>
#include <ostream>
#include <thread>

int RunVerifyCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("verify", {"--ignore-extra", "--json"}, {});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    if (parsed.Positional().size() != 1) {
        io.err << "fakemill-cli verify: name one folder or manifest file\n";
        return kExitUsage;
    }
    const bool json = parsed.Has("--json");
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
    QJsonArray problems;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const CVerifyEntry& entry = verifier.Entries()[i];
        const CVerifyResult& result = results[i];
        const char* label = nullptr;
        switch (result.outcome) {
        case EVerifyOutcome::Ok:
            ++ok;
            break;
        case EVerifyOutcome::Missing:
            ++missing;
            label = "MISSING";
            break;
        case EVerifyOutcome::SizeChanged:
            ++changed;
            label = "SIZE";
            break;
        case EVerifyOutcome::ContentChanged:
            ++changed;
            label = "CHANGED";
            break;
        case EVerifyOutcome::Unreadable:
            ++unreadable;
            label = "UNREADABLE";
            break;
        case EVerifyOutcome::DamageDiffers:
            ++changed;
            label = "DAMAGE";
            break;
        case EVerifyOutcome::Outside:
            ++outside;
            label = "OUTSIDE";
            break;
        }
        if (label == nullptr) {
            continue;
        }
        const bool sizeDiffers = result.outcome == EVerifyOutcome::SizeChanged;
        const bool damageDiffers = result.outcome == EVerifyOutcome::DamageDiffers;
        if (json) {
            QJsonObject problem{{"outcome", label}, {"path", JsonText(entry.path)}};
            if (sizeDiffers) {
                problem["listedSize"] = static_cast<qint64>(*entry.size);
                problem["foundSize"] = static_cast<qint64>(result.foundSize);
            }
            if (damageDiffers) {
                problem["damageOffset"] = static_cast<qint64>(result.damageOffset);
            }
            problems.append(problem);
        } else if (damageDiffers) {
            io.out << "DAMAGE  " << entry.path << " (the bytes at offset " << result.damageOffset
                   << " are not the damage recorded)\n";
        } else if (sizeDiffers) {
            io.out << "SIZE    " << entry.path << " (" << *entry.size << " bytes listed, " << result.foundSize
                   << " found)\n";
        } else if (result.outcome == EVerifyOutcome::Outside) {
            io.out << "OUTSIDE " << entry.path << " (outside the batch)\n";
        } else {
            io.out << label << ' ' << entry.path << "\n";
        }
    }
    const std::vector<std::string> extra =
        parsed.Has("--ignore-extra") ? std::vector<std::string>() : verifier.FindExtraFiles();
    const bool passed = ok == results.size() && extra.empty() && verifier.Disagreements().empty();
    if (json) {
        QJsonArray disagreements;
        for (const std::string& disagreement : verifier.Disagreements()) {
            disagreements.append(JsonText(disagreement));
        }
        QJsonArray notListed;
        for (const std::string& name : extra) {
            notListed.append(JsonText(name));
        }
        PrintJson(io.out, QJsonObject{{"manifest", JsonText(parsed.Positional()[0])},
                                      {"files", static_cast<qint64>(results.size())},
                                      {"match", static_cast<qint64>(ok)},
                                      {"changed", static_cast<qint64>(changed)},
                                      {"missing", static_cast<qint64>(missing)},
                                      {"unreadable", static_cast<qint64>(unreadable)},
                                      {"outside", static_cast<qint64>(outside)},
                                      {"stopped", verifier.AnyStopped()},
                                      {"problems", problems},
                                      {"extra", notListed},
                                      {"disagreements", disagreements}});
        return passed ? kExitSuccess : kExitFailure;
    }
    for (const std::string& disagreement : verifier.Disagreements()) {
        io.out << "DISAGREE " << disagreement << "\n";
    }
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
    return passed ? kExitSuccess : kExitFailure;
}
