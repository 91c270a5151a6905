#include "ui/HostileFilesBox.h"

#include "app/NewDefinition.h"
#include "engine/HostileNames.h"
#include "generators/DamageCatalogue.h"

#include <QComboBox>
#include <QFormLayout>
#include <QListWidget>
#include <QSpinBox>

#include <algorithm>

CHostileFilesBox::CHostileFilesBox(QWidget* parent, const std::string& format)
    : QGroupBox(QStringLiteral("Files that find bugs"), parent) {
    auto* layout = new QFormLayout(this);
    m_damage = new QListWidget(this);
    m_damage->setObjectName(QStringLiteral("damage"));
    m_damage->setMaximumHeight(120);
    layout->addRow(QStringLiteral("&Damage:"), m_damage);
    m_share = new QSpinBox(this);
    m_share->setObjectName(QStringLiteral("damageShare"));
    m_share->setRange(0, 100);
    m_share->setValue(100);
    m_share->setSuffix(QStringLiteral(" % of the files"));
    layout->addRow(QStringLiteral("Damaged:"), m_share);
    m_names = new QComboBox(this);
    m_names->setObjectName(QStringLiteral("names"));
    for (const CNameStyleInfo& style : NameStyles()) {
        m_names->addItem(QString::fromStdU16String(std::u16string(style.key)) + QStringLiteral(": ") +
                             QString::fromStdU16String(std::u16string(style.does)),
                         QString::fromStdU16String(std::u16string(style.key)));
    }
    // Alt+N is the wizard's "Next >".
    layout->addRow(QStringLiteral("Na&mes:"), m_names);
    SetFormat(format);
}

void CHostileFilesBox::SetFormat(const std::string& format) {
    std::vector<std::string> ticked;
    for (int row = 0; row < m_damage->count(); ++row) {
        if (m_damage->item(row)->checkState() == Qt::Checked) {
            ticked.push_back(m_damage->item(row)->data(Qt::UserRole).toString().toStdString());
        }
    }
    m_damage->clear();
    for (const CDamageClassInfo& info : DamageClassesOf(format)) {
        const QString name = QString::fromStdString(std::string(info.name));
        auto* item = new QListWidgetItem(
            name + QStringLiteral(": ") + QString::fromStdString(std::string(info.does)), m_damage);
        item->setData(Qt::UserRole, name);
        item->setToolTip(QString::fromStdString(std::string(info.reader)));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(std::find(ticked.begin(), ticked.end(), name.toStdString()) != ticked.end()
                                ? Qt::Checked
                                : Qt::Unchecked);
    }
}

void CHostileFilesBox::Answer(NewDefinitionAnswers& answers) const {
    answers.damage.clear();
    for (int row = 0; row < m_damage->count(); ++row) {
        if (m_damage->item(row)->checkState() == Qt::Checked) {
            answers.damage.push_back(m_damage->item(row)->data(Qt::UserRole).toString().toStdString());
        }
    }
    answers.damageShare = static_cast<std::uint64_t>(m_share->value());
    answers.names = m_names->currentData().toString().toStdU16String();
}
