#include "ui/KSHashCalculator.h"
#include "ui/ReportList.h"

#include "engine/StopEvent.h"
#include "properties/FakemillSettings.h"
#include "properties/KSRegUtil.h"
#include "support/KSFormat.h"
#include "support/MakePath.h"
#include "tools/ChecksumFile.h"
#include "tools/HashKinds.h"
#include "ui/HashListModel.h"
#include "ui/KSDropTarget.h"
#include "ui/OptionsDialog.h"
#include "ui/Resources.h"
#include "ui/ToolWindowManager.h"
#include "ui/UserPrompts.h"
#include "ui/WindowPlacement.h"

#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

struct HashDone {
    std::uint32_t row;
    bool success;
};

// Status line refreshes are gathered: a burst of finished rows costs one repaint.
constexpr int kStatusDelayMilliseconds = 100;
// Column widths outside this range are not restored (a damaged value would hide a column).
constexpr std::uint32_t kLargestColumnWidth = 10000;

const QString kBrowseFilters =
    QStringLiteral("Text (*.txt);;Bin/test (*.bin);;Images (*.png *.gif *.bmp *.jpg *.jpeg);;All (*.*)");
const QString kChecksumFilters = QStringLiteral("Checksum files (*SUMS *.md5 *.sha1 *.sha256);;All (*.*)");

KSRegUtil ApplicationKey() {
    return KSRegUtil(CKeyPathMaker::Application().Get().View());
}

QString KindName(int kind) {
    return QString::fromUtf16(kHashKinds[static_cast<std::size_t>(kind)].shownName);
}

int KindIndexOfCode(std::uint32_t code) {
    for (std::size_t i = 0; i < kHashKinds.size(); ++i) {
        if (kHashKinds[i].code == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::u16string_view View(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString Reason(int error) {
    return error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("unknown error");
}

} // namespace

CKSHashCalculator::CKSHashCalculator(QWidget* owner)
    : CKSDialog(kTemplateId, owner), m_model(new CHashListModel(this)),
      m_browseFolder(KnownFolderPath(KnownFolder::Documents).ToQString()), m_relay(this),
      m_worker(&ApplicationStopEvent()) {
    InitUiResources();
    setWindowTitle(QStringLiteral("Calculate Hash"));
    setSizeGripEnabled(true);
    BuildControls();
    resize(kInitialWidth, kInitialHeight);
    SetMinimumTrackSize(QSize(kInitialWidth, kInitialHeight));
    RestoreSettings();
    m_worker.SetRegularFilesOnly(true);
    m_worker.SetListener(this);
}

CKSHashCalculator::~CKSHashCalculator() {
    StopWorker();
}

void CKSHashCalculator::BuildControls() {
    m_algorithm = new QComboBox(this);
    m_algorithm->setObjectName(QStringLiteral("idc%1").arg(kIdcAlgorithm));
    for (const HashKindInfo& kind : kHashKinds) {
        m_algorithm->addItem(QString::fromUtf16(kind.shownName));
    }
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setObjectName(QStringLiteral("idc%1").arg(kIdcBrowse));
    AddCommand(browse, kIdcBrowse);

    m_list = new QTreeView(this);
    SetUpReportList(m_list, m_model);
    QHeaderView* header = m_list->header();
    // "File" takes whatever the other columns leave, at every size of the window.
    header->setSectionResizeMode(CHashListModel::kColumnFile, QHeaderView::Stretch);
    header->resizeSection(CHashListModel::kColumnType,
                          static_cast<int>(settings_value::kDefaultHashColumnWidths[1]));
    header->resizeSection(CHashListModel::kColumnValue,
                          static_cast<int>(settings_value::kDefaultHashColumnWidths[2]));
    header->resizeSection(CHashListModel::kColumnCheck, 70);
    m_list->setColumnHidden(CHashListModel::kColumnCheck, true);
    new CKSDropTarget(m_list->viewport(), this);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setMinimumWidth(1);
    m_statusTimer = new QTimer(this);
    m_statusTimer->setSingleShot(true);
    m_statusTimer->setInterval(kStatusDelayMilliseconds);
    connect(m_statusTimer, &QTimer::timeout, this, &CKSHashCalculator::UpdateStatus);

    auto* save = new QPushButton(QStringLiteral("&Save checksums..."), this);
    save->setObjectName(QStringLiteral("idc%1").arg(kIdcSaveChecksums));
    AddCommand(save, kIdcSaveChecksums);
    auto* verify = new QPushButton(QStringLiteral("&Verify checksums..."), this);
    verify->setObjectName(QStringLiteral("idc%1").arg(kIdcVerifyChecksums));
    AddCommand(verify, kIdcVerifyChecksums);

    m_copyMenu = new QMenu(QStringLiteral("Copy Options"), this);
    const std::pair<const char*, int> entries[] = {
        {"Prefix 0x", kCmdPrefix0x}, {"Copy Path+Hash", kCmdPathAndHash}, {"Lower-case", kCmdLowerCase}};
    for (const auto& [text, id] : entries) {
        QAction* action = m_copyMenu->addAction(QString::fromLatin1(text));
        action->setCheckable(true);
        action->setData(id);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        const std::uint32_t bit = id == kCmdPrefix0x      ? kCopyPrefix0x
                                  : id == kCmdPathAndHash ? kCopyPathAndHash
                                                          : kCopyLowerCase;
        connect(action, &QAction::triggered, this, [this, bit] { ToggleCopyOption(bit); });
    }
    QAction* separator = m_copyMenu->addAction(QStringLiteral("Set Separator"));
    separator->setData(kCmdSetSeparator);
    separator->setObjectName(QStringLiteral("cmd%1").arg(kCmdSetSeparator));
    connect(separator, &QAction::triggered, this, &CKSHashCalculator::SetSeparator);
    connect(m_copyMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : m_copyMenu->actions()) {
            const int id = action->data().toInt();
            const std::uint32_t bit = id == kCmdPrefix0x      ? kCopyPrefix0x
                                      : id == kCmdPathAndHash ? kCopyPathAndHash
                                      : id == kCmdLowerCase   ? kCopyLowerCase
                                                              : 0;
            if (bit != 0) {
                action->setChecked((m_copyOptions & bit) != 0);
            }
        }
    });
    m_copyOptionsButton = new QToolButton(this);
    m_copyOptionsButton->setObjectName(QStringLiteral("idc%1").arg(kIdcCopyOptions));
    m_copyOptionsButton->setText(QStringLiteral("Copy Options"));
    m_copyOptionsButton->setMenu(m_copyMenu);
    // A split button: the button itself and its arrow both show the menu.
    m_copyOptionsButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_copyOptionsButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(m_copyOptionsButton, &QToolButton::clicked, m_copyOptionsButton, &QToolButton::showMenu);
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("idc%1").arg(kIdcCopy));
    AddCommand(copy, kIdcCopy);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("idc%1").arg(res::kIdOk));
    AddCommand(close, res::kIdCancel);

    auto* top = new QHBoxLayout;
    top->addWidget(m_algorithm, 1);
    top->addWidget(browse);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(save);
    bottom->addWidget(verify);
    bottom->addStretch(1);
    bottom->addWidget(m_copyOptionsButton);
    bottom->addWidget(copy);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addLayout(bottom);
}

void CKSHashCalculator::RestoreSettings() {
    KSRegUtil key = ApplicationKey();
    std::uint32_t type = settings_value::kDefaultHashType;
    if (key.ReadDword(settings_value::kHashType, type) && type < kHashKinds.size()) {
        m_algorithm->setCurrentIndex(static_cast<int>(type));
    }
    std::uint32_t options = settings_value::kDefaultCopyOptions;
    if (key.ReadDword(settings_value::kCopyOptions, options)) {
        m_copyOptions = options & (kCopyPrefix0x | kCopyPathAndHash | kCopyLowerCase);
    }
    // Only the widths of "Hash Type" and "Hash Value" come back; "File" takes the rest.
    for (const int column : {CHashListModel::kColumnType, CHashListModel::kColumnValue}) {
        std::uint32_t width = 0;
        const std::u16string name =
            KSFormat(std::u16string_view(settings_value::kHashColumnFormat), column + 1);
        if (key.ReadDword(name, width) && width > 0 && width <= kLargestColumnWidth) {
            m_list->header()->resizeSection(column, static_cast<int>(width));
        }
    }
    KSRect rect{};
    if (key.ReadRect(settings_value::kHashCalculatorWindow, rect) && rect.right > rect.left &&
        rect.bottom > rect.top) {
        const QRect wanted(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
        // A window saved on a screen that is gone comes back onto one that is there.
        setGeometry(VisiblePlacement(wanted.adjusted(0, 0, std::max(0, kInitialWidth - wanted.width()),
                                                     std::max(0, kInitialHeight - wanted.height()))));
    }
}

void CKSHashCalculator::SaveSettings() const {
    KSRegUtil key = ApplicationKey();
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    key.WriteRect(settings_value::kHashCalculatorWindow,
                  KSRect{normal.left(), normal.top(), normal.right() + 1, normal.bottom() + 1});
    for (int column = CHashListModel::kColumnFile; column <= CHashListModel::kColumnValue; ++column) {
        const std::u16string name =
            KSFormat(std::u16string_view(settings_value::kHashColumnFormat), column + 1);
        key.WriteDword(name, static_cast<std::uint32_t>(m_list->header()->sectionSize(column)));
    }
    key.WriteDword(settings_value::kHashType,
                   static_cast<std::uint32_t>(std::max(0, m_algorithm->currentIndex())));
}

void CKSHashCalculator::AddFile(const QString& path) {
    AddFiles(QStringList{path});
}

void CKSHashCalculator::AddFiles(const QStringList& paths) {
    if (m_stopped || paths.isEmpty()) {
        return;
    }
    // The algorithm is fixed now, for the row and for its job, whatever is selected later.
    QueueRows(m_model->Append(paths, std::max(0, m_algorithm->currentIndex())));
}

void CKSHashCalculator::QueueRows(std::uint32_t first) {
    std::vector<CKSHashJob> jobs;
    jobs.reserve(m_model->Count() - first);
    for (std::uint32_t row = first; row < m_model->Count(); ++row) {
        const CHashListModel::Row& added = m_model->At(row);
        CKSHashJob job;
        job.path = CKSString::FromQString(added.path);
        job.kind = kHashKinds[static_cast<std::size_t>(added.kind)].code;
        job.id = row;
        jobs.push_back(std::move(job));
    }
    if (!m_worker.AddJobs(std::move(jobs))) {
        // No thread to hash them: say so rather than show "..." for ever.
        for (std::uint32_t row = first; row < m_model->Count(); ++row) {
            m_model->SetResult(row, false, {}, 0);
        }
    }
    ScheduleStatus();
}

void CKSHashCalculator::OnHashDone(std::uint32_t rowId, bool success) {
    m_relay.Post(kMsgHashDone, HashDone{rowId, success});
}

void CKSHashCalculator::OnHashProgress(std::uint32_t rowId, std::uint64_t done, std::uint64_t size,
                                       std::uint64_t elapsedMilliseconds) {
    m_relay.Post(kMsgProgress, Progress{rowId, done, size, elapsedMilliseconds});
}

void CKSHashCalculator::OnAppMessage(int code, std::any& payload) {
    if (code == kMsgHashDone) {
        if (const auto* done = std::any_cast<HashDone>(&payload)) {
            FinishRow(done->row);
        }
    } else if (code == kMsgDropped) {
        if (const auto* paths = std::any_cast<QStringList>(&payload)) {
            AddFiles(*paths);
        }
    } else if (code == kMsgProgress) {
        if (const auto* progress = std::any_cast<Progress>(&payload)) {
            m_progress = *progress;
            ScheduleStatus();
        }
    }
}

void CKSHashCalculator::FinishRow(std::uint32_t row) {
    // Failed jobs are taken too: left in the queue they would be looked at for ever.
    CKSHashJob job;
    if (m_worker.TakeJob(row, job)) {
        m_model->SetResult(row, job.succeeded, job.result.ToQString(), job.error);
    } else {
        m_model->SetResult(row, false, {}, 0);
    }
    ScheduleStatus();
}

void CKSHashCalculator::ScheduleStatus() {
    if (!m_statusTimer->isActive()) {
        m_statusTimer->start();
    }
}

QString CKSHashCalculator::StatusText() const {
    return m_status->text();
}

void CKSHashCalculator::UpdateStatus() {
    QStringList parts;
    const QLocale locale;
    if (m_model->Pending() > 0) {
        const bool inHand = m_progress.row < m_model->Count() && !m_model->At(m_progress.row).done &&
                            m_progress.elapsedMilliseconds > 0;
        if (inHand) {
            const CHashListModel::Row& row = m_model->At(m_progress.row);
            const double seconds = static_cast<double>(m_progress.elapsedMilliseconds) / 1000.0;
            const auto rate = static_cast<qint64>(static_cast<double>(m_progress.done) / seconds);
            QString part = QStringLiteral("Hashing %1: %2")
                               .arg(QFileInfo(row.path).fileName(),
                                    locale.formattedDataSize(static_cast<qint64>(m_progress.done)));
            if (m_progress.size > 0) {
                part += QStringLiteral(" of %1 (%2%)")
                            .arg(locale.formattedDataSize(static_cast<qint64>(m_progress.size)))
                            .arg(m_progress.done * 100 / m_progress.size);
            }
            part += QStringLiteral(", %1/s").arg(locale.formattedDataSize(rate));
            parts << part;
        }
        parts << QStringLiteral("%1 of %2 files to hash").arg(m_model->Pending()).arg(m_model->Count());
    }
    if (m_model->AnyChecked()) {
        parts << QStringLiteral("Checked: %1 OK, %2 FAILED")
                     .arg(m_model->CheckedOk())
                     .arg(m_model->CheckedFailed());
    }
    if (parts.isEmpty()) {
        parts << m_lastMessage;
    }
    m_status->setText(parts.join(QStringLiteral("; ")));
}

void CKSHashCalculator::OnCommand(int id) {
    switch (id) {
    case kIdcBrowse:
        Browse();
        break;
    case kIdcCopy:
        Copy();
        break;
    case kIdcSaveChecksums:
        SaveChecksums();
        break;
    case kIdcVerifyChecksums:
        VerifyChecksums();
        break;
    default:
        break;
    }
}

void CKSHashCalculator::Browse() {
    const QStringList files = Prompts().ChooseOpenFiles(this, QStringLiteral("Open"), m_browseFolder,
                                                        PortableFilter(kBrowseFilters));
    if (files.isEmpty()) {
        return;
    }
    // The next Browse starts in the folder of what was picked, never at a file.
    m_browseFolder = QFileInfo(files.constFirst()).absolutePath();
    AddFiles(files);
}

void CKSHashCalculator::ToggleCopyOption(std::uint32_t bit) {
    m_copyOptions ^= bit;
    CFakemillSettings().SetCopyOptions(m_copyOptions);
}

void CKSHashCalculator::SetSeparator() {
    // The separator is the options dialog's to keep; Copy reads it afresh each time.
    COptionsDialog options(this);
    options.FocusSeparatorOnOpen();
    options.DoModal();
}

void CKSHashCalculator::Copy() {
    if (m_model->Count() == 0) {
        return;
    }
    std::vector<std::uint32_t> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::uint32_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    if (rows.empty()) {
        for (std::uint32_t row = 0; row < m_model->Count(); ++row) {
            rows.push_back(row);
        }
    }
    std::uint32_t stored = 0;
    ApplicationKey().ReadDword(settings_value::kCopySeparator, stored);
    const char16_t separator = CopySeparatorOrDefault(stored);
    std::u16string text;
    for (const std::uint32_t row : rows) {
        const CHashListModel::Row& line = m_model->At(row);
        text += FormatCopyLine(View(line.path), View(line.value), m_copyOptions, separator);
    }
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(text));
}

void CKSHashCalculator::SaveChecksums() {
    const int kind = std::max(0, m_algorithm->currentIndex());
    std::vector<ChecksumEntry> entries;
    int leftOut = 0;
    for (std::uint32_t row = 0; row < m_model->Count(); ++row) {
        const CHashListModel::Row& line = m_model->At(row);
        if (line.kind != kind) {
            continue;
        }
        if (line.succeeded) {
            entries.push_back(ChecksumEntry{CKSString::FromQString(line.path), line.value.toStdString()});
        } else {
            ++leftOut;
        }
    }
    if (entries.empty()) {
        ShowMessage(res::kIdsCaption,
                    QStringLiteral("There are no finished %1 hashes to save. The rows saved are those of the "
                                   "algorithm selected above.")
                        .arg(KindName(kind)));
        return;
    }
    static const char* const names[] = {"CRC32SUMS", "MD5SUMS", "SHA1SUMS", "SHA256SUMS"};
    const QString file =
        Prompts().ChooseSaveFile(this, QStringLiteral("Save checksums"),
                                 m_browseFolder + QLatin1Char('/') + QString::fromLatin1(names[kind]),
                                 PortableFilter(kChecksumFilters));
    if (file.isEmpty()) {
        return;
    }
    int error = 0;
    if (!WriteChecksumFile(CKSString::FromQString(file), entries, error)) {
        ShowMessage(res::kIdsErrorCaption, QStringLiteral("Could not write %1: %2").arg(file, Reason(error)));
        return;
    }
    m_lastMessage =
        QStringLiteral("Saved %1 %2 checksums to %3").arg(entries.size()).arg(KindName(kind), file);
    if (leftOut > 0) {
        m_lastMessage += QStringLiteral(" (%1 rows not finished or failed were left out)").arg(leftOut);
    }
    UpdateStatus();
}

void CKSHashCalculator::VerifyChecksums() {
    const QString file = Prompts().ChooseOpenFile(this, QStringLiteral("Verify checksums"), m_browseFolder,
                                                  PortableFilter(kChecksumFilters), false);
    if (file.isEmpty() || m_stopped) {
        return;
    }
    ChecksumListing listing;
    int error = 0;
    const CKSString checksumFile = CKSString::FromQString(file);
    if (!ReadChecksumFile(checksumFile, listing, error)) {
        ShowMessage(res::kIdsErrorCaption, QStringLiteral("Could not read %1: %2").arg(file, Reason(error)));
        return;
    }
    std::size_t unknown = listing.unreadableLines;
    // Consecutive entries of one algorithm go into the list together.
    QStringList paths;
    QStringList expected;
    int runKind = -1;
    const auto flush = [&] {
        if (!paths.isEmpty()) {
            QueueRows(m_model->Append(paths, runKind, expected));
            paths.clear();
            expected.clear();
        }
    };
    for (const ChecksumEntry& entry : listing.entries) {
        const int kind = KindIndexOfCode(HashCodeForDigits(entry.digits.size()));
        if (kind < 0) {
            ++unknown;
            continue;
        }
        if (kind != runKind) {
            flush();
            runKind = kind;
        }
        paths << ResolveChecksumPath(checksumFile, entry.path).ToQString();
        expected << QString::fromStdString(entry.digits);
    }
    flush();
    m_list->setColumnHidden(CHashListModel::kColumnCheck, false);
    if (listing.entries.empty()) {
        ShowMessage(res::kIdsCaption, QStringLiteral("%1 holds no checksum lines.").arg(file));
    } else if (unknown > 0) {
        ShowMessage(
            res::kIdsCaption,
            QStringLiteral("%1: %2 line(s) are not checksum lines and were skipped.").arg(file).arg(unknown));
    }
    UpdateStatus();
}

void CKSHashCalculator::OnClose() {
    SaveSettings();
    StopWorker();
}

void CKSHashCalculator::StopWorker() {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    // Nothing reaches the window any more; the file in hand is abandoned at its next read.
    m_relay.Detach();
    m_worker.StopAndJoin();
    m_worker.SetListener(nullptr);
    m_statusTimer->stop();
}

CKSHashCalculator* OpenHashCalculator(QWidget* owner, CToolWindowManager& tools) {
    auto* calculator = new CKSHashCalculator(owner);
    tools.Register(calculator);
    calculator->Create();
    return calculator;
}
