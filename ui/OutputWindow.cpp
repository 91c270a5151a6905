#include "ui/OutputWindow.h"

#include "ui/OutputTextView.h"
#include "ui/Resources.h"

#include <QFontDatabase>
#include <QVBoxLayout>

namespace {

// The shortest time between two takes of gathered text.
constexpr qint64 kDrainMilliseconds = 20;

std::vector<QPointer<CKSOutputWnd>>& Registry() {
    static std::vector<QPointer<CKSOutputWnd>> windows;
    return windows;
}

} // namespace

CKSOutputWnd::CKSOutputWnd(QWidget* owner, const QString& title)
    : QWidget(owner, Qt::Window), m_view(new COutputTextView(m_lines, this)), m_layout(new QVBoxLayout(this)),
      m_sink(std::make_shared<COutputSink>(this, COutputSink::Calls{[this] { TextArrived(); },
                                                                    [this] {
                                                                        show();
                                                                        raise();
                                                                    },
                                                                    [this] {
                                                                        m_drainLater.stop();
                                                                        Drain();
                                                                        OnBatchEnded();
                                                                    }})) {
    setWindowTitle(title);
    setGeometry(0, 0, kDefaultWidth, kDefaultHeight);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_drainLater.setSingleShot(true);
    connect(&m_drainLater, &QTimer::timeout, this, &CKSOutputWnd::Drain);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    m_view->setFont(font);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(2);
    m_layout->addWidget(m_view);
    Registry().emplace_back(this);
}

CKSOutputWnd::~CKSOutputWnd() {
    // From here on no thread posts to this window; text written later is dropped.
    m_sink->Detach();
    auto& windows = Registry();
    std::erase_if(windows,
                  [this](const QPointer<CKSOutputWnd>& window) { return window.isNull() || window == this; });
}

void CKSOutputWnd::Write(const QString& text) {
    m_sink->Write(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                      static_cast<std::size_t>(text.size())),
                  false);
}

QString CKSOutputWnd::Text() const {
    return m_lines.Text();
}

std::vector<CKSOutputWnd*> CKSOutputWnd::Windows() {
    std::vector<CKSOutputWnd*> windows;
    for (const QPointer<CKSOutputWnd>& window : Registry()) {
        if (!window.isNull()) {
            windows.push_back(window.data());
        }
    }
    return windows;
}

void CKSOutputWnd::TextArrived() {
    if (m_drainLater.isActive()) {
        return;
    }
    const qint64 since = m_sinceDrain.isValid() ? m_sinceDrain.elapsed() : kDrainMilliseconds;
    if (since >= kDrainMilliseconds) {
        Drain();
    } else {
        m_drainLater.start(static_cast<int>(kDrainMilliseconds - since));
    }
}

void CKSOutputWnd::Drain() {
    m_sinceDrain.restart();
    m_sink->TakePending(m_spare);
    // A copy of exactly its size: the buffer itself goes back to the sink.
    if (m_lines.Append(QByteArray(m_spare.constData(), m_spare.size())) > 0) {
        m_view->LinesAppended();
    }
}

CKSHelpWnd::CKSHelpWnd(QWidget* owner) : CKSOutputWnd(owner, QStringLiteral("Fakemill Help")) {
    setAttribute(Qt::WA_DeleteOnClose);
    const char16_t* const writes[] = {
        u"Fakemill Help\r\n=============================\r\n",
        u"Use the 'Define/Add' command to create new definitions.\r\n",
        u"Choose 'Generate/Run' to generate files.  You must select at least one definition first.\r\n",
        u"By default, the generator will prompt ",
        (u"you for a directory to generate the files in.  You can change this behaviour in the Options "
         u"dialog.\r\n"),
    };
    for (const char16_t* text : writes) {
        Sink()->Write(text, false);
    }
}

int CKSHelpWnd::GetKind() const {
    return res::kKindHelp;
}
