#include "ui/KSPropertySheet.h"

CKSPropertySheet::CKSPropertySheet(QWidget* owner) : QWizard(owner) {}

bool CKSPropertySheet::DoModal() {
    BuildPages();
    m_finished = false;
    exec();
    return m_finished;
}

void CKSPropertySheet::BuildPages() {
    if (m_built) {
        return;
    }
    m_built = true;
    for (int index = 0; index < PageCount(); ++index) {
        addPage(CreatePage(index));
    }
}
