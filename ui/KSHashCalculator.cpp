#include "ui/KSHashCalculator.h"

#include "app/AppContext.h"
#include "support/MakePath.h"
#include "tools/HashKinds.h"
#include "ui/KSDropTarget.h"
#include "ui/OptionsDialog.h"
#include "ui/ReportList.h"
#include "ui/Resources.h"
#include "ui/ToolWindowManager.h"
#include "ui/UserPrompts.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPlacement.h"

#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kBrowseFilters =
    QStringLiteral("Text (*.txt);;Bin/test (*.bin);;Images (*.png *.gif *.bmp *.jpg *.jpeg);;All (*.*)");
const QString kChecksumFilters = QStringLiteral("Checksum files (*SUMS *.md5 *.sha1 *.sha256);;All (*.*)");
// The check column's width when a checksum file shows it.
constexpr int kCheckColumnWidth = 70;

// The copy option each menu entry switches.
struct CopyOptionEntry {
    const char* text;
    int id;
    std::uint32_t bit;
};
constexpr CopyOptionEntry kCopyOptionEntries[] = {
    {"Prefix 0x", CKSHashCalculator::kCmdPrefix0x, kCopyPrefix0x},
    {"Copy Path+Hash", CKSHashCalculator::kCmdPathAndHash, kCopyPathAndHash},
    {"Lower-case", CKSHashCalculator::kCmdLowerCase, kCopyLowerCase},
};

QPushButton* Button(QWidget* parent, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

CKSHashCalculator::CKSHashCalculator(CAppContext& context, QWidget* owner,
                                     std::unique_ptr<CHashCalculatorTool> tool)
    : CKSDialog(kTemplateId, owner), m_context(context),
      m_tool(tool ? tool.release() : new CHashCalculatorTool(context.Settings(), context.Reaper())),
      m_browseFolder(KnownFolderPath(KnownFolder::Documents).ToQString()) {
    m_tool->setParent(this);
    InitUiResources();
    setWindowTitle(QStringLiteral("Calculate Hash"));
    setSizeGripEnabled(true);
    // A list of long paths and hashes is worth a maximised window.
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    AddCloseKeys(*this);
    BuildControls();
    // Wide enough for a whole SHA-256 beside a readable path.
    resize(std::max(kInitialWidth, kTypeAndMargins + WholeHashWidth() + kPathRoom), kInitialHeight);
    SetMinimumTrackSize(QSize(kInitialWidth, kInitialHeight));
    RestoreSettings();
    connect(m_tool, &CHashCalculatorTool::StatusChanged, this,
            [this] { m_status->setText(m_tool->StatusText()); });
}

CKSHashCalculator::~CKSHashCalculator() {
    m_tool->Close();
}

void CKSHashCalculator::BuildControls() {
    m_algorithm = new QComboBox(this);
    m_algorithm->setObjectName(QStringLiteral("algorithm"));
    for (const HashKindInfo& kind : kHashKinds) {
        m_algorithm->addItem(QString::fromUtf16(kind.shownName));
    }
    QPushButton* browse = Button(this, QStringLiteral("&Browse..."), "browse");
    connect(browse, &QPushButton::clicked, this, &CKSHashCalculator::Browse);

    m_list = new QTreeView(this);
    SetUpReportList(m_list, &m_tool->Model());
    QHeaderView* header = m_list->header();
    // "File" takes whatever the other columns leave, at every size of the window.
    header->setSectionResizeMode(CHashListModel::kColumnFile, QHeaderView::Stretch);
    for (const int column : {CHashListModel::kColumnType, CHashListModel::kColumnValue}) {
        header->resizeSection(column, static_cast<int>(settings_key::kHashColumns[column].fallback));
    }
    header->resizeSection(CHashListModel::kColumnCheck, kCheckColumnWidth);
    m_list->setColumnHidden(CHashListModel::kColumnCheck, true);
    new CKSDropTarget(m_list->viewport(), [this](const QStringList& paths) { AddFiles(paths); });

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setMinimumWidth(1);

    QPushButton* save = Button(this, QStringLiteral("&Save checksums..."), "saveChecksums");
    connect(save, &QPushButton::clicked, this, &CKSHashCalculator::SaveChecksums);
    QPushButton* verify = Button(this, QStringLiteral("&Verify checksums..."), "verifyChecksums");
    connect(verify, &QPushButton::clicked, this, &CKSHashCalculator::VerifyChecksums);

    m_copyMenu = new QMenu(QStringLiteral("Copy Options"), this);
    for (const CopyOptionEntry& entry : kCopyOptionEntries) {
        QAction* action = m_copyMenu->addAction(QString::fromLatin1(entry.text));
        action->setCheckable(true);
        action->setData(entry.id);
        action->setObjectName(QStringLiteral("cmd%1").arg(entry.id));
        connect(action, &QAction::triggered, this, [this, bit = entry.bit] { ToggleCopyOption(bit); });
    }
    QAction* separator = m_copyMenu->addAction(QStringLiteral("Set Separator"));
    separator->setData(kCmdSetSeparator);
    separator->setObjectName(QStringLiteral("cmd%1").arg(kCmdSetSeparator));
    connect(separator, &QAction::triggered, this, &CKSHashCalculator::SetSeparator);
    connect(m_copyMenu, &QMenu::aboutToShow, this, [this] {
        for (const CopyOptionEntry& entry : kCopyOptionEntries) {
            m_copyMenu->findChild<QAction*>(QStringLiteral("cmd%1").arg(entry.id))
                ->setChecked((m_tool->CopyOptions() & entry.bit) != 0);
        }
    });
    auto* copyOptions = new QToolButton(this);
    copyOptions->setObjectName(QStringLiteral("copyOptions"));
    copyOptions->setText(QStringLiteral("Copy Options"));
    copyOptions->setMenu(m_copyMenu);
    // A split button: the button itself and its arrow both show the menu.
    copyOptions->setPopupMode(QToolButton::MenuButtonPopup);
    copyOptions->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(copyOptions, &QToolButton::clicked, copyOptions, &QToolButton::showMenu);
    QPushButton* copy = Button(this, QStringLiteral("&Copy"), "copy");
    connect(copy, &QPushButton::clicked, this, &CKSHashCalculator::Copy);
    QPushButton* close = Button(this, QStringLiteral("Close"), "close");
    AddCommand(close, res::kIdCancel);

    auto* top = new QHBoxLayout;
    top->addWidget(m_algorithm, 1);
    top->addWidget(browse);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(save);
    bottom->addWidget(verify);
    bottom->addStretch(1);
    bottom->addWidget(copyOptions);
    bottom->addWidget(copy);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addLayout(bottom);
}

void CKSHashCalculator::RestoreSettings() {
    const CFakemillSettings& settings = m_context.Settings();
    m_algorithm->setCurrentIndex(static_cast<int>(settings.Get(settings_key::kHashType)));
    // Only the widths of "Hash Type" and "Hash Value" come back; "File" takes the rest. A hash
    // column the user never sized shows a whole SHA-256.
    for (const int column : {CHashListModel::kColumnType, CHashListModel::kColumnValue}) {
        const std::uint32_t stored = settings.Get(settings_key::kHashColumns[column]);
        const bool unset = stored == settings_key::kHashColumns[column].fallback;
        m_list->header()->resizeSection(column, column == CHashListModel::kColumnValue && unset
                                                    ? WholeHashWidth()
                                                    : static_cast<int>(stored));
    }
    RestorePlacement(*this, settings, settings_key::kHashCalculatorWindow);
}

int CKSHashCalculator::WholeHashWidth() const {
    // "0x" and the 64 digits of a SHA-256, with the cell's margins.
    constexpr int kLongestHash = 66;
    return m_list->fontMetrics().horizontalAdvance(QString(kLongestHash, QLatin1Char('d'))) + kCellMargins;
}

void CKSHashCalculator::SaveSettings() {
    CFakemillSettings& settings = m_context.Settings();
    SavePlacement(*this, settings, settings_key::kHashCalculatorWindow);
    for (int column = CHashListModel::kColumnFile; column <= CHashListModel::kColumnValue; ++column) {
        settings.Set(settings_key::kHashColumns[column],
                     static_cast<std::uint32_t>(m_list->header()->sectionSize(column)));
    }
    settings.Set(settings_key::kHashType,
                 static_cast<std::uint32_t>(std::max(0, m_algorithm->currentIndex())));
    settings.Save();
}

void CKSHashCalculator::AddFile(const QString& path) {
    AddFiles(QStringList{path});
}

void CKSHashCalculator::AddFiles(const QStringList& paths) {
    m_tool->AddFiles(paths, std::max(0, m_algorithm->currentIndex()));
}

QString CKSHashCalculator::StatusText() const {
    return m_status->text();
}

void CKSHashCalculator::Browse() {
    const QStringList filters = PortableFilter(kBrowseFilters).split(QStringLiteral(";;"));
    CFakemillSettings& settings = m_context.Settings();
    QString filter = filters.value(static_cast<qsizetype>(settings.Get(settings_key::kHashBrowseFilter)));
    const QStringList files = Prompts().ChooseOpenFiles(this, QStringLiteral("Open"), m_browseFolder,
                                                        filters.join(QStringLiteral(";;")), &filter);
    if (files.isEmpty()) {
        return;
    }
    if (const qsizetype chosen = filters.indexOf(filter); chosen >= 0) {
        settings.Set(settings_key::kHashBrowseFilter, static_cast<std::uint32_t>(chosen));
        settings.Save();
    }
    // The next Browse starts in the folder of what was picked, never at a file.
    m_browseFolder = QFileInfo(files.constFirst()).absolutePath();
    AddFiles(files);
}

void CKSHashCalculator::ToggleCopyOption(std::uint32_t bit) {
    m_tool->ToggleCopyOption(bit);
}

void CKSHashCalculator::SetSeparator() {
    // The separator is the options dialog's to keep; Copy reads it afresh each time.
    COptionsDialog options(this, m_context.Settings());
    options.FocusSeparatorOnOpen();
    options.DoModal();
}

void CKSHashCalculator::Copy() {
    if (m_tool->Model().Count() == 0) {
        return;
    }
    std::vector<std::uint32_t> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::uint32_t>(index.row()));
    }
    QGuiApplication::clipboard()->setText(m_tool->CopyText(std::move(rows)));
}

void CKSHashCalculator::Tell(const CToolReport& report) {
    if (report.error.Failed()) {
        ShowMessage(res::kIdsErrorCaption, QString::fromStdU16String(report.error.Text()));
    } else if (!report.notice.isEmpty()) {
        ShowMessage(res::kIdsCaption, report.notice);
    }
}

void CKSHashCalculator::SaveChecksums() {
    const int kind = std::max(0, m_algorithm->currentIndex());
    if (const QString nothing = m_tool->NothingToSave(kind); !nothing.isEmpty()) {
        ShowMessage(res::kIdsCaption, nothing);
        return;
    }
    const QString file = Prompts().ChooseSaveFile(this, QStringLiteral("Save checksums"),
                                                  m_browseFolder + QLatin1Char('/') +
                                                      CHashCalculatorTool::ChecksumFileName(kind),
                                                  PortableFilter(kChecksumFilters));
    if (!file.isEmpty()) {
        Tell(m_tool->SaveChecksums(kind, file));
    }
}

void CKSHashCalculator::VerifyChecksums() {
    const QString file = Prompts().ChooseOpenFile(this, QStringLiteral("Verify checksums"), m_browseFolder,
                                                  PortableFilter(kChecksumFilters), false);
    if (file.isEmpty() || m_tool->IsClosed()) {
        return;
    }
    const CToolReport report = m_tool->VerifyChecksums(file);
    if (!report.error.Failed()) {
        m_list->setColumnHidden(CHashListModel::kColumnCheck, false);
    }
    Tell(report);
}

void CKSHashCalculator::OnClose() {
    SaveSettings();
    // At once: the file in hand is the reaper's to wait for, never the window's.
    m_tool->Close();
}

CKSHashCalculator* OpenHashCalculator(QWidget* owner, CAppContext& context, CToolWindowManager& tools) {
    auto* calculator = new CKSHashCalculator(context, owner);
    tools.Register(calculator);
    calculator->Create();
    return calculator;
}
