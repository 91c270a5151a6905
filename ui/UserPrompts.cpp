#include "ui/UserPrompts.h"

#include "app/FolderOpener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>

namespace {

// The names typed in a file dialog's name field: each between double quotes when several are
// typed, else the whole text.
QStringList TypedNames(const QString& text) {
    if (!text.contains(QLatin1Char('"'))) {
        const QString name = text.trimmed();
        return name.isEmpty() ? QStringList() : QStringList{name};
    }
    QStringList names;
    const QStringList parts = text.split(QLatin1Char('"'));
    // Quoted names are the odd parts: before the first quote, between two names, after the last.
    for (qsizetype i = 1; i < parts.size(); i += 2) {
        if (!parts[i].isEmpty()) {
            names << parts[i];
        }
    }
    return names;
}

// Qt's own open dialog, which answers only those typed names its filter shows (once it has listed
// the folder): the names typed when Open was pressed are kept, and the files among them that the
// answer left out are added to it. A native dialog has no such field and answers alone.
class COpenFilesDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    QStringList WithTypedFiles() const {
        QStringList files = selectedFiles();
        for (const QString& name : TypedNames(m_typed)) {
            const QString path = QDir::cleanPath(directory().absoluteFilePath(name));
            if (QFileInfo(path).isFile() && !files.contains(path)) {
                files << path;
            }
        }
        return files;
    }

    void accept() override {
        // The field as typed: the dialog rewrites it while it accepts.
        if (const auto* field = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            m_typed = field->text();
        }
        QFileDialog::accept();
    }

private:
    QString m_typed;
};

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
                                const QString& filters, QString* filter) override {
        COpenFilesDialog dialog(parent, title, start, filters);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        if (filter != nullptr && !filter->isEmpty()) {
            dialog.selectNameFilter(*filter);
        }
        if (dialog.exec() != QDialog::Accepted) {
            return {};
        }
        if (filter != nullptr) {
            *filter = dialog.selectedNameFilter();
        }
        return dialog.WithTypedFiles();
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
    void ShowError(QWidget* parent, const QString& caption, const QString& text) override {
        QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
    }
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    }
    CKSError OpenWithDesktop(const QString& path) override {
        const CKSString file = CKSString::FromQString(path);
        if (!QFileInfo::exists(path)) {
            return CKSError::FromErrno(u"Could not open", file, ENOENT);
        }
        if (QFileInfo(path).isDir()) {
            if (const QString missing = WhyNoFileManager(); !missing.isEmpty()) {
                return CKSError(u"Could not open", file, missing.toStdU16String());
            }
        }
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
            return {};
        }
        // The desktop hands the file to its opener program and says no more than that it failed.
        const bool opener = !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
        return CKSError(u"Could not open", file,
                        opener ? u"the desktop's opener (xdg-open) could not be started"
                               : u"no opener program is installed (xdg-open is missing)");
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
