#pragma once
// A label for a line that may be longer than the room it gets, such as a path in a status bar:
// it shows as much as fits, cut in the middle where the least is lost, and the whole text as its
// tooltip whenever it is cut. It never asks its layout for the room of the whole text.

#include <QLabel>

class CElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit CElidedLabel(QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    const QString& FullText() const { return m_fullText; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QString m_fullText;
};
