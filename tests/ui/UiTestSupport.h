#pragma once
// What every window test needs: a QApplication on the offscreen platform, and prompts that answer
// from a script and record what they were asked, so that no dialog ever blocks a test.

#include "support/ThreadReaper.h"
#include "tests/common/CoreEventLoop.h"
#include "ui/ToolWindowManager.h"
#include "ui/UserPrompts.h"

#include <gtest/gtest.h>

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
    // The file filter a chooser of several files answers as chosen; empty: the one shown.
    QString filterAnswer;

    // What was asked.
    QStringList titles;
    QStringList messages;
    QStringList errors;
    QStringList opened;
    QStringList filtersShown;

    QString ChooseOpenFile(QWidget*, const QString& title, const QString&, const QString&, bool) override {
        return Next(fileAnswers, title);
    }
    QStringList ChooseOpenFiles(QWidget*, const QString& title, const QString&, const QString&,
                                QString* filter) override {
        titles << title;
        if (filter != nullptr) {
            filtersShown << *filter;
            *filter = filterAnswer.isEmpty() ? *filter : filterAnswer;
        }
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
    // Failures are messages too, and are also kept apart.
    void ShowError(QWidget*, const QString&, const QString& text) override {
        messages << text;
        errors << text;
    }
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
    return RunUntil(condition, milliseconds);
}

// A tool window whose thread is held in a file that never answers (hung, once it has entered)
// closes within 200 ms through its normal path and goes; its thread is the reaper's, which takes
// it once the file answers.
inline void ExpectClosesAtOnce(QWidget* window, CHungFile& hung, CThreadReaper& reaper) {
    ASSERT_TRUE(hung.Entered());
    CToolWindowManager tools;
    tools.Register(window);
    const QPointer<QWidget> watched(window);
    QElapsedTimer closing;
    closing.start();
    EXPECT_EQ(tools.CloseAll(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_LT(closing.elapsed(), 200);
    EXPECT_TRUE(watched.isNull());
    EXPECT_EQ(reaper.Pending(), 1u);
    hung.Open();
    EXPECT_TRUE(reaper.Finish(5000));
}
