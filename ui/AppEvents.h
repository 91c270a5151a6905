#pragma once
// The events that carry work results from other threads to windows. Each event owns its payload,
// so a payload is freed with the event even when the window it was meant for is already gone
// (Qt drops the pending events of a deleted object).

#include <QEvent>
#include <QString>

#include <any>
#include <utility>

namespace app_event {
// A worker thread's message to a dialog: a code and a payload.
inline constexpr QEvent::Type kAppMessage = static_cast<QEvent::Type>(0x84C7);
// A modeless dialog tells its owner that it is being destroyed.
inline constexpr QEvent::Type kDialogDestroyed = static_cast<QEvent::Type>(0x84CD);
// Text waiting for an output window.
inline constexpr QEvent::Type kAppendText = static_cast<QEvent::Type>(0x9000);
// The binary viewer's loader has a chunk ready.
inline constexpr QEvent::Type kChunkReady = static_cast<QEvent::Type>(0x9002);
// An output window is to be shown (its batch started on the worker thread).
inline constexpr QEvent::Type kShowWindow = static_cast<QEvent::Type>(0x9003);
// An output window's batch is over.
inline constexpr QEvent::Type kBatchEnded = static_cast<QEvent::Type>(0x9004);
// The code a destroyed dialog sends with kDialogDestroyed.
inline constexpr int kDestroyedCode = 2;
} // namespace app_event

class CKSAppMessageEvent : public QEvent {
public:
    CKSAppMessageEvent(int code, std::any payload)
        : QEvent(app_event::kAppMessage), m_code(code), m_payload(std::move(payload)) {}
    int Code() const { return m_code; }
    std::any& Payload() { return m_payload; }

private:
    int m_code;
    std::any m_payload;
};

// Names the dialog that is going away. The pointer is an identity only: never dereferenced.
class CKSDialogDestroyedEvent : public QEvent {
public:
    explicit CKSDialogDestroyedEvent(const void* dialog)
        : QEvent(app_event::kDialogDestroyed), m_dialog(dialog) {}
    int Code() const { return app_event::kDestroyedCode; }
    const void* Dialog() const { return m_dialog; }

private:
    const void* m_dialog;
};
