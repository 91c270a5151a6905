#include "app/OutputSink.h"

#include <QStringView>

#include <cstring>

namespace {

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

COutputSink::COutputSink(QObject* receiver, Calls calls) : m_calls(std::move(calls)), m_delivery(receiver) {}

void COutputSink::Write(std::u16string_view text, bool /*error*/) {
    std::lock_guard lock(m_lock);
    if (m_attached) {
        const qsizetype start = m_pending.size();
        AppendUtf8(m_pending, text);
        EndLine(start);
    }
}

void COutputSink::WriteA(std::string_view text) {
    std::lock_guard lock(m_lock);
    if (m_attached) {
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
    if (!m_wakePosted && m_calls.textArrived) {
        m_wakePosted = true;
        m_delivery.Post(m_calls.textArrived);
    }
}

void COutputSink::Show() {
    if (m_calls.show) {
        m_delivery.Post(m_calls.show);
    }
}

void COutputSink::Ended() {
    if (m_calls.ended) {
        m_delivery.Post(m_calls.ended);
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
    m_delivery.Close();
    std::lock_guard lock(m_lock);
    m_attached = false;
    m_pending.clear();
}
