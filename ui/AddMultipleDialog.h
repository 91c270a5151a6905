#pragma once
// Define > Add Multiple: the definitions of another configuration file, to tick and copy into this
// one. A note under the list names those this one already has before OK; such a name is replaced,
// as a whole section, only after asking.

#include "support/KSString.h"
#include "ui/KSDialog.h"

#include <vector>

class QLabel;
class QListWidget;

class CAddMultipleDialog : public CKSDialog {
    Q_OBJECT
public:
    CAddMultipleDialog(const CKSString& from, const CKSString& to, QWidget* owner = nullptr);

    QListWidget* Choices() const { return m_choices; }
    // The note on the names this configuration already has; hidden when it has none of them.
    QLabel* ClashNote() const { return m_clashes; }
    // The definitions copied by OK.
    const std::vector<CKSString>& Copied() const { return m_copied; }

protected:
    bool OnOK() override;

private:
    void UpdateClashNote();

    CKSString m_from;
    CKSString m_to;
    QListWidget* m_choices;
    QLabel* m_clashes;
    // The offered names this configuration already has, in list order.
    QStringList m_existing;
    std::vector<CKSString> m_copied;
};

// Asks for a configuration file, then for the definitions to copy from it; true when any was
// copied.
bool AddMultipleDefinitions(QWidget* owner, const CKSString& configFile);
