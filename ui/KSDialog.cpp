#include "ui/KSDialog.h"

#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPushButton>

CKSDialog::CKSDialog(int templateId, QWidget* owner)
    : QDialog(owner), m_templateId(templateId), m_owner(owner) {}

int CKSDialog::DoModal() {
    m_modal = true;
    m_ended = false;
    return exec() == QDialog::Accepted ? res::kIdOk : res::kIdCancel;
}

void CKSDialog::Create() {
    m_modal = false;
    setAttribute(Qt::WA_DeleteOnClose);
    show();
}

void CKSDialog::ShowMessage(int captionId, const QString& text) {
    Prompts().ShowMessage(this, res::String(captionId), text);
}

void CKSDialog::ShowFormattedMessage(int captionId, const QString& format, unsigned argument) {
    QString text = format;
    text.replace(QStringLiteral("%u"), QString::number(argument));
    ShowMessage(captionId, text);
}

void CKSDialog::SetMinimumTrackSize(const QSize& size) {
    setMinimumSize(size.isEmpty() ? QSize(0, 0) : size);
}

void CKSDialog::AddCommand(QAbstractButton* button, int id) {
    connect(button, &QAbstractButton::clicked, this, [this, id] {
        if (id == res::kIdOk) {
            accept();
        } else if (id == res::kIdCancel) {
            reject();
        } else {
            OnCommand(id);
        }
    });
}

QHBoxLayout* CKSDialog::MakeEndButtons(bool withCancel) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    AddCommand(ok, res::kIdOk);
    buttons->addWidget(ok);
    if (withCancel) {
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
        AddCommand(cancel, res::kIdCancel);
        buttons->addWidget(cancel);
    }
    return buttons;
}

void CKSDialog::WatchSelection(QObject* control, int controlId) {
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this, controlId] { OnSelChange(controlId); });
    } else if (auto* view = qobject_cast<QAbstractItemView*>(control); view && view->selectionModel()) {
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, controlId] { OnSelChange(controlId); });
    }
}

void CKSDialog::accept() {
    if (m_ended || !OnOK()) {
        return;
    }
    m_ended = true;
    OnClose();
    QDialog::accept();
}

void CKSDialog::reject() {
    if (m_ended) {
        return;
    }
    m_ended = true;
    OnCancel();
    OnClose();
    QDialog::reject();
}

void CKSDialog::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}
