#include "app/ConfigInfoUI.h"

#include "app/DefinitionRows.h"
#include "properties/ConfigLocation.h"
#include "support/MakePath.h"

CConfigInfoUI& CConfigInfoUI::Instance() {
    static CConfigInfoUI info;
    return info;
}

CKSString CConfigInfoUI::GetConfigFile() {
    CAutoLock lock(m_lock);
    return m_configFile;
}

void CConfigInfoUI::SetConfigFile(const CKSString& path) {
    CAutoLock lock(m_lock);
    m_configFile = path;
}

std::uint32_t CConfigInfoUI::GetDefinitionCount() {
    CAutoLock lock(m_lock);
    return m_definitionCount;
}

void CConfigInfoUI::SetLister(IGeneratorLister* lister) {
    CAutoLock lock(m_lock);
    m_lister = lister;
}

bool LoadConfig(CKSLogger* logger) {
    CConfigInfoUI& info = CConfigInfoUI::Instance();
    {
        CAutoLock lock(info.m_lock);
        info.m_definitionCount = 0;
    }
    CKSString path;
    if (!CConfigLocation(logger).Locate(path)) {
        return false;
    }
    LoadConfigAt(path);
    return true;
}

void LoadConfigAt(const CKSString& path) {
    // Shadowed sections of a name are no definitions of their own: the count follows the list.
    const CDefinitionSections sections = ReadDefinitionSections(path);
    CConfigInfoUI& info = CConfigInfoUI::Instance();
    CAutoLock lock(info.m_lock);
    info.m_definitionCount = 0;
    info.m_configFile = path;
    for (const CKSString& name : sections.names) {
        if (info.m_lister != nullptr) {
            info.m_lister->AddDefinition(name);
        }
        ++info.m_definitionCount;
    }
}

bool LoadOrInitializeConfig(CKSLogger* logger) {
    if (LoadConfig(logger)) {
        return true;
    }
    CKSIsLogging reporter(logger);
    reporter.Logger().InfoF(kNoLoadConfig);
    const CKSPathName appData = KnownFolderPath(KnownFolder::RoamingAppData);
    if (appData.IsEmpty() || !CConfigLocation(logger).Initialize(appData)) {
        reporter.Logger().ErrorF(kFailedToInitializeConfig);
        return false;
    }
    if (!LoadConfig(logger)) {
        reporter.Logger().ErrorF(kInitializedButNotLoaded);
        return false;
    }
    return true;
}
