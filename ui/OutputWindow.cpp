#include "ui/OutputWindow.h"

#include "ui/AppEvents.h"
#include "ui/Resources.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

std::vector<QPointer<CKSOutputWnd>>& Registry() {
    static std::vector<QPointer<CKSOutputWnd>> windows;
    return windows;
}

} // namespace

void COutputSink::Write(std::u16string_view text, bool /*error*/) {
    Append(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
}

void COutputSink::WriteA(std::string_view text) {
    Append(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void COutputSink::Append(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::lock_guard lock(m_lock);
    if (m_target == nullptr) {
        return;
    }
    m_pending += text;
    m_pending += QLatin1Char('\n');
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

QString COutputSink::TakePending() {
    std::lock_guard lock(m_lock);
    m_wakePosted = false;
    return std::exchange(m_pending, QString());
}

void COutputSink::Detach() {
    std::lock_guard lock(m_lock);
    m_target = nullptr;
    m_pending.clear();
}

CKSOutputWnd::CKSOutputWnd(QWidget* owner, const QString& title)
    : QWidget(owner, Qt::Window), m_text(new QPlainTextEdit(this)), m_layout(new QVBoxLayout(this)),
      m_sink(new COutputSink(this)) {
    setWindowTitle(title);
    setGeometry(0, 0, kDefaultWidth, kDefaultHeight);
    m_text->setReadOnly(true);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    m_text->setFont(font);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(2);
    m_layout->addWidget(m_text);
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
    m_sink->Append(text);
}

QString CKSOutputWnd::Text() const {
    return m_text->toPlainText();
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
        AppendPending(m_sink->TakePending());
        return;
    }
    if (event->type() == app_event::kShowWindow) {
        show();
        raise();
        return;
    }
    QWidget::customEvent(event);
}

void CKSOutputWnd::AppendPending(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    QScrollBar* bar = m_text->verticalScrollBar();
    const bool followEnd = bar->value() == bar->maximum();
    // A cursor of its own always writes at the end, wherever the user's caret is.
    QTextCursor end(m_text->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    if (followEnd) {
        bar->setValue(bar->maximum());
    }
}

CKSHelpWnd::CKSHelpWnd(QWidget* owner) : CKSOutputWnd(owner, QStringLiteral("Fakemill Help")) {
    setAttribute(Qt::WA_DeleteOnClose);
    const char16_t* const writes[] = {
        u"Fakemill Help\r\n=============================\r\n",
        u"Use the 'Define/Add' command to create new definitions.\r\n",
        u"Choose 'Generate/Run' to generate files.  You must select at least one definition first.\r\n",
        u"By default, the generator will prompt ",
        u"you for a directory to generate the files in.  You can change this behaviour in the Options "
        u"dialog.\r\n",
    };
    for (const char16_t* text : writes) {
        Sink()->Write(text, false);
    }
}

int CKSHelpWnd::GetKind() const {
    return res::kKindHelp;
}
