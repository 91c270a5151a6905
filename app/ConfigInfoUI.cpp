#include "app/ConfigInfoUI.h"

#include "app/DefinitionRows.h"
#include "properties/ConfigLocation.h"
#include "support/MakePath.h"

CConfigInfoUI& CConfigInfoUI::Instance() {
    static CConfigInfoUI info;
    return info;
}

CKSString CConfigInfoUI::GetConfigFile() const {
    CAutoLock lock(m_lock);
    return m_configFile;
}

void CConfigInfoUI::SetConfigFile(const CKSString& path) {
    CAutoLock lock(m_lock);
    m_configFile = path;
}

std::uint32_t CConfigInfoUI::GetDefinitionCount() const {
    CAutoLock lock(m_lock);
    return m_definitionCount;
}

bool CConfigInfoUI::Load(CKSLogger* logger, IGeneratorLister* lister) {
    {
        CAutoLock lock(m_lock);
        m_definitionCount = 0;
    }
    CKSString path;
    if (!CConfigLocation(logger).Locate(path)) {
        return false;
    }
    LoadAt(path, lister);
    return true;
}

void CConfigInfoUI::LoadAt(const CKSString& path, IGeneratorLister* lister) {
    // The file is read and the lister told with no lock held; only the results are stored under it.
    // Shadowed sections of a name are no definitions of their own: the count follows the list.
    const std::vector<CKSString> names = ReadDefinitionSections(path).names;
    {
        CAutoLock lock(m_lock);
        m_configFile = path;
        m_definitionCount = static_cast<std::uint32_t>(names.size());
    }
    if (lister != nullptr) {
        for (const CKSString& name : names) {
            lister->AddDefinition(name);
        }
    }
}

bool CConfigInfoUI::LoadOrInitialize(CKSLogger* logger) {
    if (Load(logger)) {
        return true;
    }
    CKSIsLogging reporter(logger);
    reporter.Logger().InfoF(kNoLoadConfig);
    const CKSPathName appData = KnownFolderPath(KnownFolder::RoamingAppData);
    if (appData.IsEmpty() || !CConfigLocation(logger).Initialize(appData)) {
        reporter.Logger().ErrorF(kFailedToInitializeConfig);
        return false;
    }
    if (!Load(logger)) {
        reporter.Logger().ErrorF(kInitializedButNotLoaded);
        return false;
    }
    return true;
}

bool LoadConfig(CKSLogger* logger) {
    return CConfigInfoUI::Instance().Load(logger);
}

void LoadConfigAt(const CKSString& path) {
    CConfigInfoUI::Instance().LoadAt(path);
}

bool LoadOrInitializeConfig(CKSLogger* logger) {
    return CConfigInfoUI::Instance().LoadOrInitialize(logger);
}
