#pragma once
// "About Fakemill": the program's version.

#include "ui/KSDialog.h"

class QLabel;

class CAboutDialog : public CKSDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 100;
    explicit CAboutDialog(QWidget* owner);
    QString VersionText() const;

private:
    QLabel* m_version;
};
