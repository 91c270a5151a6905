// The new-definition wizard, the property editor and Add Multiple over a real configuration file:
// what they write, what they refuse, and that a refused write leaves the file as it was.

#include "UiTestSupport.h"

#include "app/AppContext.h"
#include "generators/KSImageFileGenerator.h"
#include "support/IniProfile.h"
#include "support/MakePath.h"
#include "tests/common/TempDir.h"
#include "ui/AddMultipleDialog.h"
#include "ui/MainWindow.h"
#include "ui/NewDefinitionWizard.h"
#include "ui/PropertyEditorDialog.h"
#include "ui/ToolWindowManager.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>

namespace {

const char kConfiguration[] = "[Existing]\nType=txt\nTextType=4\nNumbersInText=0\n"
                              "[Table]\nType=csv\nColumns=1, 4\nRows=10,20\n";

class DefinitionWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_config = m_dir.File("fakemill.ini");
        WriteFileBytes(m_config, kConfiguration);
    }
    CKSString Config() const { return CKSString::FromUtf8(m_config); }
    QString Value(std::u16string_view section, std::u16string_view key) const {
        return CIniProfile::GetString(Config(), section, key, u"<missing>").ToQString();
    }
    std::unique_ptr<CNewDefinitionWizard> Wizard(const CKSString& config) {
        auto wizard = std::make_unique<CNewDefinitionWizard>(config);
        wizard->Prepare();
        wizard->show();
        return wizard;
    }
    template <typename Widget>
    static Widget* On(QWizard& wizard, int page, const char* name) {
        auto* widget = wizard.page(page)->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void Finish(QWizard& wizard) { wizard.button(QWizard::FinishButton)->click(); }

    TempDir m_dir;
    std::string m_config;
    PromptScript m_prompts;
};

TEST_F(DefinitionWindowsTest, TheWizardsDefaultsMakeATextDefinition) {
    const auto wizard = Wizard(Config());
    using W = CNewDefinitionWizard;
    const QString name = On<QLineEdit>(*wizard, W::kIntroPage, "name")->text();
    ASSERT_TRUE(name.startsWith(QStringLiteral("definition")));
    EXPECT_LT(name.mid(10).toInt(), 4096);
    EXPECT_EQ(On<QComboBox>(*wizard, W::kIntroPage, "kind")->currentText(), QStringLiteral("Text"));
    const QString folder = On<QLineEdit>(*wizard, W::kIntroPage, "folder")->text();
    // Relative, so that the files land under the batch's destination.
    EXPECT_EQ(folder, QStringLiteral("fkmfiles"));
    EXPECT_EQ(wizard->windowTitle(), QStringLiteral("New definition"));

    wizard->next();
    EXPECT_EQ(wizard->currentId(), W::kTextPage);
    EXPECT_EQ(On<QComboBox>(*wizard, W::kTextPage, "textType")->currentText(),
              QStringLiteral("Random Words"));
    EXPECT_TRUE(On<QRadioButton>(*wizard, W::kTextPage, "fromTo")->isChecked());
    EXPECT_FALSE(On<QRadioButton>(*wizard, W::kTextPage, "exactly")->isChecked());
    wizard->next();
    EXPECT_EQ(wizard->currentId(), W::kSummaryPage);
    EXPECT_EQ(wizard->buttonText(QWizard::FinishButton), QStringLiteral("&Create"));
    const std::u16string summary = wizard->SummaryText();
    EXPECT_EQ(QString::fromStdU16String(summary).section(QStringLiteral("\r\n"), 0, 1),
              name + QStringLiteral(" Properties \r\n------------------------"));
    EXPECT_NE(summary.find(u"RANGE: 1024, 2048\r\n"), std::u16string::npos);

    Finish(*wizard);
    EXPECT_TRUE(wizard->IsFinished());
    const std::u16string section = name.toStdU16String();
    EXPECT_EQ(Value(section, u"Type"), QStringLiteral("txt"));
    EXPECT_EQ(Value(section, u"Files"), QStringLiteral("1,1"));
    EXPECT_EQ(Value(section, u"Folder"), folder);
    EXPECT_EQ(Value(section, u"Size"), QStringLiteral("1KB,2KB"));
    EXPECT_EQ(Value(section, u"TextType"), QStringLiteral("2"));
    EXPECT_EQ(Value(section, u"WinLineEnding"), QStringLiteral("0"));
    EXPECT_TRUE(m_prompts->messages.isEmpty());
}

TEST_F(DefinitionWindowsTest, OneNumberInKilobytesAndBackToTheFirstPage) {
    using W = CNewDefinitionWizard;
    const auto wizard = Wizard(Config());
    On<QLineEdit>(*wizard, W::kIntroPage, "name")->setText(QStringLiteral("five"));
    On<QComboBox>(*wizard, W::kIntroPage, "kind")->setCurrentText(QStringLiteral("Binary"));
    wizard->next();
    ASSERT_EQ(wizard->currentId(), W::kBinaryPage);
    On<QRadioButton>(*wizard, W::kBinaryPage, "exactly")->click();
    EXPECT_FALSE(On<QSpinBox>(*wizard, W::kBinaryPage, "second")->isVisible());
    EXPECT_FALSE(On<QRadioButton>(*wizard, W::kBinaryPage, "fromTo")->isChecked());
    On<QSpinBox>(*wizard, W::kBinaryPage, "first")->setValue(5);
    On<QComboBox>(*wizard, W::kBinaryPage, "unit")->setCurrentText(QStringLiteral("Kilobytes (x1024)"));
    wizard->next();
    ASSERT_EQ(wizard->currentId(), W::kSummaryPage);
    // Back from the summary goes to the first page, and each visit shows the summary afresh.
    wizard->button(QWizard::BackButton)->click();
    EXPECT_EQ(wizard->currentId(), W::kIntroPage);
    wizard->next();
    EXPECT_EQ(wizard->currentId(), W::kBinaryPage);
    wizard->button(QWizard::BackButton)->click();
    EXPECT_EQ(wizard->currentId(), W::kIntroPage);
    wizard->next();
    wizard->next();
    const QString summary = QString::fromStdU16String(wizard->SummaryText());
    EXPECT_EQ(summary.count(QStringLiteral("five Properties \r\n")), 1);
    EXPECT_EQ(summary.count(QStringLiteral("RANGE: 5120, 5120")), 1);
    Finish(*wizard);
    EXPECT_EQ(Value(u"five", u"Size"), QStringLiteral("5KB,5KB"));
    EXPECT_EQ(Value(u"five", u"Type"), QStringLiteral("bin"));
}

TEST_F(DefinitionWindowsTest, TheWizardRefusesBadAnswersOnTheirOwnPage) {
    using W = CNewDefinitionWizard;
    const auto wizard = Wizard(Config());
    auto* name = On<QLineEdit>(*wizard, W::kIntroPage, "name");
    for (const QString& bad : {QString(), QStringLiteral("[x]"), QStringLiteral("a\nb")}) {
        name->setText(bad);
        wizard->next();
        EXPECT_EQ(wizard->currentId(), W::kIntroPage);
    }
    EXPECT_EQ(m_prompts->messages.size(), 3);
    name->setText(QStringLiteral("rows"));
    On<QComboBox>(*wizard, W::kIntroPage, "kind")
        ->setCurrentText(QStringLiteral("CSV (Comma Separated Values)"));
    wizard->next();
    ASSERT_EQ(wizard->currentId(), W::kCsvPage);
    // No columns yet: refused, with the reason.
    wizard->next();
    EXPECT_EQ(wizard->currentId(), W::kCsvPage);
    EXPECT_EQ(m_prompts->messages.size(), 4);
    auto* types = On<QListWidget>(*wizard, W::kCsvPage, "columnTypes");
    auto* add = On<QPushButton>(*wizard, W::kCsvPage, "add");
    EXPECT_FALSE(add->isEnabled());
    types->setCurrentRow(2);
    ASSERT_TRUE(add->isEnabled());
    add->click();
    types->setCurrentRow(0);
    add->click();
    add->click();
    // A reversed range is refused too.
    On<QSpinBox>(*wizard, W::kCsvPage, "first")->setValue(100);
    wizard->next();
    EXPECT_EQ(wizard->currentId(), W::kCsvPage);
    EXPECT_EQ(m_prompts->messages.size(), 5);
    On<QSpinBox>(*wizard, W::kCsvPage, "first")->setValue(7);
    On<QCheckBox>(*wizard, W::kCsvPage, "emitHeader")->setChecked(true);
    wizard->next();
    ASSERT_EQ(wizard->currentId(), W::kSummaryPage);
    Finish(*wizard);
    EXPECT_EQ(Value(u"rows", u"Columns"), QStringLiteral("4, 1, 1"));
    EXPECT_EQ(Value(u"rows", u"Rows"), QStringLiteral("7,80"));
    EXPECT_EQ(Value(u"rows", u"EmitHeader"), QStringLiteral("1"));
}

TEST_F(DefinitionWindowsTest, TheWizardSpeaksOfDefinitionsAndGivesEveryControlOnAPageItsOwnKey) {
    using W = CNewDefinitionWizard;
    const auto wizard = Wizard(Config());
    // On every page, with the wizard's own buttons: one key per mnemonic, no batch, no excuses.
    for (int page = W::kIntroPage; page < W::kPageCount; ++page) {
        QStringList texts{wizard->page(page)->title(), wizard->buttonText(QWizard::BackButton),
                          wizard->buttonText(QWizard::NextButton), wizard->buttonText(QWizard::FinishButton)};
        for (const QWidget* widget : wizard->page(page)->findChildren<QWidget*>()) {
            const auto* button = qobject_cast<const QAbstractButton*>(widget);
            const auto* label = qobject_cast<const QLabel*>(widget);
            texts << (button != nullptr ? button->text() : label != nullptr ? label->text() : QString());
        }
        QStringList keys;
        for (const QString& text : texts) {
            const auto at = text.indexOf(QRegularExpression(QStringLiteral("&[^&]")));
            keys << (at >= 0 ? text.mid(at + 1, 1).toLower() : QString());
        }
        keys.removeAll(QString());
        const QString all = keys.join(QLatin1Char(',')) + QLatin1Char('\n') + texts.join(QLatin1Char('\n'));
        EXPECT_EQ(keys.removeDuplicates(), 0) << all.toStdString();
        EXPECT_FALSE(all.contains(QStringLiteral("batch"), Qt::CaseInsensitive)) << all.toStdString();
        EXPECT_FALSE(all.contains(QStringLiteral("work in progress"))) << all.toStdString();
    }

    // Brackets in the name are refused in a tester's words.
    auto* name = On<QLineEdit>(*wizard, W::kIntroPage, "name");
    name->setText(QStringLiteral("a[b"));
    wizard->next();
    EXPECT_EQ(wizard->currentId(), W::kIntroPage);
    EXPECT_EQ(m_prompts->messages,
              QStringList{"A definition's name cannot contain '[' or ']': leave them out of \"a[b\"."});

    // One number or a range as radio buttons; added columns can be removed again.
    name->setText(QStringLiteral("three columns"));
    On<QComboBox>(*wizard, W::kIntroPage, "kind")
        ->setCurrentText(QStringLiteral("CSV (Comma Separated Values)"));
    wizard->next();
    ASSERT_EQ(wizard->currentId(), W::kCsvPage);
    auto* exactly = On<QRadioButton>(*wizard, W::kCsvPage, "exactly");
    EXPECT_EQ(exactly->text(), QStringLiteral("e&xactly"));
    EXPECT_EQ(On<QRadioButton>(*wizard, W::kCsvPage, "fromTo")->text(), QStringLiteral("&from ... to"));
    exactly->click();
    EXPECT_TRUE(exactly->isChecked() && exactly->isEnabled());
    EXPECT_FALSE(On<QSpinBox>(*wizard, W::kCsvPage, "second")->isVisible());
    auto* types = On<QListWidget>(*wizard, W::kCsvPage, "columnTypes");
    auto* columns = On<QListWidget>(*wizard, W::kCsvPage, "columns");
    auto* remove = On<QPushButton>(*wizard, W::kCsvPage, "remove");
    for (const int row : {0, 2, 3, 4}) {
        types->setCurrentRow(row);
        On<QPushButton>(*wizard, W::kCsvPage, "add")->click();
    }
    EXPECT_FALSE(remove->isEnabled());
    for (const int row : {1, 2}) {
        columns->setCurrentRow(row);
        remove->click();
    }

    // However often it is visited, the summary shows one copy, from its first line.
    wizard->next();
    wizard->button(QWizard::BackButton)->click();
    wizard->next();
    wizard->next();
    ASSERT_EQ(wizard->currentId(), W::kSummaryPage);
    auto* summary = On<QPlainTextEdit>(*wizard, W::kSummaryPage, "summary");
    QCoreApplication::processEvents();
    EXPECT_EQ(summary->toPlainText().count(QStringLiteral("Properties")), 1);
    EXPECT_TRUE(summary->toPlainText().startsWith(QStringLiteral("three columns Properties")));
    EXPECT_EQ(summary->textCursor().position(), 0);
    EXPECT_EQ(summary->verticalScrollBar()->value(), 0);
    Finish(*wizard);
    EXPECT_EQ(Value(u"three columns", u"Columns"), QStringLiteral("1, 5"));
    EXPECT_EQ(Value(u"three columns", u"Rows"), QStringLiteral("8,8"));

    // Modify's hint names every image type the files can be made in.
    ASSERT_TRUE(CIniProfile::WriteString(Config(), u"pictures", u"Type", u"img"));
    CPropertyEditorDialog editor(Config(), CKSString(u"pictures"));
    QString hints;
    for (const auto* label : editor.findChildren<QLabel*>()) {
        hints += label->text().startsWith(QStringLiteral("Type of image")) ? label->text() : QString();
    }
    for (const int type : {kImageTypeBmp, kImageTypeJpeg, kImageTypePng, kImageTypeGif}) {
        EXPECT_TRUE(hints.contains(
            QString::fromStdU16String(std::u16string(CKSImageFileGenerator::ExtensionOf(type)))))
            << hints.toStdString() << " lacks type " << type;
    }
}

TEST_F(DefinitionWindowsTest, EveryKindsPageOffersDamageNamesAndTextOptionsThatTheFileTakes) {
    using W = CNewDefinitionWizard;
    const auto ticked = [](QListWidget* list, std::initializer_list<const char*> names) {
        for (int row = 0; row < list->count(); ++row) {
            const QString name = list->item(row)->data(Qt::UserRole).toString();
            const bool tick =
                std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
            list->item(row)->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
        }
    };
    const auto listed = [](QListWidget* list) {
        QStringList names;
        for (int row = 0; row < list->count(); ++row) {
            names << list->item(row)->data(Qt::UserRole).toString();
        }
        return names.join(QLatin1Char(','));
    };

    // A picture's classes follow its format, each class one line saying what it does.
    const auto pictures = Wizard(Config());
    On<QLineEdit>(*pictures, W::kIntroPage, "name")->setText(QStringLiteral("broken pictures"));
    On<QComboBox>(*pictures, W::kIntroPage, "kind")->setCurrentText(QStringLiteral("Image"));
    pictures->next();
    ASSERT_EQ(pictures->currentId(), W::kImagePage);
    auto* damage = On<QListWidget>(*pictures, W::kImagePage, "damage");
    EXPECT_EQ(listed(damage),
              QStringLiteral("truncate,flip,zero,empty,crc,length,dimensions,no-iend,bad-signature"));
    EXPECT_TRUE(damage->item(4)->text().startsWith(QStringLiteral("crc: the CRC of a seeded chunk wrong")));
    ticked(damage, {"truncate", "dimensions"});
    On<QComboBox>(*pictures, W::kImagePage, "imageType")->setCurrentText(QStringLiteral("GIF"));
    EXPECT_EQ(listed(damage), QStringLiteral("truncate,flip,zero,empty,dimensions,no-trailer,lzw"));
    ticked(damage, {"truncate", "lzw"});
    On<QSpinBox>(*pictures, W::kImagePage, "damageShare")->setValue(40);
    On<QComboBox>(*pictures, W::kImagePage, "names")->setCurrentIndex(1);
    pictures->next();
    ASSERT_EQ(pictures->currentId(), W::kSummaryPage);
    EXPECT_NE(pictures->SummaryText().find(u"TEXT: truncate,lzw\r\n"), std::u16string::npos);
    Finish(*pictures);
    EXPECT_EQ(Value(u"broken pictures", u"Damage"), QStringLiteral("truncate,lzw"));
    EXPECT_EQ(Value(u"broken pictures", u"DamageShare"), QStringLiteral("40"));
    EXPECT_EQ(Value(u"broken pictures", u"Names"), QStringLiteral("unicode"));
    EXPECT_EQ(Value(u"broken pictures", u"ImageType"), QStringLiteral("gif"));

    // A table in the rfc4180 style with the new column kinds; damage its encoding cannot hold is
    // refused on the page, with the reason.
    const auto tables = Wizard(Config());
    On<QLineEdit>(*tables, W::kIntroPage, "name")->setText(QStringLiteral("importer"));
    On<QComboBox>(*tables, W::kIntroPage, "kind")
        ->setCurrentText(QStringLiteral("CSV (Comma Separated Values)"));
    tables->next();
    ASSERT_EQ(tables->currentId(), W::kCsvPage);
    auto* types = On<QListWidget>(*tables, W::kCsvPage, "columnTypes");
    ASSERT_EQ(types->count(), 11);
    EXPECT_EQ(types->item(10)->text(), QStringLiteral("UUID"));
    types->setCurrentRow(10);
    On<QPushButton>(*tables, W::kCsvPage, "add")->click();
    types->setCurrentRow(4);
    On<QPushButton>(*tables, W::kCsvPage, "add")->click();
    On<QComboBox>(*tables, W::kCsvPage, "style")->setCurrentText(QStringLiteral("rfc4180"));
    On<QComboBox>(*tables, W::kCsvPage, "dateFormat")->setCurrentText(QStringLiteral("iso"));
    On<QComboBox>(*tables, W::kCsvPage, "encoding")->setCurrentText(QStringLiteral("utf16le"));
    ticked(On<QListWidget>(*tables, W::kCsvPage, "damage"), {"invalid-utf8", "quote"});
    tables->next();
    EXPECT_EQ(tables->currentId(), W::kCsvPage);
    ASSERT_FALSE(m_prompts->messages.isEmpty());
    EXPECT_TRUE(
        m_prompts->messages.back().startsWith(QStringLiteral("Damage=invalid-utf8 needs Encoding utf8")));
    ticked(On<QListWidget>(*tables, W::kCsvPage, "damage"), {"bom", "quote"});
    tables->next();
    ASSERT_EQ(tables->currentId(), W::kSummaryPage);
    Finish(*tables);
    EXPECT_EQ(Value(u"importer", u"Columns"), QStringLiteral("12, 6"));
    EXPECT_EQ(Value(u"importer", u"Style"), QStringLiteral("rfc4180"));
    EXPECT_EQ(Value(u"importer", u"DateFormat"), QStringLiteral("iso"));
    EXPECT_EQ(Value(u"importer", u"Encoding"), QStringLiteral("utf16le"));
    EXPECT_EQ(Value(u"importer", u"Damage"), QStringLiteral("quote,bom"));

    // Modify edits the new keys like any other, lists the classes, and refuses what the files
    // cannot take, leaving the file as it was.
    CPropertyEditorDialog editor(Config(), CKSString(u"importer"));
    ASSERT_TRUE(editor.IsValid());
    auto* edit = qobject_cast<QLineEdit*>(editor.Field(QStringLiteral("Damage")));
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->text(), QStringLiteral("quote,bom"));
    const std::string before = ReadFileBytes(m_config);
    edit->setText(QStringLiteral("quote,crc"));
    editor.show();
    editor.accept();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(ReadFileBytes(m_config), before);
    EXPECT_NE(m_prompts->messages.back().indexOf(QStringLiteral("'crc' is not a damage class")), -1);
    edit->setText(QStringLiteral("ragged"));
    qobject_cast<QLineEdit*>(editor.Field(QStringLiteral("Names")))->setText(QStringLiteral("dash"));
    editor.accept();
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(Value(u"importer", u"Damage"), QStringLiteral("ragged"));
    EXPECT_EQ(Value(u"importer", u"Names"), QStringLiteral("dash"));
}

TEST_F(DefinitionWindowsTest, AnExistingNameIsReplacedWhollyOnlyAfterAskingAndAFailedWriteStays) {
    using W = CNewDefinitionWizard;
    const auto wizard = Wizard(Config());
    On<QLineEdit>(*wizard, W::kIntroPage, "name")->setText(QStringLiteral("existing"));
    On<QComboBox>(*wizard, W::kIntroPage, "kind")->setCurrentText(QStringLiteral("Image"));
    wizard->next();
    On<QComboBox>(*wizard, W::kImagePage, "imageType")->setCurrentText(QStringLiteral("GIF"));
    wizard->next();
    m_prompts->yesNoAnswer = false;
    Finish(*wizard);
    EXPECT_FALSE(wizard->IsFinished());
    EXPECT_EQ(wizard->currentId(), W::kSummaryPage);
    EXPECT_EQ(ReadFileBytes(m_config), kConfiguration);
    ASSERT_EQ(m_prompts->messages.size(), 1);
    EXPECT_TRUE(m_prompts->messages[0].contains(QStringLiteral("\"existing\" already exists")));

    m_prompts->yesNoAnswer = true;
    Finish(*wizard);
    EXPECT_TRUE(wizard->IsFinished());
    EXPECT_EQ(Value(u"Existing", u"Type"), QStringLiteral("img"));
    EXPECT_EQ(Value(u"Existing", u"ImageType"), QStringLiteral("gif"));
    EXPECT_EQ(Value(u"Existing", u"TextType"), QStringLiteral("<missing>"));
    EXPECT_EQ(Value(u"Existing", u"NumbersInText"), QStringLiteral("<missing>"));
    EXPECT_EQ(Value(u"Table", u"Rows"), QStringLiteral("10,20"));

    // A configuration that cannot be written: the user is told and the wizard stays open.
    const auto failing = Wizard(CKSString::FromUtf8(m_config + "/inside.ini"));
    failing->next();
    failing->next();
    Finish(*failing);
    EXPECT_FALSE(failing->IsFinished());
    EXPECT_EQ(failing->currentId(), W::kSummaryPage);
    EXPECT_TRUE(m_prompts->messages.back().startsWith(QStringLiteral("Could not write the definition")));
}

TEST_F(DefinitionWindowsTest, TheEditorShowsTypedFieldsAndWritesAllOrNothing) {
    CPropertyEditorDialog editor(Config(), CKSString(u"Table"));
    ASSERT_TRUE(editor.IsValid());
    auto* rows = qobject_cast<QLineEdit*>(editor.Field(QStringLiteral("Rows")));
    auto* header = qobject_cast<QCheckBox*>(editor.Field(QStringLiteral("EmitHeader")));
    auto* columns = qobject_cast<QLineEdit*>(editor.Field(QStringLiteral("Columns")));
    ASSERT_TRUE(rows && header && columns);
    EXPECT_EQ(rows->text(), QStringLiteral("10,20"));
    EXPECT_EQ(columns->text(), QStringLiteral("1, 4"));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(editor.Field(QStringLiteral("Type")))->isReadOnly());
    rows->setText(QStringLiteral("1024:0x1000"));
    EXPECT_EQ(editor.ReadBack(QStringLiteral("Rows")), QStringLiteral("= 1KB,4KB"));
    header->setChecked(true);

    // An empty column list cannot be written: nothing is, and the dialog stays.
    columns->setText(QString());
    editor.show();
    editor.accept();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(ReadFileBytes(m_config), kConfiguration);
    ASSERT_EQ(m_prompts->messages.size(), 1);

    // A reversed range, which define and the wizard refuse, is refused by name before writing.
    columns->setText(QStringLiteral("5, 3"));
    rows->setText(QStringLiteral("5,3"));
    editor.accept();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(ReadFileBytes(m_config), kConfiguration);
    ASSERT_EQ(m_prompts->messages.size(), 2);
    EXPECT_TRUE(m_prompts->messages[1].startsWith("Rows=5,3 cannot be used: "))
        << m_prompts->messages[1].toStdString();

    rows->setText(QStringLiteral("1024:0x1000"));
    editor.accept();
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(Value(u"Table", u"Rows"), QStringLiteral("1KB,4KB"));
    EXPECT_EQ(Value(u"Table", u"EmitHeader"), QStringLiteral("1"));
    EXPECT_EQ(Value(u"Table", u"Columns"), QStringLiteral("5, 3"));
    EXPECT_EQ(Value(u"Existing", u"TextType"), QStringLiteral("4"));
}

TEST_F(DefinitionWindowsTest, TheEditorRefusesAnUnknownUnitOrAPathInAFileNameAsDefineDoes) {
    CPropertyEditorDialog editor(Config(), CKSString(u"Table"));
    ASSERT_TRUE(editor.IsValid());
    auto* rows = qobject_cast<QLineEdit*>(editor.Field(QStringLiteral("Rows")));
    auto* prefix = qobject_cast<QLineEdit*>(editor.Field(QStringLiteral("Prefix")));
    ASSERT_TRUE(rows && prefix);
    editor.show();
    for (const auto& [field, text, said] :
         {std::tuple{rows, "10 K", "Rows=10 K cannot be used: \" K\" is not a unit"},
          std::tuple{prefix, "../out", "Prefix=../out cannot be used: a part of a file name cannot hold"}}) {
        const QString before = field->text();
        field->setText(QString::fromLatin1(text));
        editor.accept();
        EXPECT_TRUE(editor.isVisible()) << text;
        EXPECT_EQ(ReadFileBytes(m_config), kConfiguration);
        ASSERT_FALSE(m_prompts->messages.isEmpty());
        EXPECT_TRUE(m_prompts->messages.back().contains(QString::fromLatin1(said)))
            << m_prompts->messages.back().toStdString();
        field->setText(before);
    }
    rows->setText(QStringLiteral("2GiB"));
    editor.accept();
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(Value(u"Table", u"Rows"), QStringLiteral("2GB,2GB"));
}

TEST_F(DefinitionWindowsTest, AddMultipleCopiesTheTickedDefinitionsAndAsksBeforeReplacing) {
    const std::string other = m_dir.File("other.ini");
    WriteFileBytes(other, "[New one]\nType=bin\nSize=3KB\n[table]\nType=img\n[Skipped]\nType=bin\n");
    CAddMultipleDialog dialog(CKSString::FromUtf8(other), Config());
    QListWidget* choices = dialog.Choices();
    ASSERT_EQ(choices->count(), 3);
    dialog.show();
    // Before OK, a note names the one already here ("table" is "Table" here) and what OK does.
    QLabel* note = dialog.ClashNote();
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(
        note->text(),
        QStringLiteral("Already in fakemill.ini: table.\nOK asks before replacing any of them you tick."));
    choices->item(0)->setCheckState(Qt::Checked);
    choices->item(1)->setCheckState(Qt::Checked);
    EXPECT_EQ(note->text(),
              QStringLiteral("Already in fakemill.ini: table.\nOK asks before replacing each: table."));
    EXPECT_TRUE(choices->item(1)->toolTip().startsWith(QStringLiteral("Already in fakemill.ini")));
    EXPECT_TRUE(choices->item(0)->toolTip().isEmpty());
    m_prompts->yesNoAnswer = false;
    dialog.accept();
    ASSERT_EQ(dialog.Copied().size(), 1u);
    EXPECT_EQ(Value(u"New one", u"Size"), QStringLiteral("3KB,3KB"));
    EXPECT_EQ(Value(u"Table", u"Type"), QStringLiteral("csv"));
    EXPECT_EQ(Value(u"Skipped", u"Type"), QStringLiteral("<missing>"));
    ASSERT_EQ(m_prompts->messages.size(), 1);
    EXPECT_TRUE(m_prompts->messages[0].contains(QStringLiteral("\"table\" already exists")));

    // Nothing offered is here yet: no note; everything is: no list of names.
    const std::string fresh = m_dir.File("fresh.ini");
    WriteFileBytes(fresh, "[Brand new]\nType=bin\n");
    CAddMultipleDialog none(CKSString::FromUtf8(fresh), Config());
    none.show();
    EXPECT_FALSE(none.ClashNote()->isVisible());
    CAddMultipleDialog all(Config(), Config());
    all.show();
    EXPECT_EQ(
        all.ClashNote()->text(),
        QStringLiteral(
            "All of them are already in fakemill.ini.\nOK asks before replacing any of them you tick."));
}

TEST_F(DefinitionWindowsTest, TheMainWindowsAddCommandRunsTheWizardAndListsTheResult) {
    CAppContext context;
    context.Config().LoadAt(Config());
    CToolWindowManager tools;
    CMainWindow window(context, tools);
    window.Reload();
    ASSERT_EQ(window.DefinitionList()->model()->rowCount(), 2);
    bool driven = false;
    QTimer::singleShot(0, [&] {
        auto* wizard = qobject_cast<CNewDefinitionWizard*>(QApplication::activeModalWidget());
        ASSERT_NE(wizard, nullptr);
        wizard->page(CNewDefinitionWizard::kIntroPage)
            ->findChild<QLineEdit*>(QStringLiteral("name"))
            ->setText(QStringLiteral("added"));
        wizard->next();
        wizard->next();
        wizard->button(QWizard::FinishButton)->click();
        driven = true;
    });
    window.Command(res::kCmdAddDefinition)->trigger();
    ASSERT_TRUE(driven);
    const QAbstractItemModel* model = window.DefinitionList()->model();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->data(model->index(2, 0)).toString(), QStringLiteral("added"));
}

} // namespace
