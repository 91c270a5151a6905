#pragma once
// Define > Add: a wizard that asks for a definition's name, kind and the few values that matter
// for that kind, shows the whole definition, and writes it as a new section of the configuration
// file. A name that exists is replaced only after asking, and then as a whole section.

#include "app/NewDefinition.h"
#include "ui/KSPropertySheet.h"

#include <QString>

class CNewDefinitionWizard : public CKSPropertySheet {
    Q_OBJECT
public:
    enum PageId { kIntroPage = 0, kTextPage, kBinaryPage, kCsvPage, kImagePage, kSummaryPage, kPageCount };
    // The pages' own titles (shown as the window title while the page is up).
    static constexpr int kIntroTemplate = 131;
    static constexpr int kSummaryTemplate = 132;

    explicit CNewDefinitionWizard(const CKSString& configFile, QWidget* owner = nullptr);
    ~CNewDefinitionWizard() override;

    // The answers as the pages hold them now.
    NewDefinitionAnswers Answers() const;
    // Why the answers' damage, names and text options cannot be used together; empty when they can.
    std::u16string OptionsProblem(const NewDefinitionAnswers& answers) const;
    // What the summary page shows, with its CR LF line ends.
    const std::u16string& SummaryText() const { return m_summary; }
    // Builds the pages without running the wizard (DoModal builds them too).
    void Prepare() { BuildPages(); }

protected:
    int PageCount() const override { return kPageCount; }
    QWizardPage* CreatePage(int index) override;
    int nextId() const override;

private:
    friend class CSummaryPage;
    // Writes the definition; false, after telling the user why, when it was not written.
    bool Create();
    void ShowSummary();

    CKSString m_configFile;
    CKSLogger m_quiet;
    CKSFileGeneratorFactory m_factory;
    std::u16string m_summary;
};
