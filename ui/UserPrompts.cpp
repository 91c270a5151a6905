#include "ui/UserPrompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace {

class CQtPrompts : public IUserPrompts {
public:
    QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& start,
                           const QString& filters, bool allowNew) override {
        QFileDialog dialog(parent, title, start, filters);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(allowNew ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (QFileInfo(start).isFile()) {
            dialog.selectFile(start);
        }
        while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString chosen = dialog.selectedFiles().constFirst();
            if (QFileInfo::exists(chosen) ||
                AskYesNo(parent, title,
                         QStringLiteral("%1\nThis file does not exist. Create it?").arg(chosen))) {
                return chosen;
            }
        }
        return {};
    }
    QStringList ChooseOpenFiles(QWidget* parent, const QString& title, const QString& start,
                                const QString& filters) override {
        return QFileDialog::getOpenFileNames(parent, title, start, filters);
    }
    QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& start,
                           const QString& filters) override {
        return QFileDialog::getSaveFileName(parent, title, start, filters);
    }
    QString ChooseFolder(QWidget* parent, const QString& title, const QString& start) override {
        return QFileDialog::getExistingDirectory(parent, title, start);
    }
    void ShowMessage(QWidget* parent, const QString& caption, const QString& text) override {
        QMessageBox::information(parent, caption, text, QMessageBox::Ok);
    }
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    }
    bool OpenWithDesktop(const QString& path) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
};

std::unique_ptr<IUserPrompts>& Installed() {
    static std::unique_ptr<IUserPrompts> prompts = std::make_unique<CQtPrompts>();
    return prompts;
}

} // namespace

IUserPrompts& Prompts() {
    return *Installed();
}

std::unique_ptr<IUserPrompts> InstallPrompts(std::unique_ptr<IUserPrompts> prompts) {
    std::unique_ptr<IUserPrompts> previous = std::move(Installed());
    Installed() = prompts ? std::move(prompts) : std::make_unique<CQtPrompts>();
    return previous;
}

QString PortableFilter(const QString& filter) {
    QString portable = filter;
    return portable.replace(QStringLiteral("*.*"), QStringLiteral("*"));
}
