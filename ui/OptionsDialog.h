#pragma once
// "Fakemill - Options": where Generate puts its files (ask each time, or a fixed folder), the pause
// after each file, and the separator the hash calculator copies between a file and its value.

#include "ui/KSDialog.h"

#include <cstdint>
#include <optional>

class CFakemillSettings;
class QLineEdit;
class QRadioButton;

class COptionsDialog : public CKSDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 130;

    COptionsDialog(QWidget* owner, CFakemillSettings& settings);

    // Puts the focus on the separator field when the dialog opens ("Set Separator").
    void FocusSeparatorOnOpen() { m_focusSeparator = true; }

    // The separator field's text for a stored character ("\t" and "\n" for the control ones),
    // and the character to store for a text (none for an empty field).
    static QString SeparatorText(std::uint32_t stored);
    static std::optional<std::uint32_t> SeparatorFromText(const QString& text);
    // The pause a text gives in milliseconds: a whole number within the setting's bounds; none
    // for anything else (a sign, a fraction, a word, too large).
    static std::optional<std::uint32_t> PauseFromText(const QString& text);

protected:
    void OnInitDialog() override;
    // Stores the choices; a pause that is not a number of milliseconds, or a store that cannot be
    // written, is told and the dialog stays open.
    bool OnOK() override;

private:
    void UpdateFolderEnabled();
    void FitFolder();
    void BrowseFolder();

    CFakemillSettings& m_settings;
    QRadioButton* m_prompt;
    QRadioButton* m_fixedFolder;
    QLineEdit* m_folder;
    QWidget* m_browse;
    QLineEdit* m_pause;
    QLineEdit* m_separator;
    bool m_focusSeparator = false;
};
