#pragma once
// The lines of an output window, kept as UTF-8 in the pieces of text they arrived in, with where
// each line starts, rather than as a text document or a string per line. A batch may write a line
// per CSV row: hundreds of thousands of lines must stay cheap to take in, to hold and to show a
// screenful of, and a piece is taken in without copying its text.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class COutputLines {
public:
    // Takes in whole lines of UTF-8, each ending with "\n"; text after the last "\n" is dropped.
    // Answers how many lines were added.
    qsizetype Append(QByteArray piece);

    qsizetype Count() const { return static_cast<qsizetype>(m_lines.size()); }
    // Line row without its "\n"; row must be below Count().
    QString Line(qsizetype row) const;
    // Every line, each followed by "\n".
    QString Text() const;
    // The lines first to last (inclusive) joined by "\n", as a copy to the clipboard wants them.
    QString Join(qsizetype first, qsizetype last) const;
    // The length in bytes of the longest line so far (its characters, for the usual ASCII line).
    qsizetype LongestLine() const { return m_longest; }

private:
    struct LineStart {
        std::uint32_t piece;
        std::uint32_t offset;
    };

    // The bytes of line row, without its "\n".
    QByteArrayView Bytes(qsizetype row) const;

    std::vector<QByteArray> m_pieces;
    std::vector<LineStart> m_lines;
    qsizetype m_longest = 0;
};
