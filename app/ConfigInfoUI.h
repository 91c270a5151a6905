#pragma once
// The configuration file in use: its path and how many definitions the last load found. The
// desktop program holds one in its application context; the command line uses the process's own
// (Instance and the free functions below).

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
    CConfigInfoUI() = default;
    CConfigInfoUI(const CConfigInfoUI&) = delete;
    CConfigInfoUI& operator=(const CConfigInfoUI&) = delete;

    // The command line's configuration.
    static CConfigInfoUI& Instance();

    CKSString GetConfigFile() const;
    void SetConfigFile(const CKSString& path);
    std::uint32_t GetDefinitionCount() const;

    // Locates the configuration file, records it and counts its sections, handing each name to
    // the lister (when given). False when no configuration is named anywhere; a path to a missing
    // or empty file still loads, with a count of 0.
    bool Load(CKSLogger* logger, IGeneratorLister* lister = nullptr);
    // Makes path the configuration for the rest of the run and counts its sections, whatever the
    // environment or the settings name (a file the user opened wins over both).
    void LoadAt(const CKSString& path, IGeneratorLister* lister = nullptr);
    // Load, and when it fails the first-run creation of a configuration, then Load again, with the
    // start-up messages.
    bool LoadOrInitialize(CKSLogger* logger);

private:
    // The lock guards the two values only: no call leaves this object while it is held.
    mutable CKSSynchronizer m_lock;
    CKSString m_configFile{u""};
    std::uint32_t m_definitionCount = 0;
};

// The same on the command line's configuration (CConfigInfoUI::Instance()).
bool LoadConfig(CKSLogger* logger);
void LoadConfigAt(const CKSString& path);
bool LoadOrInitializeConfig(CKSLogger* logger);
