#pragma once
// The wizard's choices for files that find bugs, on every kind's page: the damage classes of the
// kind's format (one line each), the share of the files damaged, and the style of their names.

#include <QGroupBox>

#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QSpinBox;
struct NewDefinitionAnswers;

class CHostileFilesBox : public QGroupBox {
public:
    CHostileFilesBox(QWidget* parent, const std::string& format);

    // Lists the classes of another format (the image page's type changed), keeping the ticks of
    // the classes both have.
    void SetFormat(const std::string& format);
    void Answer(NewDefinitionAnswers& answers) const;

private:
    QListWidget* m_damage;
    QSpinBox* m_share;
    QComboBox* m_names;
};
