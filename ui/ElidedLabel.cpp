#include "ui/ElidedLabel.h"

#include <QResizeEvent>

CElidedLabel::CElidedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void CElidedLabel::SetFullText(const QString& text) {
    m_fullText = text;
    Elide();
}

QSize CElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void CElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void CElidedLabel::Elide() {
    const int room = contentsRect().width() - 2 * margin();
    const QString shown = room > 0 ? fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, room) : m_fullText;
    setText(shown);
    setToolTip(shown == m_fullText ? QString() : m_fullText);
}
