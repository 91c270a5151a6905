#include "app/OutputLines.h"

#include <algorithm>
#include <limits>

namespace {

// Line starts are kept in 32 bits: lines of a piece that start beyond are dropped (a piece that
// large, eight gigabytes of text in one write, does not happen in practice).
constexpr qsizetype kMaxStart = std::numeric_limits<std::uint32_t>::max();

} // namespace

qsizetype COutputLines::Append(QByteArray piece) {
    piece.truncate(piece.lastIndexOf('\n') + 1);
    if (piece.isEmpty()) {
        return 0;
    }
    const qsizetype before = Count();
    const auto index = static_cast<std::uint32_t>(m_pieces.size());
    qsizetype lineStart = 0;
    for (qsizetype at = piece.indexOf('\n'); at >= 0; at = piece.indexOf('\n', at + 1)) {
        if (lineStart > kMaxStart) {
            piece.truncate(lineStart);
            break;
        }
        m_lines.push_back(LineStart{index, static_cast<std::uint32_t>(lineStart)});
        m_longest = std::max(m_longest, at - lineStart);
        lineStart = at + 1;
    }
    // Room the piece grew into and never used goes back.
    if (piece.capacity() > piece.size() + piece.size() / 4) {
        piece.squeeze();
    }
    m_pieces.push_back(std::move(piece));
    return Count() - before;
}

QByteArrayView COutputLines::Bytes(qsizetype row) const {
    const auto at = static_cast<std::size_t>(row);
    const LineStart start = m_lines[at];
    const QByteArray& piece = m_pieces[start.piece];
    const qsizetype end = at + 1 < m_lines.size() && m_lines[at + 1].piece == start.piece
                              ? static_cast<qsizetype>(m_lines[at + 1].offset)
                              : piece.size();
    return QByteArrayView(piece).sliced(start.offset, end - start.offset - 1);
}

QString COutputLines::Line(qsizetype row) const {
    return QString::fromUtf8(Bytes(row));
}

QString COutputLines::Text() const {
    qsizetype size = 0;
    for (const QByteArray& piece : m_pieces) {
        size += piece.size();
    }
    QByteArray bytes;
    bytes.reserve(size);
    for (const QByteArray& piece : m_pieces) {
        bytes += piece;
    }
    return QString::fromUtf8(bytes);
}

QString COutputLines::Join(qsizetype first, qsizetype last) const {
    if (first > last || first < 0 || last >= Count()) {
        return {};
    }
    QByteArray bytes;
    for (qsizetype row = first; row <= last; ++row) {
        if (row > first) {
            bytes += '\n';
        }
        bytes += Bytes(row);
    }
    return QString::fromUtf8(bytes);
}
