#include "ui/PropertyEditorDialog.h"

#include "app/NewDefinition.h"
#include "generators/DamageCatalogue.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

bool IsNumber(PropertyType type) {
    return type == PropertyType::LONG || type == PropertyType::RANGE || type == PropertyType::LIMIT ||
           type == PropertyType::LIST;
}

QString ReadBackName(const QString& property) {
    return property + QStringLiteral(".readBack");
}

} // namespace

CPropertyEditorDialog::CPropertyEditorDialog(const CKSString& configFile, const CKSString& name,
                                             QWidget* owner)
    : CKSDialog(0, owner), m_configFile(configFile), m_name(name), m_factory(&m_quiet) {
    m_quiet.SetLevel(CKSLogger::kLevelNone);
    setWindowTitle(QStringLiteral("Modify %1").arg(name.ToQString()));
    m_generator = m_factory.CreateFromSection(configFile, name.View());

    auto* grid = new QGridLayout;
    auto* fields = new QWidget;
    fields->setLayout(grid);
    int row = 0;
    if (m_generator) {
        m_generator->GetProperties().ForEachProperty([&](const CKSProperty& property) {
            const QString key = property.GetName().ToQString();
            auto* label = new QLabel(key, fields);
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
            grid->addWidget(label, row, 0);
            if (property.GetType() == PropertyType::BOOL) {
                auto* box = new QCheckBox(fields);
                box->setObjectName(key);
                box->setChecked(property.GetBoolValue());
                grid->addWidget(box, row, 1);
            } else {
                CKSString text;
                property.FormatValue(text);
                auto* edit = new QLineEdit(text.ToQString(), fields);
                edit->setObjectName(key);
                // The kind decides which properties a definition has: it is not changed here.
                edit->setReadOnly(key == QStringLiteral("Type"));
                grid->addWidget(edit, row, 1);
                if (IsNumber(property.GetType())) {
                    auto* readBack = new QLabel(fields);
                    readBack->setObjectName(ReadBackName(key));
                    grid->addWidget(readBack, row, 2);
                    connect(edit, &QLineEdit::textChanged, this, [this, key] { UpdateReadBack(key); });
                }
            }
            auto* description = new QLabel(property.GetDescription().ToQString(), fields);
            description->setEnabled(false);
            if (key == QStringLiteral("Damage")) {
                // The classes this definition's files can take, one line each.
                QString classes;
                for (const CDamageClassInfo& info : DamageClassesOf(m_generator->DamageFormat())) {
                    classes +=
                        QString::fromStdString(std::string(info.name) + ": " + std::string(info.does)) +
                        QLatin1Char('\n');
                }
                description->setText(description->text() + QStringLiteral("\n") + classes.trimmed());
            }
            grid->addWidget(description, row + 1, 1, 1, 2);
            row += 2;
        });
    }
    grid->setColumnStretch(1, 1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(fields);
    scroll->setWidgetResizable(true);

    QHBoxLayout* buttons = MakeEndButtons(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons);
    resize(520, 560);
    if (m_generator) {
        m_generator->GetProperties().ForEachProperty([this](const CKSProperty& property) {
            if (IsNumber(property.GetType())) {
                UpdateReadBack(property.GetName().ToQString());
            }
        });
    }
}

CPropertyEditorDialog::~CPropertyEditorDialog() = default;

QWidget* CPropertyEditorDialog::Field(const QString& property) const {
    return findChild<QWidget*>(property);
}

QString CPropertyEditorDialog::ReadBack(const QString& property) const {
    const auto* label = findChild<QLabel*>(ReadBackName(property));
    return label != nullptr ? label->text() : QString();
}

void CPropertyEditorDialog::UpdateReadBack(const QString& property) {
    const auto* edit = findChild<QLineEdit*>(property);
    auto* label = findChild<QLabel*>(ReadBackName(property));
    const CKSProperty* found =
        m_generator ? m_generator->GetProperties().Find(property.toStdU16String()) : nullptr;
    if (edit == nullptr || label == nullptr || found == nullptr) {
        return;
    }
    CKSString shown;
    label->setText(ReadBackValue(*found, edit->text().toStdU16String(), shown)
                       ? QStringLiteral("= %1").arg(shown.ToQString())
                       : QStringLiteral("(no value)"));
}

bool CPropertyEditorDialog::OnOK() {
    if (!m_generator) {
        return true;
    }
    // Edit a copy, so that a refused write leaves the dialog's definition as it was read.
    CKSPropertyList edited = m_generator->GetProperties();
    edited.ForEachProperty([this, &edited](const CKSProperty& property) {
        CKSProperty& target = edited.Get(property.GetName().View());
        QWidget* field = Field(property.GetName().ToQString());
        if (const auto* box = qobject_cast<QCheckBox*>(field)) {
            target.SetBoolValue(box->isChecked());
        } else if (const auto* edit = qobject_cast<QLineEdit*>(field)) {
            SetValueFromText(target, edit->text().toStdU16String());
        }
    });
    // A value define refuses is refused here too, before anything is written, naming the key.
    QString refused;
    edited.ForEachProperty([this, &refused](const CKSProperty& property) {
        if (!refused.isEmpty() || property.GetType() != PropertyType::RANGE) {
            return;
        }
        if (const std::u16string problem = property.GetRangeValue().Problem(); !problem.empty()) {
            const QString key = property.GetName().ToQString();
            const auto* edit = qobject_cast<QLineEdit*>(Field(key));
            refused =
                QStringLiteral("%1=%2 cannot be used: %3")
                    .arg(key, edit != nullptr ? edit->text() : QString(), QString::fromStdU16String(problem));
        }
    });
    if (!refused.isEmpty()) {
        Prompts().ShowError(this, res::String(res::kIdsErrorCaption), refused);
        return false;
    }
    if (const std::u16string problem = CheckFileOptions(m_factory, edited); !problem.empty()) {
        Prompts().ShowError(this, res::String(res::kIdsErrorCaption),
                            QStringLiteral("The definition \"%1\" cannot be written:\n%2")
                                .arg(m_name.ToQString(), QString::fromStdU16String(problem)));
        return false;
    }
    if (const CKSError error = WriteDefinition(m_configFile, m_name.View(), edited); error.Failed()) {
        Prompts().ShowError(this, res::String(res::kIdsErrorCaption),
                            QStringLiteral("Could not write the definition \"%1\" to %2:\n%3")
                                .arg(m_name.ToQString(), m_configFile.ToQString(),
                                     QString::fromStdU16String(error.Reason())));
        return false;
    }
    return true;
}

bool ModifyDefinition(QWidget* owner, const CKSString& configFile, const CKSString& name) {
    CPropertyEditorDialog editor(configFile, name, owner);
    if (!editor.IsValid()) {
        Prompts().ShowMessage(
            owner, res::String(res::kIdsCaption),
            QStringLiteral("\"%1\" is not a definition that can be modified here.").arg(name.ToQString()));
        return false;
    }
    return editor.DoModal() == res::kIdOk;
}
