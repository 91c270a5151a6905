#include "ui/OptionsDialog.h"

#include "properties/FakemillSettings.h"
#include "properties/KSRegUtil.h"
#include "support/MakePath.h"
#include "tools/HashKinds.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QPushButton* Button(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QStringLiteral("idc%1").arg(id));
    button->setAutoDefault(false);
    return button;
}

} // namespace

COptionsDialog::COptionsDialog(QWidget* owner)
    : CKSDialog(kTemplateId, owner),
      m_prompt(new QRadioButton(QStringLiteral("&Prompt for destination directory"), this)),
      m_fixedFolder(new QRadioButton(QStringLiteral("Generate to this &Directory:"), this)),
      m_folder(new QLineEdit(this)), m_separator(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Fakemill - Options"));
    m_prompt->setObjectName(QStringLiteral("idc%1").arg(kIdPrompt));
    m_fixedFolder->setObjectName(QStringLiteral("idc%1").arg(kIdFixedFolder));
    m_folder->setObjectName(QStringLiteral("idc%1").arg(kIdFolder));
    m_separator->setObjectName(QStringLiteral("idc%1").arg(kIdSeparator));
    // Two characters, so that the field can show "\t" and "\n".
    m_separator->setMaxLength(2);
    m_separator->setMaximumWidth(48);

    QPushButton* browse = Button(this, QStringLiteral("&Browse"), kIdBrowse);
    m_browse = browse;
    auto* generating = new QGroupBox(QStringLiteral("When Generating"), this);
    auto* generatingLayout = new QGridLayout(generating);
    generatingLayout->addWidget(m_prompt, 0, 0, 1, 2);
    generatingLayout->addWidget(m_fixedFolder, 1, 0, 1, 2);
    generatingLayout->addWidget(m_folder, 2, 0);
    generatingLayout->addWidget(browse, 2, 1);

    QPushButton* tab = Button(this, QStringLiteral("&Tab"), kIdTab);
    QPushButton* newline = Button(this, QStringLiteral("&Newline"), kIdNewline);
    auto* separator = new QGroupBox(QStringLiteral("Separator when copying"), this);
    auto* separatorLayout = new QHBoxLayout(separator);
    separatorLayout->addWidget(m_separator);
    separatorLayout->addWidget(tab);
    separatorLayout->addWidget(newline);
    separatorLayout->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(generating);
    layout->addWidget(separator);
    layout->addLayout(MakeEndButtons(true));

    AddCommand(browse, kIdBrowse);
    AddCommand(tab, kIdTab);
    AddCommand(newline, kIdNewline);
    connect(m_prompt, &QRadioButton::toggled, this, &COptionsDialog::UpdateFolderEnabled);

    const CFakemillSettings settings;
    std::uint32_t prompt = 0;
    settings.GetGeneratorPrompt(prompt);
    (prompt == 0 ? m_prompt : m_fixedFolder)->setChecked(true);
    CKSString folder;
    if (settings.GetGeneratorPath(folder)) {
        m_folder->setText(folder.ToQString());
    } else {
        m_folder->setText(QDir(KnownFolderPath(KnownFolder::Documents).ToQString()).filePath("testfiles"));
    }
    std::uint32_t stored = 0;
    KSRegUtil(CKeyPathMaker::Application().Get().View()).ReadDword(settings_value::kCopySeparator, stored);
    m_separator->setText(SeparatorText(stored));
    UpdateFolderEnabled();
}

QString COptionsDialog::SeparatorText(std::uint32_t stored) {
    const char16_t separator = CopySeparatorOrDefault(stored);
    if (separator == u'\t') {
        return QStringLiteral("\\t");
    }
    if (separator == u'\n') {
        return QStringLiteral("\\n");
    }
    return QString(QChar(separator));
}

std::optional<std::uint32_t> COptionsDialog::SeparatorFromText(const QString& text) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (text == QStringLiteral("\\t")) {
        return u'\t';
    }
    if (text == QStringLiteral("\\n")) {
        return u'\n';
    }
    return text.at(0).unicode();
}

void COptionsDialog::OnInitDialog() {
    if (m_focusSeparator) {
        m_separator->setFocus();
        m_separator->selectAll();
    }
}

void COptionsDialog::OnCommand(int id) {
    switch (id) {
    case kIdBrowse: {
        const QString folder =
            Prompts().ChooseFolder(this, QStringLiteral("Set Generate Destination"), m_folder->text());
        if (!folder.isEmpty()) {
            m_folder->setText(folder);
        }
        break;
    }
    case kIdTab:
        m_separator->setText(QStringLiteral("\\t"));
        break;
    case kIdNewline:
        m_separator->setText(QStringLiteral("\\n"));
        break;
    default:
        break;
    }
}

bool COptionsDialog::OnOK() {
    const CFakemillSettings settings;
    if (m_prompt->isChecked()) {
        settings.SetGeneratorPrompt(0);
    } else {
        settings.SetGeneratorPrompt(1);
        settings.SetGeneratorPath(CKSString::FromQString(m_folder->text()).View());
    }
    if (const auto separator = SeparatorFromText(m_separator->text())) {
        KSRegUtil(CKeyPathMaker::Application().Get().View())
            .WriteDword(settings_value::kCopySeparator, *separator);
    }
    return true;
}

void COptionsDialog::UpdateFolderEnabled() {
    const bool fixed = !m_prompt->isChecked();
    m_folder->setEnabled(fixed);
    m_browse->setEnabled(fixed);
}
