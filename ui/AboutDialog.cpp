#include "ui/AboutDialog.h"

#include "support/VersionInfo.h"
#include "ui/Resources.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDialog::CAboutDialog(QWidget* owner) : CKSDialog(kTemplateId, owner), m_version(new QLabel(this)) {
    setWindowTitle(QStringLiteral("About Fakemill"));
    m_version->setObjectName(QStringLiteral("version"));
    m_version->setText(QStringLiteral("Version ") + CVersionInfoThis().GetVersionText().ToQString());

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* text = new QVBoxLayout;
    text->addWidget(new QLabel(QStringLiteral("Fakemill: test files made to measure"), this));
    text->addWidget(m_version);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(MakeEndButtons(false));
    setFixedSize(sizeHint());
}

QString CAboutDialog::VersionText() const {
    return m_version->text();
}
