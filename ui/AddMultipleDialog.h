#pragma once
// Define > Add Multiple: the definitions of another configuration file, to tick and copy into this
// one. A name that exists here is replaced, as a whole section, only after asking.

#include "support/KSString.h"
#include "ui/KSDialog.h"

#include <vector>

class QListWidget;

class CAddMultipleDialog : public CKSDialog {
    Q_OBJECT
public:
    CAddMultipleDialog(const CKSString& from, const CKSString& to, QWidget* owner = nullptr);

    QListWidget* Choices() const { return m_choices; }
    // The definitions copied by OK.
    const std::vector<CKSString>& Copied() const { return m_copied; }

protected:
    bool OnOK() override;

private:
    CKSString m_from;
    CKSString m_to;
    QListWidget* m_choices;
    std::vector<CKSString> m_copied;
};

// Asks for a configuration file, then for the definitions to copy from it; true when any was
// copied.
bool AddMultipleDefinitions(QWidget* owner, const CKSString& configFile);
