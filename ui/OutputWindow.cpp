#include "ui/OutputWindow.h"

#include "ui/AppEvents.h"
#include "ui/OutputTextView.h"
#include "ui/Resources.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QVBoxLayout>

#include <cstring>

namespace {

// The shortest time between two takes of gathered text.
constexpr qint64 kDrainMilliseconds = 20;

std::vector<QPointer<CKSOutputWnd>>& Registry() {
    static std::vector<QPointer<CKSOutputWnd>> windows;
    return windows;
}

// Appends text as UTF-8; the usual all-ASCII line takes the short way.
void AppendUtf8(QByteArray& out, std::u16string_view text) {
    const qsizetype start = out.size();
    out.resize(start + static_cast<qsizetype>(text.size()));
    char* bytes = out.data() + start;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0x80) {
            out.resize(start + static_cast<qsizetype>(i));
            out += QStringView(text.data() + i, static_cast<qsizetype>(text.size() - i)).toUtf8();
            return;
        }
        bytes[i] = static_cast<char>(text[i]);
    }
}

} // namespace

void COutputSink::Write(std::u16string_view text, bool /*error*/) {
    std::lock_guard lock(m_lock);
    if (m_target != nullptr) {
        const qsizetype start = m_pending.size();
        AppendUtf8(m_pending, text);
        EndLine(start);
    }
}

void COutputSink::WriteA(std::string_view text) {
    std::lock_guard lock(m_lock);
    if (m_target != nullptr) {
        const qsizetype start = m_pending.size();
        m_pending.append(text.data(), static_cast<qsizetype>(text.size()));
        EndLine(start);
    }
}

void COutputSink::EndLine(qsizetype start) {
    // Within the write each "\r\n" becomes a "\n", in place.
    char* const bytes = m_pending.data();
    const qsizetype end = m_pending.size();
    if (std::memchr(bytes + start, '\r', static_cast<std::size_t>(end - start)) != nullptr) {
        qsizetype kept = start;
        for (qsizetype i = start; i < end; ++i) {
            if (!(bytes[i] == '\r' && i + 1 < end && bytes[i + 1] == '\n')) {
                bytes[kept++] = bytes[i];
            }
        }
        m_pending.truncate(kept);
    }
    m_pending += '\n';
    if (!m_wakePosted) {
        m_wakePosted = true;
        QCoreApplication::postEvent(m_target, new QEvent(app_event::kAppendText));
    }
}

void COutputSink::Show() {
    std::lock_guard lock(m_lock);
    if (m_target != nullptr) {
        QCoreApplication::postEvent(m_target, new QEvent(app_event::kShowWindow));
    }
}

void COutputSink::Ended() {
    std::lock_guard lock(m_lock);
    if (m_target != nullptr) {
        QCoreApplication::postEvent(m_target, new QEvent(app_event::kBatchEnded));
    }
}

void COutputSink::TakePending(QByteArray& spare) {
    spare.resize(0); // keeps its room
    std::lock_guard lock(m_lock);
    m_wakePosted = false;
    std::swap(m_pending, spare);
}

bool COutputSink::HasPending() {
    std::lock_guard lock(m_lock);
    return !m_pending.isEmpty();
}

void COutputSink::Detach() {
    std::lock_guard lock(m_lock);
    m_target = nullptr;
    m_pending.clear();
}

CKSOutputWnd::CKSOutputWnd(QWidget* owner, const QString& title)
    : QWidget(owner, Qt::Window), m_view(new COutputTextView(m_lines, this)), m_layout(new QVBoxLayout(this)),
      m_sink(new COutputSink(this)) {
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

void CKSOutputWnd::customEvent(QEvent* event) {
    if (event->type() == app_event::kAppendText) {
        if (!m_drainLater.isActive()) {
            const qint64 since = m_sinceDrain.isValid() ? m_sinceDrain.elapsed() : kDrainMilliseconds;
            if (since >= kDrainMilliseconds) {
                Drain();
            } else {
                m_drainLater.start(static_cast<int>(kDrainMilliseconds - since));
            }
        }
        return;
    }
    if (event->type() == app_event::kBatchEnded) {
        m_drainLater.stop();
        Drain();
        OnBatchEnded();
        return;
    }
    if (event->type() == app_event::kShowWindow) {
        show();
        raise();
        return;
    }
    QWidget::customEvent(event);
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
