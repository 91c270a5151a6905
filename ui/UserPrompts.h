#pragma once
// Everything a window asks of the user or of the desktop through a modal or outside program: file
// and folder choosers, message boxes, opening a file or folder with the desktop's handler. Windows
// reach them through Prompts(), so that tests put answers in their place and nothing blocks.

#include "support/KSError.h"

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

class IUserPrompts {
public:
    virtual ~IUserPrompts() = default;

    // An existing file, or a new name when allowNew (after asking whether to create it; nothing
    // is created). Empty on Cancel.
    virtual QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& start,
                                   const QString& filters, bool allowNew) = 0;
    // Existing files, several at once. Empty on Cancel. A typed name is kept whether the filter
    // shows it or not. filter, when given, names the filter shown first (empty: the first) and
    // receives the one chosen.
    virtual QStringList ChooseOpenFiles(QWidget* parent, const QString& title, const QString& start,
                                        const QString& filters, QString* filter) = 0;
    // A file to write, after the overwrite prompt. Empty on Cancel.
    virtual QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& start,
                                   const QString& filters) = 0;
    // An existing folder. Empty on Cancel.
    virtual QString ChooseFolder(QWidget* parent, const QString& title, const QString& start) = 0;
    // A message box with OK only.
    virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A failure: a message box with OK only and the critical icon.
    virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
    // Opens a local file or folder with the desktop's handler: no failure, or why it could not.
    virtual CKSError OpenWithDesktop(const QString& path) = 0;
};

// The prompts in use: Qt's dialogs and QDesktopServices unless a test installed others.
IUserPrompts& Prompts();
// Installs prompts (null restores Qt's) and answers the previous ones.
std::unique_ptr<IUserPrompts> InstallPrompts(std::unique_ptr<IUserPrompts> prompts);

// Turns the description's "*.*" filter into one that also shows names without a dot.
QString PortableFilter(const QString& filter);
