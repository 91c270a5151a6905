#include "tools/BinaryViewerTool.h"

#include "support/KSTime.h"
#include "tools/BinaryFileLoader.h"
#include "tools/HexText.h"

#include <filesystem>
#include <system_error>

namespace {

char Printable(unsigned char byte) {
    return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

} // namespace

// On the loader's thread: it only queues a call, tagged with its loader's generation.
class CBinaryViewerTool::LoaderListener : public IBinaryLoaderListener {
public:
    LoaderListener(CBinaryViewerTool& tool, std::uint32_t generation)
        : m_tool(tool), m_generation(generation) {}
    void OnChunkReady(std::uint64_t /*offset*/) override {
        m_tool.m_loader.Post(
            [tool = &m_tool, generation = m_generation] { tool->ChunkArrived(generation, {}); });
    }
    void OnChunkFailed(std::uint64_t offset, std::uint64_t /*length*/, int error) override {
        // A failed read whose reason is unknown (error 0) is still a failure.
        const CKSError failure = CKSError::FromErrno(u"Cannot read at " + Utf8ToUtf16(std::to_string(offset)),
                                                     CKSString(u""), error);
        m_tool.m_loader.Post([tool = &m_tool, generation = m_generation, failure] {
            tool->ChunkArrived(generation, failure);
        });
    }

private:
    CBinaryViewerTool& m_tool;
    const std::uint32_t m_generation;
};

CBinaryViewerTool::CBinaryViewerTool(const QString& path, CFakemillSettings& settings, CThreadReaper& reaper,
                                     LoaderFactory makeLoader, QObject* parent)
    : QObject(parent), m_path(path), m_settings(settings), m_makeLoader(std::move(makeLoader)),
      m_loader(this, reaper), m_showOffsets(settings.Get(settings_key::kBinaryViewerOffsets)),
      m_showCharacters(settings.Get(settings_key::kBinaryViewerCharacters)) {
    StartLoader();
}

CBinaryViewerTool::~CBinaryViewerTool() {
    Close();
}

void CBinaryViewerTool::Close() {
    m_page.reset(); // it refers to the loader
    if (m_loader.Close()) {
        m_listener.reset();
    }
}

void CBinaryViewerTool::StartLoader() {
    m_failure = CKSError();
    ++m_generation;
    const CKSString path = CKSString::FromQString(m_path);
    m_page.reset();
    // The tool's own loader, stopped by the tool alone.
    if (m_makeLoader) {
        m_loader.Reset(m_makeLoader(path));
    } else {
        auto loader = std::make_unique<CBinaryFileLoader>(nullptr);
        loader->SetPath(path);
        m_loader.Reset(std::move(loader));
    }
    m_listener = std::make_unique<LoaderListener>(*this, m_generation);
    m_page = std::make_unique<CBinaryPage>(*m_loader.Get());
    m_fileText = m_path;
    CKSTime written;
    if (written.FromFile(path)) {
        const CKSString when = written.IsToday() ? FormatShortTime(written, false) : FormatShortDate(written);
        m_fileText = QStringLiteral("%1 [%2]").arg(m_path, when.ToQString());
    }
    if (!m_makeLoader) {
        // Opening a FIFO or a device for reading can wait for ever, or read without end: only files.
        std::error_code error;
        const auto status = std::filesystem::status(path.ToUtf8(), error);
        if (error) {
            Fail(CKSError(u"Cannot open", CKSString(u""), Utf8ToUtf16(error.message()), error.value()));
            return;
        }
        if (!std::filesystem::is_regular_file(status)) {
            Fail(CKSError(u"Not a regular file", CKSString(u""), u"only files can be viewed"));
            return;
        }
    }
    if (!m_loader->Open()) {
        Fail(CKSError::FromErrno(u"Cannot open", CKSString(u""), m_loader->GetLastError()));
        return;
    }
    m_loader->SetListener(m_listener.get());
    m_loader->Start();
}

void CBinaryViewerTool::Fail(const CKSError& failure) {
    m_failure = failure;
    emit Changed();
}

void CBinaryViewerTool::ChunkArrived(std::uint32_t generation, const CKSError& failure) {
    if (generation != m_generation || !m_page) {
        return;
    }
    if (failure.Failed()) {
        Fail(failure);
        return;
    }
    if (!m_page->HasLayout()) {
        ApplyLayout();
        return;
    }
    if (m_havePendingTop) {
        m_havePendingTop = false;
        m_page->GoTo(m_pendingTop);
    } else {
        // The first chunk tells the size: the status and the scroll range follow it.
        m_page->UpdateViewData();
    }
    emit Changed();
}

int CBinaryViewerTool::OffsetDigits() const {
    // The size taken when the file was opened, so that the column's width never changes under a
    // layout.
    return m_loader && m_loader->GetSourceSize() > 0xFFFFFFFFULL ? 16 : 8;
}

int CBinaryViewerTool::OffsetColumnWidth() const {
    return m_showOffsets ? (OffsetDigits() + 2) * m_font.charWidth : 0;
}

void CBinaryViewerTool::LayOut(int areaWidth, int areaHeight, const BinaryFontMetrics& font) {
    m_areaWidth = areaWidth;
    m_areaHeight = areaHeight;
    m_font = font;
    ApplyLayout();
}

void CBinaryViewerTool::ApplyLayout() {
    if (!m_page) {
        return;
    }
    int width = std::max(m_areaWidth - OffsetColumnWidth(), 0);
    // With characters, a byte takes four character cells instead of three.
    if (m_showCharacters) {
        width = width * 3 / 4;
    }
    m_page->ClearLayout();
    m_page->InitializeViewData(width, m_areaHeight, 0, &m_font);
    emit Changed();
}

void CBinaryViewerTool::PointAt(int x, int y) {
    m_pointerText = m_page && x >= 0 && y >= 0
                        ? QString::fromStdU16String(m_page->PositionText(x - OffsetColumnWidth(), y))
                        : QString();
    emit Changed();
}

bool CBinaryViewerTool::Scroll(EBinaryScroll request, std::int64_t position) {
    if (!m_page || !m_page->Scroll(request, position)) {
        return false;
    }
    emit Changed();
    return true;
}

BinaryIntScrollBar CBinaryViewerTool::ScrollBarState() const {
    return m_page ? ScaleScrollBar(m_page->ScrollBar()) : BinaryIntScrollBar{};
}

void CBinaryViewerTool::ScrollToBar(int position, bool tracking) {
    Scroll(tracking ? EBinaryScroll::ThumbTrack : EBinaryScroll::ThumbPosition,
           UnscaleScrollPosition(position, ScrollBarState().scale));
}

bool CBinaryViewerTool::GoToOffset(const QString& text) {
    std::uint64_t offset = 0;
    if (!ParseViewerOffset(text.toStdU16String(), offset)) {
        m_pointerText = QStringLiteral("Not an offset: %1").arg(text);
        emit Changed();
        return false;
    }
    if (!m_page || !m_page->GoTo(offset)) {
        return false;
    }
    emit Changed();
    return true;
}

void CBinaryViewerTool::Reread() {
    if (m_loader.IsClosed()) {
        return;
    }
    if (m_page) {
        m_pendingTop = m_page->Top();
        m_havePendingTop = true;
    }
    StartLoader();
    ApplyLayout();
}

void CBinaryViewerTool::SetShowOffsets(bool show) {
    m_showOffsets = show;
    m_settings.Set(settings_key::kBinaryViewerOffsets, show);
    m_settings.Save();
    ApplyLayout();
}

void CBinaryViewerTool::SetShowCharacters(bool show) {
    m_showCharacters = show;
    m_settings.Set(settings_key::kBinaryViewerCharacters, show);
    m_settings.Save();
    ApplyLayout();
}

QString CBinaryViewerTool::FileText() const {
    return m_failure.Failed() ? QString::fromStdU16String(m_failure.Text()) : m_fileText;
}

QString CBinaryViewerTool::FileToolTip() const {
    return m_failure.Failed() ? QStringLiteral("%1: %2").arg(m_path, FileText()) : m_fileText;
}

QString CBinaryViewerTool::ViewingText() const {
    return m_page ? QString::fromStdU16String(m_page->ViewingText()) : QString();
}

QString CBinaryViewerTool::LineText(int line) const {
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
        for (const unsigned char byte : m_page->LineBytes(static_cast<std::uint32_t>(line))) {
            text += QLatin1Char(Printable(byte));
        }
    }
    return text;
}
