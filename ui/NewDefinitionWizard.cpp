#include "ui/NewDefinitionWizard.h"

#include "generators/KSCSVFileGenerator.h"
#include "generators/KSTextFileGenerator.h"
#include "generators/TextOptions.h"
#include "ui/HostileFilesBox.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kMaxFiles = 4096;
constexpr int kMaxAmount = 32767;
constexpr int kMaxElements = 4096;
constexpr int kSummaryFontPixels = 9;

QString Caption() {
    return res::String(res::kIdsCaption);
}

// A drop-down list of a text option's values, each with its key as data and what it gives as a
// tooltip; the first, the default, chosen.
template <typename Choice>
QComboBox* ChoiceList(QWidget* parent, const char* name, std::span<const CTextChoice<Choice>> choices) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    for (const CTextChoice<Choice>& choice : choices) {
        const QString key = QString::fromStdU16String(std::u16string(choice.key));
        list->addItem(key, key);
        list->setItemData(list->count() - 1, QString::fromStdU16String(std::u16string(choice.does)),
                          Qt::ToolTipRole);
    }
    return list;
}

std::u16string Chosen(const QComboBox* list) {
    return list->currentData().toString().toStdU16String();
}

QSpinBox* NumberField(QWidget* parent, const char* name, int maximum, int value) {
    auto* field = new QSpinBox(parent);
    field->setObjectName(QLatin1String(name));
    field->setRange(0, maximum);
    field->setValue(value);
    return field;
}

// The page title, the header text and the page's template number, which names it in the window.
class CWizardPage : public QWizardPage {
public:
    CWizardPage(int headerId, int templateId, const QString& templateTitle)
        : m_templateId(templateId), m_templateTitle(templateTitle) {
        setTitle(res::String(headerId));
    }
    int TemplateId() const { return m_templateId; }
    const QString& TemplateTitle() const { return m_templateTitle; }

private:
    int m_templateId;
    QString m_templateTitle;
};

// "exactly" one number or "from ... to" two, and on the text and binary pages a unit list. The
// mnemonics (x, f) are taken by nothing else on the pages, nor by the wizard's buttons.
class CAmountControls : public QWidget {
public:
    CAmountControls(QWidget* parent, int first, int second, bool withUnits) : QWidget(parent) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_one = new QRadioButton(QStringLiteral("e&xactly"), this);
        m_one->setObjectName(QStringLiteral("exactly"));
        m_range = new QRadioButton(QStringLiteral("&from ... to"), this);
        m_range->setObjectName(QStringLiteral("fromTo"));
        layout->addWidget(m_one);
        layout->addWidget(m_range);
        m_first = NumberField(this, "first", kMaxAmount, first);
        m_to = new QLabel(QStringLiteral("to"), this);
        m_second = NumberField(this, "second", kMaxAmount, second);
        layout->addWidget(m_first);
        layout->addWidget(m_to);
        layout->addWidget(m_second);
        if (withUnits) {
            m_units = new QComboBox(this);
            m_units->setObjectName(QStringLiteral("unit"));
            for (const SizeUnit& unit : SizeUnits) {
                m_units->addItem(QString::fromStdU16String(unit.label));
            }
            m_units->setCurrentIndex(0);
            layout->addWidget(m_units);
        }
        layout->addStretch(1);
        connect(m_range, &QRadioButton::toggled, this, &CAmountControls::SelectRange);
        m_range->setChecked(true);
        SelectRange(true);
    }

    // The second number shows only for a range.
    void SelectRange(bool range) {
        m_to->setVisible(range);
        m_second->setVisible(range);
    }

    AmountAnswer Answer() const {
        AmountAnswer answer;
        answer.first = static_cast<std::uint64_t>(m_first->value());
        answer.second = static_cast<std::uint64_t>(m_second->value());
        answer.range = m_range->isChecked();
        answer.unit = m_units != nullptr ? static_cast<std::size_t>(m_units->currentIndex()) : SIZE_MAX;
        return answer;
    }

private:
    QRadioButton* m_one;
    QRadioButton* m_range;
    QSpinBox* m_first;
    QLabel* m_to;
    QSpinBox* m_second;
    QComboBox* m_units = nullptr;
};

} // namespace

// Refuses to leave a page whose answers cannot make a definition, saying why.
class CCheckedPage : public CWizardPage {
public:
    CCheckedPage(CNewDefinitionWizard* wizard, int headerId, int templateId, const QString& title)
        : CWizardPage(headerId, templateId, title), m_wizard(wizard) {}
    bool validatePage() override {
        const std::u16string problem = Problem(m_wizard->Answers());
        if (problem.empty()) {
            return true;
        }
        Prompts().ShowMessage(this, Caption(), QString::fromStdU16String(problem));
        return false;
    }

protected:
    virtual std::u16string Problem(const NewDefinitionAnswers& answers) const {
        const std::u16string problem = CheckKindAnswers(answers);
        return problem.empty() ? m_wizard->OptionsProblem(answers) : problem;
    }

private:
    CNewDefinitionWizard* m_wizard;
};

class CIntroPage : public CCheckedPage {
public:
    explicit CIntroPage(CNewDefinitionWizard* wizard)
        : CCheckedPage(wizard, res::kIdsNewDefinition, CNewDefinitionWizard::kIntroTemplate,
                       QStringLiteral("New definition")) {
        auto* layout = new QFormLayout(this);
        name = new QLineEdit(QStringLiteral("definition%1").arg(QDateTime::currentMSecsSinceEpoch() & 4095),
                             this);
        name->setObjectName(QStringLiteral("name"));
        layout->addRow(QStringLiteral("Definition name:"), name);
        kind = new QComboBox(this);
        kind->setObjectName(QStringLiteral("kind"));
        for (const GeneratorKindInfo& offered : CKSFileGeneratorFactory::OfferedKinds()) {
            kind->addItem(QString::fromStdU16String(std::u16string(offered.shownName)),
                          QString::fromStdU16String(std::u16string(offered.key)));
        }
        kind->setCurrentIndex(0);
        layout->addRow(QStringLiteral("Type of file:"), kind);
        files = NumberField(this, "files", kMaxFiles, 1);
        layout->addRow(QStringLiteral("Number of files:"), files);
        auto* where = new QHBoxLayout;
        folder = new QLineEdit(QString::fromStdU16String(std::u16string(kDefaultDefinitionFolder)), this);
        folder->setObjectName(QStringLiteral("folder"));
        // Alt+B is the wizard's "< Back".
        auto* browse = new QPushButton(QStringLiteral("B&rowse"), this);
        browse->setObjectName(QStringLiteral("browse"));
        where->addWidget(folder, 1);
        where->addWidget(browse);
        layout->addRow(QStringLiteral("Where to save generated files:"), where);
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString chosen = Prompts().ChooseFolder(
                this, QStringLiteral("Select folder for generated files"), folder->text());
            if (!chosen.isEmpty()) {
                folder->setText(chosen);
            }
        });
    }

    QLineEdit* name;
    QComboBox* kind;
    QSpinBox* files;
    QLineEdit* folder;

protected:
    std::u16string Problem(const NewDefinitionAnswers& answers) const override {
        return CheckDefinitionName(answers.name.View());
    }
};

class CTextPage : public CCheckedPage {
public:
    CTextPage(CNewDefinitionWizard* wizard, bool binary)
        : CCheckedPage(
              wizard, binary ? res::kIdsBinaryDefinition : res::kIdsTextDefinition, binary ? 134 : 133,
              binary ? QStringLiteral("New binary definition") : QStringLiteral("New text definition")) {
        auto* layout = new QVBoxLayout(this);
        if (!binary) {
            auto* row = new QHBoxLayout;
            row->addWidget(new QLabel(QStringLiteral("Type of data"), this));
            textType = new QComboBox(this);
            textType->setObjectName(QStringLiteral("textType"));
            textType->addItem(QStringLiteral("Random Characters"), CKSTextFileGenerator::kRandomCharacters);
            textType->addItem(QStringLiteral("Random Words"), CKSTextFileGenerator::kRandomWords);
            textType->addItem(QStringLiteral("Rovezezodav"), CKSTextFileGenerator::kRovezezodav);
            textType->setCurrentIndex(1);
            row->addWidget(textType, 1);
            layout->addLayout(row);
        }
        layout->addWidget(new QLabel(QStringLiteral("Size of each file"), this));
        amount = new CAmountControls(this, 1024, 2048, true);
        layout->addWidget(amount);
        if (!binary) {
            winLineEnding = new QCheckBox(QStringLiteral("&Windows style line endings"), this);
            winLineEnding->setObjectName(QStringLiteral("winLineEnding"));
            layout->addWidget(winLineEnding);
            auto* options = new QFormLayout;
            encoding = ChoiceList(this, "encoding", TextEncodings());
            options->addRow(QStringLiteral("&Encoding:"), encoding);
            lineEnd = ChoiceList(this, "lineEnd", LineEnds());
            options->addRow(QStringLiteral("&Line ends:"), lineEnd);
            layout->addLayout(options);
        }
        hostile = new CHostileFilesBox(this, binary ? "bin" : "txt");
        layout->addWidget(hostile);
        layout->addStretch(1);
    }

    QComboBox* textType = nullptr;
    CAmountControls* amount;
    QCheckBox* winLineEnding = nullptr;
    QComboBox* encoding = nullptr;
    QComboBox* lineEnd = nullptr;
    CHostileFilesBox* hostile;
};

class CCsvPage : public CCheckedPage {
public:
    explicit CCsvPage(CNewDefinitionWizard* wizard)
        : CCheckedPage(wizard, res::kIdsCsvDefinition, 135, QStringLiteral("New CSV definition")) {
        auto* layout = new QGridLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Rows"), this), 0, 0);
        rows = new CAmountControls(this, 8, 80, false);
        layout->addWidget(rows, 0, 1, 1, 2);
        layout->addWidget(new QLabel(QStringLiteral("Column types"), this), 1, 0);
        layout->addWidget(new QLabel(QStringLiteral("Columns to generate"), this), 1, 2);
        types = new QListWidget(this);
        types->setObjectName(QStringLiteral("columnTypes"));
        for (const CKSCSVFileGenerator::CColumnKind& kind : CKSCSVFileGenerator::ColumnKinds()) {
            auto* item =
                new QListWidgetItem(QString::fromStdU16String(std::u16string(kind.shownName)), types);
            item->setData(Qt::UserRole, kind.value);
        }
        layout->addWidget(types, 2, 0);
        add = new QPushButton(QStringLiteral("&Add >"), this);
        add->setObjectName(QStringLiteral("add"));
        add->setEnabled(false);
        remove = new QPushButton(QStringLiteral("< &Remove"), this);
        remove->setObjectName(QStringLiteral("remove"));
        remove->setEnabled(false);
        auto* moves = new QVBoxLayout;
        moves->addWidget(add);
        moves->addWidget(remove);
        moves->addStretch(1);
        layout->addLayout(moves, 2, 1);
        columns = new QListWidget(this);
        columns->setObjectName(QStringLiteral("columns"));
        columns->setSelectionMode(QAbstractItemView::ExtendedSelection);
        layout->addWidget(columns, 2, 2);
        emitHeader = new QCheckBox(QStringLiteral("Emit &Header"), this);
        emitHeader->setObjectName(QStringLiteral("emitHeader"));
        layout->addWidget(emitHeader, 3, 0, 1, 3);
        auto* options = new QFormLayout;
        style = ChoiceList(this, "style", CsvStyles());
        options->addRow(QStringLiteral("&Style:"), style);
        dateFormat = ChoiceList(this, "dateFormat", DateFormats());
        options->addRow(QStringLiteral("Da&tes:"), dateFormat);
        encoding = ChoiceList(this, "encoding", TextEncodings());
        options->addRow(QStringLiteral("&Encoding:"), encoding);
        lineEnd = ChoiceList(this, "lineEnd", LineEnds());
        options->addRow(QStringLiteral("&Line ends:"), lineEnd);
        layout->addLayout(options, 5, 0, 1, 3);
        hostile = new CHostileFilesBox(this, "csv");
        layout->addWidget(hostile, 6, 0, 1, 3);
        connect(types, &QListWidget::itemSelectionChanged, this,
                [this] { add->setEnabled(!types->selectedItems().isEmpty()); });
        connect(add, &QPushButton::clicked, this, [this] {
            for (QListWidgetItem* item : types->selectedItems()) {
                columns->addItem(item->clone());
            }
        });
        connect(columns, &QListWidget::itemSelectionChanged, this,
                [this] { remove->setEnabled(!columns->selectedItems().isEmpty()); });
        connect(remove, &QPushButton::clicked, this, [this] { qDeleteAll(columns->selectedItems()); });
    }

    CAmountControls* rows;
    QListWidget* types;
    QPushButton* add;
    QPushButton* remove;
    QListWidget* columns;
    QCheckBox* emitHeader;
    QComboBox* style;
    QComboBox* dateFormat;
    QComboBox* encoding;
    QComboBox* lineEnd;
    CHostileFilesBox* hostile;
};

class CImagePage : public CCheckedPage {
public:
    explicit CImagePage(CNewDefinitionWizard* wizard)
        : CCheckedPage(wizard, res::kIdsImageDefinition, 136, QStringLiteral("New image definition")) {
        auto* layout = new QFormLayout(this);
        imageType = new QComboBox(this);
        imageType->setObjectName(QStringLiteral("imageType"));
        for (const auto& [text, value] : {std::pair{"JPEG", "jpg"}, std::pair{"GIF", "gif"},
                                          std::pair{"PNG", "png"}, std::pair{"Bitmap", "bmp"}}) {
            imageType->addItem(QString::fromLatin1(text), QString::fromLatin1(value));
        }
        imageType->setCurrentIndex(2);
        layout->addRow(QStringLiteral("Image type:"), imageType);
        width = NumberField(this, "width", kMaxAmount, 1024);
        layout->addRow(QStringLiteral("&Width:"), width);
        height = NumberField(this, "height", kMaxAmount, 512);
        layout->addRow(QStringLiteral("&Height:"), height);
        elements = NumberField(this, "elements", kMaxElements, 19);
        layout->addRow(QStringLiteral("Number of elements to generate:"), elements);
        hostile = new CHostileFilesBox(this, FormatOf(imageType));
        layout->addRow(hostile);
        // The damage classes follow the picture's format.
        connect(imageType, &QComboBox::currentIndexChanged, this,
                [this] { hostile->SetFormat(FormatOf(imageType)); });
    }

    static std::string FormatOf(const QComboBox* imageType) {
        const std::string key = imageType->currentData().toString().toStdString();
        return key == "jpg" ? "jpeg" : key;
    }

    CHostileFilesBox* hostile;
    QComboBox* imageType;
    QSpinBox* width;
    QSpinBox* height;
    QSpinBox* elements;
};

class CSummaryPage : public CWizardPage {
public:
    explicit CSummaryPage(CNewDefinitionWizard* wizard)
        : CWizardPage(res::kIdsNewDefinitionSummary, CNewDefinitionWizard::kSummaryTemplate,
                      QStringLiteral("Summary of new definition")),
          m_wizard(wizard) {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(
            new QLabel(QStringLiteral("Creating a new definition with the following properties:"), this));
        text = new QPlainTextEdit(this);
        text->setObjectName(QStringLiteral("summary"));
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(kSummaryFontPixels);
        text->setFont(font);
        layout->addWidget(text, 1);
        setFinalPage(true);
    }
    // Every visit describes a generator built afresh from the pages, in place of the last visit's.
    void initializePage() override { m_wizard->ShowSummary(); }
    bool validatePage() override { return m_wizard->Create(); }

    QPlainTextEdit* text;

private:
    CNewDefinitionWizard* m_wizard;
};

CNewDefinitionWizard::CNewDefinitionWizard(const CKSString& configFile, QWidget* owner)
    : CKSPropertySheet(owner), m_configFile(configFile), m_factory(&m_quiet) {
    m_quiet.SetLevel(CKSLogger::kLevelNone);
    setWizardStyle(QWizard::ModernStyle);
    setButtonText(QWizard::FinishButton, res::String(res::kIdsCreate));
    // Back from a kind page or from the summary returns to the first page, not to the page before.
    QAbstractButton* back = button(QWizard::BackButton);
    back->disconnect(this);
    connect(back, &QAbstractButton::clicked, this, [this] {
        if (currentId() != kIntroPage) {
            restart();
        }
    });
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        if (const auto* shown = dynamic_cast<CWizardPage*>(page(id))) {
            setWindowTitle(shown->TemplateTitle());
        }
    });
}

CNewDefinitionWizard::~CNewDefinitionWizard() = default;

QWizardPage* CNewDefinitionWizard::CreatePage(int index) {
    switch (index) {
    case kIntroPage:
        return new CIntroPage(this);
    case kTextPage:
        return new CTextPage(this, false);
    case kBinaryPage:
        return new CTextPage(this, true);
    case kCsvPage:
        return new CCsvPage(this);
    case kImagePage:
        return new CImagePage(this);
    default:
        return new CSummaryPage(this);
    }
}

int CNewDefinitionWizard::nextId() const {
    switch (currentId()) {
    case kIntroPage: {
        const auto* intro = static_cast<const CIntroPage*>(page(kIntroPage));
        const std::u16string kind = intro->kind->currentData().toString().toStdU16String();
        if (kind == u"txt") {
            return kTextPage;
        }
        if (kind == u"bin") {
            return kBinaryPage;
        }
        if (kind == u"csv") {
            return kCsvPage;
        }
        if (kind == u"img") {
            return kImagePage;
        }
        return -1;
    }
    case kTextPage:
    case kBinaryPage:
    case kCsvPage:
    case kImagePage:
        return kSummaryPage;
    default:
        return -1;
    }
}

NewDefinitionAnswers CNewDefinitionWizard::Answers() const {
    NewDefinitionAnswers answers;
    const auto* intro = static_cast<const CIntroPage*>(page(kIntroPage));
    if (intro == nullptr) {
        return answers;
    }
    answers.name = CKSString::FromQString(intro->name->text());
    answers.kind = intro->kind->currentData().toString().toStdU16String();
    answers.files = static_cast<std::uint64_t>(intro->files->value());
    answers.folder = CKSString::FromQString(intro->folder->text());
    const auto* text = static_cast<const CTextPage*>(page(answers.kind == u"bin" ? kBinaryPage : kTextPage));
    answers.size = text->amount->Answer();
    const auto* textPage = static_cast<const CTextPage*>(page(kTextPage));
    answers.textType = textPage->textType->currentIndex() < 0 ? 0 : textPage->textType->currentData().toInt();
    answers.winLineEnding = textPage->winLineEnding->isChecked();
    const auto* binaryPage = static_cast<const CTextPage*>(page(kBinaryPage));
    const auto* csv = static_cast<const CCsvPage*>(page(kCsvPage));
    answers.rows = csv->rows->Answer();
    for (int row = 0; row < csv->columns->count(); ++row) {
        answers.columns.push_back(csv->columns->item(row)->data(Qt::UserRole).toInt());
    }
    answers.emitHeader = csv->emitHeader->isChecked();
    const auto* image = static_cast<const CImagePage*>(page(kImagePage));
    answers.imageType = image->imageType->currentData().toString().toStdU16String();
    answers.width = static_cast<std::uint64_t>(image->width->value());
    answers.height = static_cast<std::uint64_t>(image->height->value());
    answers.elements = static_cast<std::uint64_t>(image->elements->value());
    if (answers.kind == u"txt") {
        answers.encoding = Chosen(textPage->encoding);
        answers.lineEnd = Chosen(textPage->lineEnd);
        textPage->hostile->Answer(answers);
    } else if (answers.kind == u"bin") {
        binaryPage->hostile->Answer(answers);
    } else if (answers.kind == u"csv") {
        answers.style = Chosen(csv->style);
        answers.dateFormat = Chosen(csv->dateFormat);
        answers.encoding = Chosen(csv->encoding);
        answers.lineEnd = Chosen(csv->lineEnd);
        csv->hostile->Answer(answers);
    } else if (answers.kind == u"img") {
        image->hostile->Answer(answers);
    }
    return answers;
}

std::u16string CNewDefinitionWizard::OptionsProblem(const NewDefinitionAnswers& answers) const {
    return CheckFileOptions(m_factory, answers);
}

void CNewDefinitionWizard::ShowSummary() {
    const auto generator = BuildDefinition(m_factory, Answers());
    m_summary = generator ? DefinitionSummary(*generator) : std::u16string();
    auto* summary = static_cast<CSummaryPage*>(page(kSummaryPage));
    QString shown = QString::fromStdU16String(m_summary);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Opens at its first line, the definition's name.
    summary->text->setPlainText(shown);
    summary->text->moveCursor(QTextCursor::Start);
    summary->text->verticalScrollBar()->setValue(0);
    summary->text->horizontalScrollBar()->setValue(0);
}

bool CNewDefinitionWizard::Create() {
    const NewDefinitionAnswers answers = Answers();
    std::u16string problem = CheckDefinitionName(answers.name.View());
    if (problem.empty()) {
        problem = CheckKindAnswers(answers);
    }
    if (problem.empty()) {
        problem = OptionsProblem(answers);
    }
    const auto generator = problem.empty() ? BuildDefinition(m_factory, answers) : nullptr;
    if (!problem.empty() || !generator) {
        Prompts().ShowMessage(this, Caption(),
                              problem.empty() ? QStringLiteral("This kind of definition cannot be made.")
                                              : QString::fromStdU16String(problem));
        return false;
    }
    const QString name = answers.name.ToQString();
    if (DefinitionExists(m_configFile, answers.name.View()) &&
        !Prompts().AskYesNo(this, Caption(),
                            QStringLiteral("A definition named \"%1\" already exists in %2.\n\nReplace it?")
                                .arg(name, m_configFile.ToQString()))) {
        return false;
    }
    if (const CKSError error = WriteDefinition(m_configFile, answers.name.View(), generator->GetProperties());
        error.Failed()) {
        Prompts().ShowMessage(
            this, res::String(res::kIdsErrorCaption),
            QStringLiteral("Could not write the definition \"%1\" to %2:\n%3")
                .arg(name, m_configFile.ToQString(), QString::fromStdU16String(error.Reason())));
        return false;
    }
    MarkFinished();
    return true;
}
