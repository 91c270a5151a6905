#include "ui/GenerateCommand.h"

#include "app/AppContext.h"
#include "support/PosixFile.h"
#include "ui/BatchOutputWnd.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

CBatchOutputWnd* GenerateSelected(QWidget* owner, const std::vector<CKSString>& names, CAppContext& context,
                                  CBatchOptions options) {
    if (names.empty()) {
        return nullptr;
    }
    const CFakemillSettings& settings = context.Settings();
    CKSString destination(u"");
    if (settings.ShouldPromptForDestination()) {
        const QString folder = Prompts().ChooseFolder(owner, QStringLiteral("Select destination"), QString());
        if (folder.isEmpty()) {
            return nullptr;
        }
        destination = CKSString::FromQString(folder);
    } else if (!settings.Get(settings_key::kGeneratorPath, destination)) {
        // No fixed folder recorded: each definition's own "Folder" is used as it stands.
        destination = CKSString(u"");
    }
    if (destination.ToUtf8().size() > kMaxPathBytes) {
        Prompts().ShowMessage(owner, res::String(res::kIdsCaption),
                              QStringLiteral("The destination folder is longer than the system allows:\n%1")
                                  .arg(destination.ToQString().left(200) + QStringLiteral("...")));
        return nullptr;
    }
    const CBatchName batchName(names);
    auto* window = new CBatchOutputWnd(owner, batchName.ToQString());
    // The configuration is the one in use now: switching later does not change a queued batch.
    auto control = context.Worker().SubmitBatch(names, batchName, context.Config().GetConfigFile(),
                                                destination, window->Sink(), options);
    if (!control) {
        delete window;
        return nullptr;
    }
    window->Follow(std::move(control));
    return window;
}
