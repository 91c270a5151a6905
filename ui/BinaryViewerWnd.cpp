#include "ui/BinaryViewerWnd.h"

#include "engine/StopEvent.h"
#include "properties/FakemillSettings.h"
#include "properties/KSRegUtil.h"
#include "support/KSTime.h"
#include "tools/HexText.h"
#include "ui/AppEvents.h"
#include "ui/ToolWindowManager.h"
#include "ui/UserPrompts.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// Wheel notches scroll this many lines, as in most text views.
constexpr int kWheelLines = 3;
// The font: fixed pitch, 10 pixels high, light.
constexpr int kFontPixelSize = 10;

// A chunk arrived, or could not be read (error not 0), for the loader of one generation.
class CChunkReadyEvent : public QEvent {
public:
    CChunkReadyEvent(std::uint32_t generation, std::uint64_t offset, std::uint64_t length, int error)
        : QEvent(app_event::kChunkReady), generation(generation), offset(offset), length(length),
          error(error) {}
    std::uint32_t generation;
    std::uint64_t offset;
    std::uint64_t length;
    int error;
};

QString ErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

std::unique_ptr<KSRegUtil> ApplicationKey() {
    return std::make_unique<KSRegUtil>(CKeyPathMaker::Application().Get().View());
}

bool ReadFlag(std::u16string_view name) {
    std::uint32_t value = 0;
    return ApplicationKey()->ReadDword(name, value) && value != 0;
}

char Printable(unsigned byte) {
    return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

int HexDigit(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

} // namespace

// Runs on the loader thread: it only posts. The window clears it from the loader and joins the
// loader before it goes, so the window is alive whenever this is called.
class CBinaryViewerWnd::Listener : public IBinaryLoaderListener {
public:
    Listener(CBinaryViewerWnd* window, std::uint32_t generation)
        : m_window(window), m_generation(generation) {}
    void OnChunkReady(std::uint64_t offset) override {
        QCoreApplication::postEvent(m_window, new CChunkReadyEvent(m_generation, offset, 0, 0));
    }
    void OnChunkFailed(std::uint64_t offset, std::uint64_t length, int error) override {
        QCoreApplication::postEvent(m_window, new CChunkReadyEvent(m_generation, offset, length, error));
    }

private:
    CBinaryViewerWnd* m_window;
    std::uint32_t m_generation;
};

class CBinaryViewerWnd::Area : public QWidget {
public:
    explicit Area(CBinaryViewerWnd* viewer) : QWidget(viewer), m_viewer(viewer) {
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(1, 1);
    }

protected:
    void paintEvent(QPaintEvent* event) override { m_viewer->PaintArea(event); }
    void wheelEvent(QWheelEvent* event) override {
        // Touchpads send fractions of a notch: they add up to whole lines.
        m_wheel += event->angleDelta().y() * kWheelLines;
        const int lines = m_wheel / 120;
        m_wheel -= lines * 120;
        for (int i = 0; i < std::abs(lines); ++i) {
            m_viewer->Scroll(lines > 0 ? EBinaryScroll::LineUp : EBinaryScroll::LineDown);
        }
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        m_viewer->m_status[1]->setText(m_viewer->m_page
                                           ? QString::fromStdU16String(m_viewer->m_page->PositionText(
                                                 at.x() - m_viewer->OffsetColumnWidth(), at.y()))
                                           : QString());
    }
    void leaveEvent(QEvent*) override { m_viewer->m_status[1]->clear(); }
    void contextMenuEvent(QContextMenuEvent* event) override {
        m_viewer->ShowContextMenu(event->globalPos());
    }

private:
    CBinaryViewerWnd* m_viewer;
    int m_wheel = 0;
};

CBinaryViewerWnd::CBinaryViewerWnd(const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window), m_path(path), m_area(new Area(this)),
      m_bar(new QScrollBar(Qt::Vertical, this)), m_goTo(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Binary Viewer - %1").arg(path));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(kFontPixelSize);
    font.setWeight(QFont::Light);
    m_area->setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* view = new QHBoxLayout;
    view->setSpacing(0);
    view->addWidget(m_area, 1);
    view->addWidget(m_bar);
    layout->addLayout(view, 1);
    m_goTo->setPlaceholderText(QStringLiteral("Go to offset (decimal, or hexadecimal after 0x)"));
    m_goTo->hide();
    m_goTo->installEventFilter(this);
    layout->addWidget(m_goTo);
    // The parts sit at fixed places as the window's status bar always had them, cut off when the
    // window is narrower; resizeEvent places them.
    auto* status = new QWidget(this);
    for (QLabel*& part : m_status) {
        part = new QLabel(status);
        part->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    status->setFixedHeight(m_status[0]->sizeHint().height() + 2);
    layout->addWidget(status);

    connect(m_bar, &QScrollBar::actionTriggered, this, &CBinaryViewerWnd::OnScrollAction);
    connect(m_bar, &QScrollBar::sliderReleased, this, [this] {
        Scroll(EBinaryScroll::ThumbPosition, UnscaleScrollPosition(m_bar->sliderPosition(), m_scrollScale));
    });
    connect(m_goTo, &QLineEdit::returnPressed, this, [this] {
        if (GoToOffset(m_goTo->text())) {
            m_goTo->hide();
            m_area->setFocus();
        }
    });
    m_relayout.setSingleShot(true);
    m_relayout.setInterval(kRelayoutDelayMilliseconds);
    connect(&m_relayout, &QTimer::timeout, this, &CBinaryViewerWnd::Relayout);

    m_showOffsets = ReadFlag(settings_value::kBinaryViewerOffsets);
    m_showCharacters = ReadFlag(settings_value::kBinaryViewerCharacters);

    setGeometry(0, 0, kDefaultWidth, kDefaultHeight);
    KSRect rect{};
    if (ApplicationKey()->ReadRect(settings_value::kBinaryViewerWindow, rect) && rect.right > rect.left &&
        rect.bottom > rect.top) {
        setGeometry(
            VisiblePlacement(QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1))));
    }
    StartLoader();
}

QWidget* CBinaryViewerWnd::TextArea() const {
    return m_area;
}

CBinaryViewerWnd::~CBinaryViewerWnd() {
    StopLoader();
}

void CBinaryViewerWnd::StartLoader() {
    m_failure.clear();
    ++m_generation;
    const CKSString path = CKSString::FromQString(m_path);
    m_loader = std::make_unique<CBinaryFileLoader>(&ApplicationStopEvent());
    m_loader->SetPath(path);
    m_page = std::make_unique<CBinaryPage>(*m_loader);
    // Opening a FIFO or a device for reading can wait for ever, or read without end: only files.
    std::error_code error;
    const auto status = std::filesystem::status(m_path.toStdString(), error);
    if (error) {
        ShowFailure(QStringLiteral("Cannot open: %1").arg(QString::fromStdString(error.message())));
        return;
    }
    if (!std::filesystem::is_regular_file(status)) {
        ShowFailure(QStringLiteral("Not a regular file: only files can be viewed"));
        return;
    }
    if (!m_loader->Open()) {
        ShowFailure(QStringLiteral("Cannot open: %1").arg(ErrorText(m_loader->GetLastError())));
        return;
    }
    m_listener = std::make_unique<Listener>(this, m_generation);
    m_loader->SetListener(m_listener.get());
    m_loader->Start();
}

void CBinaryViewerWnd::StopLoader() {
    if (m_loader) {
        m_loader->SetListener(nullptr);
        m_loader->StopAndJoin();
    }
}

void CBinaryViewerWnd::Reread() {
    if (m_page) {
        m_pendingTop = m_page->Top();
        m_havePendingTop = true;
    }
    StopLoader();
    m_page.reset();
    m_loader.reset();
    m_listener.reset();
    StartLoader();
    LayOut();
}

int CBinaryViewerWnd::OffsetDigits() const {
    // The size taken when the file was opened, before the loader's first chunk, so that the
    // column's width never changes under a layout.
    return m_loader && m_loader->GetSourceSize() > 0xFFFFFFFFULL ? 16 : 8;
}

int CBinaryViewerWnd::OffsetColumnWidth() const {
    if (!m_showOffsets) {
        return 0;
    }
    return (OffsetDigits() + 2) * QFontMetrics(m_area->font()).horizontalAdvance(QLatin1Char('0'));
}

void CBinaryViewerWnd::LayOut() {
    if (!m_page) {
        return;
    }
    const QFontMetrics metrics(m_area->font());
    const BinaryFontMetrics font{metrics.horizontalAdvance(QLatin1Char('0')), metrics.height()};
    int width = std::max(m_area->width() - OffsetColumnWidth(), 0);
    // With characters, a byte takes four character cells instead of three.
    if (m_showCharacters) {
        width = width * 3 / 4;
    }
    m_page->ClearLayout();
    m_page->InitializeViewData(width, m_area->height(), 0, &font);
    SyncScrollBar();
    UpdateStatus();
    m_area->update();
}

void CBinaryViewerWnd::Relayout() {
    m_relayout.stop();
    LayOut();
}

void CBinaryViewerWnd::Scroll(EBinaryScroll request, std::int64_t position) {
    if (!m_page || !m_page->Scroll(request, position)) {
        return;
    }
    if (request != EBinaryScroll::ThumbTrack) {
        SyncScrollBar();
    }
    UpdateStatus();
    m_area->update();
}

void CBinaryViewerWnd::OnScrollAction(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        Scroll(EBinaryScroll::LineDown);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        Scroll(EBinaryScroll::LineUp);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        Scroll(EBinaryScroll::PageDown);
        break;
    case QAbstractSlider::SliderPageStepSub:
        Scroll(EBinaryScroll::PageUp);
        break;
    case QAbstractSlider::SliderToMinimum:
        Scroll(EBinaryScroll::Top);
        break;
    case QAbstractSlider::SliderToMaximum:
        Scroll(EBinaryScroll::Bottom);
        break;
    case QAbstractSlider::SliderMove:
        Scroll(EBinaryScroll::ThumbTrack, UnscaleScrollPosition(m_bar->sliderPosition(), m_scrollScale));
        break;
    default:
        break;
    }
}

void CBinaryViewerWnd::SyncScrollBar() {
    const BinaryIntScrollBar bar = m_page ? ScaleScrollBar(m_page->ScrollBar()) : BinaryIntScrollBar{};
    m_scrollScale = bar.scale;
    const QSignalBlocker blocker(m_bar);
    // Disabled rather than hidden: hiding would widen the text area and change the layout again.
    m_bar->setEnabled(bar.visible && bar.maximum > 0);
    m_bar->setRange(0, bar.maximum);
    m_bar->setPageStep(1);
    m_bar->setSingleStep(1);
    m_bar->setValue(bar.position);
}

void CBinaryViewerWnd::ShowFailure(const QString& text) {
    m_failure = text;
    UpdateStatus();
}

void CBinaryViewerWnd::UpdateStatus() {
    if (!m_failure.isEmpty()) {
        m_status[0]->setText(m_failure);
        m_status[0]->setToolTip(QStringLiteral("%1: %2").arg(m_path, m_failure));
    } else {
        CKSTime written;
        QString text = m_path;
        if (written.FromFile(CKSString::FromQString(m_path))) {
            const CKSString when =
                written.IsToday() ? FormatShortTime(written, false) : FormatShortDate(written);
            text = QStringLiteral("%1 [%2]").arg(m_path, when.ToQString());
        }
        m_status[0]->setText(text);
        m_status[0]->setToolTip(text);
    }
    if (m_page) {
        m_status[2]->setText(QString::fromStdU16String(m_page->ViewingText()));
    }
}

QString CBinaryViewerWnd::StatusText(int part) const {
    return part >= 0 && part < 3 ? m_status[part]->text() : QString();
}

QString CBinaryViewerWnd::LineText(int line) const {
    if (!m_page || line < 0 || static_cast<std::uint32_t>(line) >= m_page->Lines()) {
        return {};
    }
    const std::string_view hex = m_page->Line(static_cast<std::uint32_t>(line));
    const std::uint64_t perLine = m_page->BytesPerLine();
    const std::uint64_t offset = m_page->Top() + static_cast<std::uint64_t>(line) * perLine;
    if (offset >= m_loader->FileSize()) {
        return {};
    }
    QString text;
    if (m_showOffsets) {
        text = QStringLiteral("%1  ").arg(offset, OffsetDigits(), 16, QLatin1Char('0')).toUpper();
    }
    text += QString::fromLatin1(hex.data(), static_cast<qsizetype>(hex.size()));
    if (m_showCharacters) {
        text += QString(static_cast<qsizetype>(kHexCharsPerByte * perLine - hex.size()), QLatin1Char(' '));
        for (std::size_t i = 0; i + 1 < hex.size(); i += kHexCharsPerByte) {
            text +=
                QLatin1Char(Printable(static_cast<unsigned>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1]))));
        }
    }
    return text;
}

void CBinaryViewerWnd::PaintArea(QPaintEvent*) {
    QPainter painter(m_area);
    painter.fillRect(m_area->rect(), m_area->palette().base());
    if (!m_page || !m_page->HasLayout()) {
        return;
    }
    painter.setPen(m_area->palette().text().color());
    const int ascent = QFontMetrics(m_area->font()).ascent();
    for (std::uint32_t line = 0; line < m_page->Lines(); ++line) {
        const int y = static_cast<int>(line) * m_page->LineHeight() + CBinaryPage::kTextTop + ascent;
        painter.drawText(CBinaryPage::kTextLeft, y, LineText(static_cast<int>(line)));
    }
}

bool CBinaryViewerWnd::GoToOffset(const QString& text) {
    std::uint64_t offset = 0;
    if (!ParseViewerOffset(text.toStdU16String(), offset)) {
        m_status[1]->setText(QStringLiteral("Not an offset: %1").arg(text));
        return false;
    }
    if (!m_page || !m_page->GoTo(offset)) {
        return false;
    }
    SyncScrollBar();
    UpdateStatus();
    m_area->update();
    return true;
}

void CBinaryViewerWnd::SetShowOffsets(bool show) {
    m_showOffsets = show;
    ApplicationKey()->WriteDword(settings_value::kBinaryViewerOffsets, show ? 1 : 0);
    LayOut();
}

void CBinaryViewerWnd::SetShowCharacters(bool show) {
    m_showCharacters = show;
    ApplicationKey()->WriteDword(settings_value::kBinaryViewerCharacters, show ? 1 : 0);
    LayOut();
}

void CBinaryViewerWnd::ShowContextMenu(const QPoint& global) {
    QMenu menu(this);
    QAction* offsets = menu.addAction(QStringLiteral("Show &offsets"));
    offsets->setCheckable(true);
    offsets->setChecked(m_showOffsets);
    QAction* characters = menu.addAction(QStringLiteral("Show &characters"));
    characters->setCheckable(true);
    characters->setChecked(m_showCharacters);
    menu.addSeparator();
    QAction* goTo = menu.addAction(QStringLiteral("&Go to offset...\tCtrl+G"));
    QAction* reread = menu.addAction(QStringLiteral("&Read again\tF5"));
    QAction* chosen = menu.exec(global);
    if (chosen == offsets) {
        SetShowOffsets(!m_showOffsets);
    } else if (chosen == characters) {
        SetShowCharacters(!m_showCharacters);
    } else if (chosen == goTo) {
        m_goTo->show();
        m_goTo->setFocus();
    } else if (chosen == reread) {
        Reread();
    }
}

void CBinaryViewerWnd::customEvent(QEvent* event) {
    if (event->type() != app_event::kChunkReady) {
        QWidget::customEvent(event);
        return;
    }
    const auto* chunk = static_cast<CChunkReadyEvent*>(event);
    if (chunk->generation != m_generation || !m_page) {
        return;
    }
    if (chunk->error != 0) {
        ShowFailure(QStringLiteral("Cannot read at %1: %2").arg(chunk->offset).arg(ErrorText(chunk->error)));
        m_area->update();
        return;
    }
    if (!m_page->HasLayout()) {
        LayOut();
        return;
    }
    if (m_havePendingTop) {
        m_havePendingTop = false;
        m_page->GoTo(m_pendingTop);
    } else {
        // The first chunk tells the size: the status and the scroll range follow it.
        m_page->UpdateViewData();
    }
    SyncScrollBar();
    UpdateStatus();
    m_area->update();
}

void CBinaryViewerWnd::keyPressEvent(QKeyEvent* event) {
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    switch (event->key()) {
    case Qt::Key_Up:
        Scroll(EBinaryScroll::LineUp);
        break;
    case Qt::Key_Down:
        Scroll(EBinaryScroll::LineDown);
        break;
    case Qt::Key_PageUp:
        Scroll(EBinaryScroll::PageUp);
        break;
    case Qt::Key_PageDown:
        Scroll(EBinaryScroll::PageDown);
        break;
    case Qt::Key_Home:
        Scroll(EBinaryScroll::Top);
        break;
    case Qt::Key_End:
        Scroll(EBinaryScroll::Bottom);
        break;
    case Qt::Key_F5:
        Reread();
        break;
    case Qt::Key_G:
        if (!control) {
            QWidget::keyPressEvent(event);
            return;
        }
        m_goTo->show();
        m_goTo->setFocus();
        m_goTo->selectAll();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool CBinaryViewerWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_goTo && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_goTo->hide();
        m_area->setFocus();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CBinaryViewerWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    QWidget* status = m_status[0]->parentWidget();
    const int height = status->height();
    const int rights[3] = {kStatusFirstRight, kStatusSecondRight,
                           std::max(status->width(), kStatusSecondRight)};
    int left = 0;
    for (int part = 0; part < 3; ++part) {
        m_status[part]->setGeometry(left, 0, rights[part] - left, height);
        left = rights[part];
    }
    // Qt tells no end of a drag, and maximising is a resize too: lay out once the size is still.
    m_relayout.start();
}

void CBinaryViewerWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Relayout();
}

void CBinaryViewerWnd::SaveSettings() const {
    if (isMinimized()) {
        return;
    }
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    ApplicationKey()->WriteRect(settings_value::kBinaryViewerWindow,
                                KSRect{normal.left(), normal.top(), normal.right() + 1, normal.bottom() + 1});
}

void CBinaryViewerWnd::closeEvent(QCloseEvent* event) {
    if (!m_closed) {
        m_closed = true;
        SaveSettings();
        StopLoader();
    }
    event->accept();
}

CBinaryViewerWnd* ShowBinaryViewer(const QString& path, CToolWindowManager& tools) {
    auto* viewer = new CBinaryViewerWnd(path);
    tools.Register(viewer);
    viewer->show();
    return viewer;
}

void OpenBinaryViewer(QWidget* owner, CToolWindowManager& tools) {
    const QString filters = PortableFilter(
        QStringLiteral("All (*.*);;Text (*.txt);;Bin/test (*.bin);;Images (*.png *.gif *.bmp *.jpg *.jpeg)"));
    const QString path = Prompts().ChooseOpenFile(owner, QString(), QString(), filters, false);
    if (!path.isEmpty()) {
        ShowBinaryViewer(path, tools);
    }
}
