#include "ui/Resources.h"

#include <QWidget>

namespace res {

QString String(int id) {
    switch (id) {
    case kIdsCaption:
        return QStringLiteral("Fakemill");
    case kIdsNewDefinition:
        return QStringLiteral("New Definition");
    case kIdsNewDefinitionSummary:
        return QStringLiteral("New Definition Summary");
    case kIdsTextDefinition:
        return QStringLiteral("Definition for Text files");
    case kIdsBinaryDefinition:
        return QStringLiteral("Definition for Binary files");
    case kIdsCsvDefinition:
        return QStringLiteral("Definition for CSV files");
    case kIdsImageDefinition:
        return QStringLiteral("Definition for Image files");
    case kIdsCreate:
        return QStringLiteral("&Create");
    case kIdsErrorCaption:
        return QStringLiteral("Fakemill Error");
    case kIdsTooManyFiles:
        return QStringLiteral("Too many files selected. Either select smaller batches, or use drag && drop.");
    case kIdsSelectFilesFailed:
        return QStringLiteral(
            "Sorry, an error occurred and the file(s) could not be selected. If you selected "
            "multiple files, try selecting one at a time to identify which one resulted in "
            "the error. (%u)");
    default:
        return {};
    }
}

} // namespace res

// Outside the namespace: the resource initialiser rcc generates is a global function.
void InitUiResources() {
    Q_INIT_RESOURCE(ui);
}

QIcon ProgramIcon() {
    InitUiResources();
    return QIcon(QStringLiteral(":/icons/fakemill.svg"));
}

void SetProgramIcon(QWidget& window) {
    window.setWindowIcon(ProgramIcon());
}
