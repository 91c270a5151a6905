#pragma once
// The base of multi-page dialogs: the pages come from CreatePage, and DoModal answers whether the
// sheet was finished (a page calls MarkFinished when its work is done), not merely closed.

#include <QWizard>

class CKSPropertySheet : public QWizard {
    Q_OBJECT
public:
    explicit CKSPropertySheet(QWidget* owner = nullptr);

    // Builds the pages, runs the sheet modally and answers the finished flag.
    bool DoModal();
    void MarkFinished() { m_finished = true; }
    bool IsFinished() const { return m_finished; }

protected:
    virtual int PageCount() const = 0;
    // The page at index, owned by the sheet from then on.
    virtual QWizardPage* CreatePage(int index) = 0;
    // Adds every page once; DoModal calls it, tests may call it to look at the pages.
    void BuildPages();

private:
    bool m_finished = false;
    bool m_built = false;
};
