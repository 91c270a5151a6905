#pragma once
// What every window test needs: a QApplication on the offscreen platform, and prompts that answer
// from a script and record what they were asked, so that no dialog ever blocks a test.

#include "ui/UserPrompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <deque>
#include <memory>

class ScriptedPrompts : public IUserPrompts {
public:
    // Answers for the choosers, taken in order; an empty answer is Cancel.
    std::deque<QString> fileAnswers;
    std::deque<QStringList> filesAnswers;
    std::deque<QString> folderAnswers;
    bool yesNoAnswer = true;
    bool openSucceeds = true;

    // What was asked.
    QStringList titles;
    QStringList messages;
    QStringList opened;

    QString ChooseOpenFile(QWidget*, const QString& title, const QString&, const QString&, bool) override {
        return Next(fileAnswers, title);
    }
    QStringList ChooseOpenFiles(QWidget*, const QString& title, const QString&, const QString&) override {
        titles << title;
        if (filesAnswers.empty()) {
            return {};
        }
        QStringList answer = filesAnswers.front();
        filesAnswers.pop_front();
        return answer;
    }
    QString ChooseSaveFile(QWidget*, const QString& title, const QString&, const QString&) override {
        return Next(fileAnswers, title);
    }
    QString ChooseFolder(QWidget*, const QString& title, const QString&) override {
        return Next(folderAnswers, title);
    }
    void ShowMessage(QWidget*, const QString&, const QString& text) override { messages << text; }
    bool AskYesNo(QWidget*, const QString&, const QString& text) override {
        messages << text;
        return yesNoAnswer;
    }
    CKSError OpenWithDesktop(const QString& path) override {
        opened << path;
        return openSucceeds
                   ? CKSError()
                   : CKSError(u"Could not open", CKSString::FromQString(path), std::u16string(kOpenFailure));
    }
    // The reason a failing desktop gives.
    static constexpr char16_t kOpenFailure[] = u"no opener program is installed";

private:
    QString Next(std::deque<QString>& answers, const QString& title) {
        titles << title;
        if (answers.empty()) {
            return {};
        }
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Installs scripted prompts for one test and restores Qt's when it ends.
class PromptScript {
public:
    PromptScript() {
        auto prompts = std::make_unique<ScriptedPrompts>();
        m_prompts = prompts.get();
        InstallPrompts(std::move(prompts));
    }
    ~PromptScript() { InstallPrompts(nullptr); }
    PromptScript(const PromptScript&) = delete;
    PromptScript& operator=(const PromptScript&) = delete;
    ScriptedPrompts* operator->() const { return m_prompts; }
    ScriptedPrompts& operator*() const { return *m_prompts; }

private:
    ScriptedPrompts* m_prompts;
};

// Processes posted events until the condition holds or the time is up; answers the condition.
template <typename Condition>
bool WaitUntil(Condition condition, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
