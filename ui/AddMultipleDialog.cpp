#include "ui/AddMultipleDialog.h"

#include "app/NewDefinition.h"
#include "support/IniProfile.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CAddMultipleDialog::CAddMultipleDialog(const CKSString& from, const CKSString& to, QWidget* owner)
    : CKSDialog(0, owner), m_from(from), m_to(to), m_choices(new QListWidget(this)),
      m_clashes(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Add Definitions"));
    const QString here = QFileInfo(to.ToQString()).fileName();
    for (const CKSString& name : CIniProfile::GetSectionNames(from)) {
        auto* item = new QListWidgetItem(name.ToQString(), m_choices);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        if (DefinitionExists(to, name.View())) {
            m_existing << item->text();
            item->setToolTip(QStringLiteral("Already in %1: OK asks before replacing it").arg(here));
        }
    }
    m_clashes->setObjectName(QStringLiteral("clashes"));
    m_clashes->setWordWrap(true);
    m_clashes->setToolTip(to.ToQString());
    QHBoxLayout* buttons = MakeEndButtons(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Definitions in %1 to add:").arg(from.ToQString()), this));
    layout->addWidget(m_choices, 1);
    layout->addWidget(m_clashes);
    layout->addLayout(buttons);
    connect(m_choices, &QListWidget::itemChanged, this, &CAddMultipleDialog::UpdateClashNote);
    UpdateClashNote();
    resize(420, 360);
}

void CAddMultipleDialog::UpdateClashNote() {
    m_clashes->setVisible(!m_existing.isEmpty());
    if (m_existing.isEmpty()) {
        return;
    }
    QStringList ticked;
    for (int row = 0; row < m_choices->count(); ++row) {
        const QListWidgetItem* item = m_choices->item(row);
        if (item->checkState() == Qt::Checked && m_existing.contains(item->text())) {
            ticked << item->text();
        }
    }
    const QString here = QFileInfo(m_to.ToQString()).fileName();
    const QString already =
        m_existing.size() == m_choices->count()
            ? QStringLiteral("All of them are already in %1.").arg(here)
            : QStringLiteral("Already in %1: %2.").arg(here, m_existing.join(QStringLiteral(", ")));
    m_clashes->setText(
        already + QLatin1Char('\n') +
        (ticked.isEmpty()
             ? QStringLiteral("OK asks before replacing any of them you tick.")
             : QStringLiteral("OK asks before replacing each: %1.").arg(ticked.join(QStringLiteral(", ")))));
}

bool CAddMultipleDialog::OnOK() {
    std::vector<CKSString> names;
    for (int row = 0; row < m_choices->count(); ++row) {
        if (m_choices->item(row)->checkState() == Qt::Checked) {
            names.push_back(CKSString::FromQString(m_choices->item(row)->text()));
        }
    }
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    std::vector<CKSError> failures;
    const auto replace = [this](const CKSString& name) {
        return Prompts().AskYesNo(
            this, res::String(res::kIdsCaption),
            QStringLiteral("A definition named \"%1\" already exists in %2.\n\nReplace it?")
                .arg(name.ToQString(), m_to.ToQString()));
    };
    const std::vector<CKSString> copied = CopyDefinitions(factory, m_from, m_to, names, replace, failures);
    m_copied.insert(m_copied.end(), copied.begin(), copied.end());
    if (!failures.empty()) {
        QStringList lines;
        for (const CKSError& failure : failures) {
            lines << QString::fromStdU16String(failure.Text());
        }
        Prompts().ShowMessage(
            this, res::String(res::kIdsErrorCaption),
            QStringLiteral("Could not add to %1:\n%2").arg(m_to.ToQString(), lines.join(QLatin1Char('\n'))));
    }
    return true;
}

bool AddMultipleDefinitions(QWidget* owner, const CKSString& configFile) {
    const QString from = Prompts().ChooseOpenFile(
        owner, QStringLiteral("Add definitions from"), QString(),
        PortableFilter(QStringLiteral("Configuration files (*.ini);;All (*.*)")), false);
    if (from.isEmpty()) {
        return false;
    }
    CAddMultipleDialog dialog(CKSString::FromQString(from), configFile, owner);
    dialog.DoModal();
    return !dialog.Copied().empty();
}
