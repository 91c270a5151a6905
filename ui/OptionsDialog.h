#pragma once
// "Fakemill - Options": where Generate puts its files (ask each time, or a fixed folder) and the
// separator the hash calculator copies between a file and its value.

#include "ui/KSDialog.h"

#include <cstdint>
#include <optional>

class QLineEdit;
class QRadioButton;

class COptionsDialog : public CKSDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 130;
    static constexpr int kIdPrompt = 1001;
    static constexpr int kIdFixedFolder = 1003;
    static constexpr int kIdFolder = 1004;
    static constexpr int kIdBrowse = 1006;
    static constexpr int kIdSeparator = 1039;
    static constexpr int kIdTab = 1040;
    static constexpr int kIdNewline = 1041;

    explicit COptionsDialog(QWidget* owner);

    // Puts the focus on the separator field when the dialog opens ("Set Separator").
    void FocusSeparatorOnOpen() { m_focusSeparator = true; }

    // The separator field's text for a stored character ("\t" and "\n" for the control ones),
    // and the character to store for a text (none for an empty field).
    static QString SeparatorText(std::uint32_t stored);
    static std::optional<std::uint32_t> SeparatorFromText(const QString& text);

protected:
    void OnInitDialog() override;
    void OnCommand(int id) override;
    bool OnOK() override;

private:
    void UpdateFolderEnabled();

    QRadioButton* m_prompt;
    QRadioButton* m_fixedFolder;
    QLineEdit* m_folder;
    QWidget* m_browse;
    QLineEdit* m_separator;
    bool m_focusSeparator = false;
};
