#pragma once
// Define > Modify: every property of one definition with its description and value, in fields of
// its type. Numbers take the definition syntax (64KB, 1K,10K) and show how they read back. OK
// writes the whole section at once; a refused write keeps the dialog open and says why.

#include "generators/KSFileGeneratorFactory.h"
#include "ui/KSDialog.h"

#include <QString>

#include <memory>

class QLabel;

class CPropertyEditorDialog : public CKSDialog {
    Q_OBJECT
public:
    CPropertyEditorDialog(const CKSString& configFile, const CKSString& name, QWidget* owner = nullptr);
    ~CPropertyEditorDialog() override;

    // False when the section is no definition this program knows.
    bool IsValid() const { return m_generator != nullptr; }
    // The field of a property (a QCheckBox for a yes/no value, a QLineEdit otherwise), or null.
    QWidget* Field(const QString& property) const;
    // How the field's text reads back, shown beside number fields.
    QString ReadBack(const QString& property) const;

protected:
    bool OnOK() override;

private:
    void UpdateReadBack(const QString& property);

    CKSString m_configFile;
    CKSString m_name;
    CKSLogger m_quiet;
    CKSFileGeneratorFactory m_factory;
    std::unique_ptr<CKSFileGenerator> m_generator;
};

// Runs the editor on the definition; true when it wrote the definition.
bool ModifyDefinition(QWidget* owner, const CKSString& configFile, const CKSString& name);
