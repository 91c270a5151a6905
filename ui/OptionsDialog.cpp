#include "ui/OptionsDialog.h"

#include "properties/FakemillSettings.h"
#include "support/MakePath.h"
#include "tools/HashKinds.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton* Button(QWidget* parent, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

COptionsDialog::COptionsDialog(QWidget* owner, CFakemillSettings& settings)
    : CKSDialog(kTemplateId, owner), m_settings(settings),
      m_prompt(new QRadioButton(QStringLiteral("&Prompt for destination directory"), this)),
      m_fixedFolder(new QRadioButton(QStringLiteral("Generate to this &Directory:"), this)),
      m_folder(new QLineEdit(this)), m_pause(new QLineEdit(this)), m_separator(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Fakemill - Options"));
    m_prompt->setObjectName(QStringLiteral("promptForDestination"));
    m_fixedFolder->setObjectName(QStringLiteral("fixedFolder"));
    m_folder->setObjectName(QStringLiteral("folder"));
    m_pause->setObjectName(QStringLiteral("pause"));
    m_pause->setMaximumWidth(80);
    m_separator->setObjectName(QStringLiteral("separator"));
    // Two characters, so that the field can show "\t" and "\n".
    m_separator->setMaxLength(2);
    m_separator->setMaximumWidth(48);

    QPushButton* browse = Button(this, QStringLiteral("&Browse"), "browse");
    m_browse = browse;
    auto* generating = new QGroupBox(QStringLiteral("When Generating"), this);
    auto* generatingLayout = new QGridLayout(generating);
    generatingLayout->addWidget(m_prompt, 0, 0, 1, 2);
    generatingLayout->addWidget(m_fixedFolder, 1, 0, 1, 2);
    generatingLayout->addWidget(m_folder, 2, 0);
    generatingLayout->addWidget(browse, 2, 1);
    auto* pauseRow = new QHBoxLayout;
    auto* pauseLabel = new QLabel(QStringLiteral("Pa&use after each file:"), generating);
    pauseLabel->setBuddy(m_pause);
    pauseRow->addWidget(pauseLabel);
    pauseRow->addWidget(m_pause);
    pauseRow->addWidget(new QLabel(QStringLiteral("ms (0 for full speed)"), generating));
    pauseRow->addStretch(1);
    generatingLayout->addLayout(pauseRow, 3, 0, 1, 2);

    QPushButton* tab = Button(this, QStringLiteral("&Tab"), "tab");
    QPushButton* newline = Button(this, QStringLiteral("&Newline"), "newline");
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

    connect(browse, &QPushButton::clicked, this, &COptionsDialog::BrowseFolder);
    connect(tab, &QPushButton::clicked, this, [this] { m_separator->setText(QStringLiteral("\\t")); });
    connect(newline, &QPushButton::clicked, this, [this] { m_separator->setText(QStringLiteral("\\n")); });
    connect(m_prompt, &QRadioButton::toggled, this, &COptionsDialog::UpdateFolderEnabled);

    (settings.ShouldPromptForDestination() ? m_prompt : m_fixedFolder)->setChecked(true);
    CKSString folder;
    if (settings.Get(settings_key::kGeneratorPath, folder)) {
        m_folder->setText(folder.ToQString());
    } else {
        m_folder->setText(QDir(KnownFolderPath(KnownFolder::Documents).ToQString()).filePath("testfiles"));
    }
    m_pause->setText(QString::number(settings.Get(settings_key::kGeneratorPause)));
    m_separator->setText(SeparatorText(settings.Get(settings_key::kCopySeparator)));
    UpdateFolderEnabled();
    connect(m_folder, &QLineEdit::textChanged, this, &COptionsDialog::FitFolder);
    FitFolder();
}

void COptionsDialog::FitFolder() {
    // The whole folder shows, up to a width that still fits a small screen; the tooltip holds it whole.
    constexpr int kWidestField = 640;
    constexpr int kFieldMargins = 16;
    const int wanted = m_folder->fontMetrics().horizontalAdvance(m_folder->text()) + kFieldMargins;
    m_folder->setMinimumWidth(std::min(wanted, kWidestField));
    m_folder->setToolTip(m_folder->text());
    m_folder->setCursorPosition(0);
    adjustSize();
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

std::optional<std::uint32_t> COptionsDialog::PauseFromText(const QString& text) {
    const QString trimmed = text.trimmed();
    // Digits only: toUInt alone would take a sign or a base prefix.
    if (trimmed.isEmpty() || trimmed.size() > 9 ||
        !std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return std::nullopt;
    }
    const std::uint32_t pause = trimmed.toUInt();
    if (pause < settings_key::kGeneratorPause.lowest || pause > settings_key::kGeneratorPause.highest) {
        return std::nullopt;
    }
    return pause;
}

void COptionsDialog::OnInitDialog() {
    if (m_focusSeparator) {
        m_separator->setFocus();
        m_separator->selectAll();
    }
}

void COptionsDialog::BrowseFolder() {
    const QString folder =
        Prompts().ChooseFolder(this, QStringLiteral("Set Generate Destination"), m_folder->text());
    if (!folder.isEmpty()) {
        m_folder->setText(folder);
    }
}

bool COptionsDialog::OnOK() {
    const std::optional<std::uint32_t> pause = PauseFromText(m_pause->text());
    if (!pause) {
        ShowMessage(
            res::kIdsErrorCaption,
            QStringLiteral("The pause after each file is a whole number of milliseconds from 0 to %1, "
                           "not \"%2\".")
                .arg(settings_key::kGeneratorPause.highest)
                .arg(m_pause->text()));
        m_pause->setFocus();
        m_pause->selectAll();
        return false;
    }
    bool stored = m_settings.Set(settings_key::kGeneratorPause, *pause);
    if (m_prompt->isChecked()) {
        stored = m_settings.Set(settings_key::kGeneratorPrompt, 0) && stored;
    } else {
        stored =
            m_settings.Set(settings_key::kGeneratorPrompt, 1) &&
            m_settings.Set(settings_key::kGeneratorPath, CKSString::FromQString(m_folder->text()).View()) &&
            stored;
    }
    if (const auto separator = SeparatorFromText(m_separator->text())) {
        stored = m_settings.Set(settings_key::kCopySeparator, *separator) && stored;
    }
    const CKSError failure = m_settings.Save();
    if (failure.Failed() || !stored) {
        ShowMessage(res::kIdsErrorCaption,
                    failure.Failed() ? QString::fromStdU16String(failure.Text())
                                     : QStringLiteral("The folder is longer than the settings can hold."));
        return false;
    }
    return true;
}

void COptionsDialog::UpdateFolderEnabled() {
    const bool fixed = !m_prompt->isChecked();
    m_folder->setEnabled(fixed);
    m_browse->setEnabled(fixed);
}
