#pragma once
// The configuration file in use: its path and how many definitions the last load found. Every
// part that needs "the configuration file" reads it here.

#include "support/KSString.h"
#include "support/KSSynchronizer.h"

#include <cstdint>

class CKSLogger;

// Receives the definition names of a load, one call per section in file order.
class IGeneratorLister {
public:
    virtual ~IGeneratorLister() = default;
    virtual void AddDefinition(const CKSString& name) = 0;
};

class CConfigInfoUI {
public:
    static CConfigInfoUI& Instance();

    CKSString GetConfigFile();
    void SetConfigFile(const CKSString& path);
    std::uint32_t GetDefinitionCount();
    // The lister a load hands the names to (not owned; null for none).
    void SetLister(IGeneratorLister* lister);

private:
    friend bool LoadConfig(CKSLogger* logger);
    friend void LoadConfigAt(const CKSString& path);

    CKSSynchronizer m_lock;
    CKSString m_configFile{u""};
    std::uint32_t m_definitionCount = 0;
    IGeneratorLister* m_lister = nullptr;
};

// Locates the configuration file, records it and counts its sections (calling the lister once
// per name). False when no configuration is named anywhere; a path to a missing or empty file
// still loads, with a count of 0.
bool LoadConfig(CKSLogger* logger);
// Makes path the configuration for the rest of the run and counts its sections, whatever the
// environment or the settings name (a file the user opened wins over both).
void LoadConfigAt(const CKSString& path);
// LoadConfig, and when it fails the first-run creation of a configuration, then LoadConfig
// again, with the start-up messages.
bool LoadOrInitializeConfig(CKSLogger* logger);
