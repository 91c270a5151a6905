#include "ui/OutputWindow.h"

#include "ui/AppEvents.h"
#include "ui/Resources.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeySequence>
#include <QScrollBar>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The most text shown per event; the rest waits for the next one.
constexpr qsizetype kSliceCharacters = 64 * 1024;

std::vector<QPointer<CKSOutputWnd>>& Registry() {
    static std::vector<QPointer<CKSOutputWnd>> windows;
    return windows;
}

} // namespace

// The lines of an output window. A list model over one text buffer and the lines' start offsets
// rather than a text document or a string per line: a batch may write a line per CSV row, and
// hundreds of thousands of lines must stay cheap to append and to hold.
class COutputLinesModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // Appends whole lines, each ending with "\n".
    void Append(QStringView lines) {
        qsizetype added = 0;
        for (qsizetype at = lines.indexOf(QLatin1Char('\n')); at >= 0;
             at = lines.indexOf(QLatin1Char('\n'), at + 1)) {
            ++added;
        }
        if (added == 0) {
            return;
        }
        const int first = static_cast<int>(m_starts.size());
        beginInsertRows({}, first, first + static_cast<int>(added) - 1);
        qsizetype lineStart = m_text.size();
        m_text.append(lines);
        for (qsizetype at = m_text.indexOf(QLatin1Char('\n'), lineStart); at >= 0;
             at = m_text.indexOf(QLatin1Char('\n'), at + 1)) {
            m_starts.push_back(lineStart);
            lineStart = at + 1;
        }
        endInsertRows();
    }
    // Every line, each followed by "\n".
    const QString& Text() const { return m_text; }
    QString Line(int row) const {
        const qsizetype start = m_starts[static_cast<std::size_t>(row)];
        const qsizetype end = static_cast<std::size_t>(row) + 1 < m_starts.size()
                                  ? m_starts[static_cast<std::size_t>(row) + 1]
                                  : m_text.size();
        return m_text.mid(start, end - start - 1);
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_starts.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
            return {};
        }
        return Line(index.row());
    }

private:
    QString m_text;
    std::vector<qsizetype> m_starts;
};

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
    : QWidget(owner, Qt::Window), m_lines(new COutputLinesModel(this)), m_view(new QTreeView(this)),
      m_layout(new QVBoxLayout(this)), m_sink(new COutputSink(this)) {
    setWindowTitle(title);
    setGeometry(0, 0, kDefaultWidth, kDefaultHeight);
    m_view->setModel(m_lines);
    m_view->setHeaderHidden(true);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    m_view->setFont(font);
    // The lines can be copied like the text of a read-only text box.
    auto* copy = new QShortcut(QKeySequence::Copy, m_view);
    connect(copy, &QShortcut::activated, this, [this] {
        QStringList chosen;
        for (const QModelIndex& index : m_view->selectionModel()->selectedRows()) {
            chosen << m_lines->Line(index.row());
        }
        QApplication::clipboard()->setText(chosen.join(QLatin1Char('\n')));
    });
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
    m_sink->Append(text);
}

QString CKSOutputWnd::Text() const {
    return m_lines->Text();
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
        m_backlog += m_sink->TakePending();
        AppendPending();
        return;
    }
    if (event->type() == app_event::kShowWindow) {
        show();
        raise();
        return;
    }
    QWidget::customEvent(event);
}

void CKSOutputWnd::AppendPending() {
    // Every write ends with a line break: show whole lines only, at most a slice at a time.
    const QStringView waiting = QStringView(m_backlog).mid(m_backlogStart);
    qsizetype length = waiting.size() <= kSliceCharacters
                           ? waiting.size()
                           : waiting.left(kSliceCharacters).lastIndexOf(QLatin1Char('\n')) + 1;
    if (length <= 0) {
        length = waiting.indexOf(QLatin1Char('\n')) + 1;
    }
    if (length <= 0) {
        return;
    }
    QScrollBar* bar = m_view->verticalScrollBar();
    const bool followEnd = bar->value() == bar->maximum();
    m_lines->Append(waiting.left(length));
    m_backlogStart += length;
    // Shown text leaves the backlog in bulk, not a slice at a time, so that draining a flood of
    // text stays linear in its size.
    if (m_backlogStart == m_backlog.size()) {
        m_backlog.clear();
        m_backlogStart = 0;
    } else if (m_backlogStart > m_backlog.size() / 2) {
        m_backlog.remove(0, m_backlogStart);
        m_backlogStart = 0;
    }
    if (followEnd) {
        m_view->scrollToBottom();
    }
    if (!m_backlog.isEmpty()) {
        QCoreApplication::postEvent(this, new QEvent(app_event::kAppendText), Qt::LowEventPriority);
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
