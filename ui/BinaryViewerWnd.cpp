#include "ui/BinaryViewerWnd.h"

#include "app/AppContext.h"
#include "ui/ToolWindowManager.h"
#include "ui/UserPrompts.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// Wheel notches scroll this many lines, as in most text views.
constexpr int kWheelLines = 3;
// The font: fixed pitch, 10 pixels high, light.
constexpr int kFontPixelSize = 10;
// What one wheel notch reports.
constexpr int kWheelNotch = 120;

} // namespace

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
        const int lines = m_wheel / kWheelNotch;
        m_wheel -= lines * kWheelNotch;
        for (int i = 0; i < std::abs(lines); ++i) {
            m_viewer->Scroll(lines > 0 ? EBinaryScroll::LineUp : EBinaryScroll::LineDown);
        }
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        m_viewer->m_tool->PointAt(at.x(), at.y());
    }
    void leaveEvent(QEvent*) override { m_viewer->m_tool->PointAt(-1, -1); }
    void contextMenuEvent(QContextMenuEvent* event) override {
        m_viewer->ShowContextMenu(event->globalPos());
    }

private:
    CBinaryViewerWnd* m_viewer;
    int m_wheel = 0;
};

CBinaryViewerWnd::CBinaryViewerWnd(const QString& path, CAppContext& context, QWidget* parent,
                                   std::unique_ptr<CBinaryViewerTool> tool)
    : QWidget(parent, Qt::Window), m_context(context),
      m_tool(tool ? tool.release() : new CBinaryViewerTool(path, context.Settings(), context.Reaper())),
      m_area(new Area(this)), m_bar(new QScrollBar(Qt::Vertical, this)), m_goTo(new QLineEdit(this)) {
    m_tool->setParent(this);
    setWindowTitle(QStringLiteral("Binary Viewer - %1").arg(m_tool->Path()));
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
    m_goTo->setObjectName(QStringLiteral("goToOffset"));
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
    connect(m_bar, &QScrollBar::sliderReleased, this,
            [this] { m_tool->ScrollToBar(m_bar->sliderPosition(), false); });
    connect(m_goTo, &QLineEdit::returnPressed, this, [this] {
        if (m_tool->GoToOffset(m_goTo->text())) {
            m_goTo->hide();
            m_area->setFocus();
        }
    });
    m_relayout.setSingleShot(true);
    m_relayout.setInterval(kRelayoutDelayMilliseconds);
    connect(&m_relayout, &QTimer::timeout, this, &CBinaryViewerWnd::Relayout);
    connect(m_tool, &CBinaryViewerTool::Changed, this, &CBinaryViewerWnd::Refresh);

    setGeometry(0, 0, kDefaultWidth, kDefaultHeight);
    RestorePlacement(*this, context.Settings(), settings_key::kBinaryViewerWindow);
    Refresh();
}

CBinaryViewerWnd::~CBinaryViewerWnd() {
    m_tool->Close();
}

QWidget* CBinaryViewerWnd::TextArea() const {
    return m_area;
}

void CBinaryViewerWnd::Relayout() {
    m_relayout.stop();
    const QFontMetrics metrics(m_area->font());
    m_tool->LayOut(m_area->width(), m_area->height(),
                   BinaryFontMetrics{metrics.horizontalAdvance(QLatin1Char('0')), metrics.height()});
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
        m_tool->ScrollToBar(m_bar->sliderPosition(), true);
        break;
    default:
        break;
    }
}

void CBinaryViewerWnd::Refresh() {
    m_status[0]->setText(m_tool->FileText());
    m_status[0]->setToolTip(m_tool->FileToolTip());
    m_status[1]->setText(m_tool->PointerText());
    m_status[2]->setText(m_tool->ViewingText());
    // While the thumb is dragged the bar shows the drag; it follows the page once let go.
    if (!m_bar->isSliderDown()) {
        const BinaryIntScrollBar bar = m_tool->ScrollBarState();
        const QSignalBlocker blocker(m_bar);
        // Disabled rather than hidden: hiding would widen the text area and change the layout again.
        m_bar->setEnabled(bar.visible && bar.maximum > 0);
        m_bar->setRange(0, bar.maximum);
        m_bar->setPageStep(1);
        m_bar->setSingleStep(1);
        m_bar->setValue(bar.position);
    }
    m_area->update();
}

QString CBinaryViewerWnd::StatusText(int part) const {
    return part >= 0 && part < 3 ? m_status[part]->text() : QString();
}

void CBinaryViewerWnd::PaintArea(QPaintEvent*) {
    QPainter painter(m_area);
    painter.fillRect(m_area->rect(), m_area->palette().base());
    const CBinaryPage* page = m_tool->Page();
    if (page == nullptr || !page->HasLayout()) {
        return;
    }
    painter.setPen(m_area->palette().text().color());
    const int ascent = QFontMetrics(m_area->font()).ascent();
    for (std::uint32_t line = 0; line < page->Lines(); ++line) {
        const int y = static_cast<int>(line) * page->LineHeight() + CBinaryPage::kTextTop + ascent;
        painter.drawText(CBinaryPage::kTextLeft, y, m_tool->LineText(static_cast<int>(line)));
    }
}

void CBinaryViewerWnd::ShowGoTo() {
    m_goTo->show();
    m_goTo->setFocus();
    m_goTo->selectAll();
}

void CBinaryViewerWnd::ShowContextMenu(const QPoint& global) {
    QMenu menu(this);
    QAction* offsets = menu.addAction(QStringLiteral("Show &offsets"));
    offsets->setCheckable(true);
    offsets->setChecked(m_tool->ShowsOffsets());
    QAction* characters = menu.addAction(QStringLiteral("Show &characters"));
    characters->setCheckable(true);
    characters->setChecked(m_tool->ShowsCharacters());
    menu.addSeparator();
    QAction* goTo = menu.addAction(QStringLiteral("&Go to offset...\tCtrl+G"));
    QAction* reread = menu.addAction(QStringLiteral("&Read again\tF5"));
    QAction* chosen = menu.exec(global);
    if (chosen == offsets) {
        m_tool->SetShowOffsets(!m_tool->ShowsOffsets());
    } else if (chosen == characters) {
        m_tool->SetShowCharacters(!m_tool->ShowsCharacters());
    } else if (chosen == goTo) {
        ShowGoTo();
    } else if (chosen == reread) {
        m_tool->Reread();
    }
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
        m_tool->Reread();
        break;
    case Qt::Key_G:
        if (!control) {
            QWidget::keyPressEvent(event);
            return;
        }
        ShowGoTo();
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

void CBinaryViewerWnd::closeEvent(QCloseEvent* event) {
    if (!m_closed) {
        m_closed = true;
        SavePlacement(*this, m_context.Settings(), settings_key::kBinaryViewerWindow);
        m_context.Settings().Save();
        // At once: a read stuck in the file is the reaper's to wait for, never the window's.
        m_tool->Close();
    }
    event->accept();
}

CBinaryViewerWnd* ShowBinaryViewer(const QString& path, CAppContext& context, CToolWindowManager& tools) {
    auto* viewer = new CBinaryViewerWnd(path, context);
    tools.Register(viewer);
    viewer->show();
    return viewer;
}

void OpenBinaryViewer(QWidget* owner, CAppContext& context, CToolWindowManager& tools) {
    const QString filters = PortableFilter(
        QStringLiteral("All (*.*);;Text (*.txt);;Bin/test (*.bin);;Images (*.png *.gif *.bmp *.jpg *.jpeg)"));
    const QString path = Prompts().ChooseOpenFile(owner, QString(), QString(), filters, false);
    if (!path.isEmpty()) {
        ShowBinaryViewer(path, context, tools);
    }
}
