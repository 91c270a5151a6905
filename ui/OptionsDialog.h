#pragma once
// "Fakemill - Options": where Generate puts its files (ask each time, or a fixed folder) and the
// separator the hash calculator copies between a file and its value.

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

protected:
    void OnInitDialog() override;
    // Stores the choices; a store that cannot be written is told and the dialog stays open.
    bool OnOK() override;

private:
    void UpdateFolderEnabled();
    void BrowseFolder();

    CFakemillSettings& m_settings;
    QRadioButton* m_prompt;
    QRadioButton* m_fixedFolder;
    QLineEdit* m_folder;
    QWidget* m_browse;
    QLineEdit* m_separator;
    bool m_focusSeparator = false;
};
