#pragma once
// Where the configuration file is, and making one on the first run.
//
// Locating: the environment variable "FKMCONFIG" when it is set and not empty, otherwise the path
// recorded as "ConfigFile" under "Software\\Kestrune\\FKMConfig" (see KSRegUtil). The candidate is
// then searched for (a relative name in the current folder, then beside the program; an
// absolute name is taken when it exists); when the search finds nothing the warning
// "Not hopeful finding %s" is logged and the candidate is used as given.
//
// Initialising: the folder "Kestrune" in the roaming application-data folder, "fakemill" inside
// it, and "fakemill.ini" there recorded as "ConfigFile". The file itself is made by the first
// write.
//
// Messages: "Not hopeful finding %s" (warning), "No LoadConfig, initializing..." (information) and
// "%s already exists, but is not a directory." (error) go to this object's logger.
// kInitializedButNotLoaded and kFailedToInitializeConfig are the start-up code's errors: its
// LoadConfig step logs them to its own logger when the configuration cannot be made usable
// (LocateOrInitialize below does exactly that, for callers that want the whole sequence).

#include "support/KSLogger.h"
#include "support/KSString.h"

#include <string_view>

inline constexpr char kConfigEnvironmentVariable[] = "FKMCONFIG";
inline constexpr char16_t kConfigMakerFolder[] = u"Kestrune";
inline constexpr char16_t kConfigProductFolder[] = u"fakemill";
inline constexpr char16_t kConfigFileName[] = u"fakemill.ini";

inline constexpr char16_t kNotHopefulFinding[] = u"Not hopeful finding %s";
inline constexpr char16_t kNoLoadConfig[] = u"No LoadConfig, initializing...";
inline constexpr char16_t kNotADirectory[] = u"%s already exists, but is not a directory.";
inline constexpr char16_t kInitializedButNotLoaded[] = u"Initialized config, but could not load it.";
inline constexpr char16_t kFailedToInitializeConfig[] = u"Failed to initialized config.";

class CConfigLocation : public CKSIsLogging {
public:
    explicit CConfigLocation(CKSLogger* logger = nullptr) : CKSIsLogging(logger) {}

    // The configuration file's path; false when neither the environment nor the settings name
    // one (or the name is longer than the platform allows, which is logged as an error).
    bool Locate(CKSString& path) const;

    // Creates the two folders below appDataFolder where missing and records the configuration
    // path. False when appDataFolder is empty or the path could not be recorded; a non-folder in
    // the way is logged and the work goes on (the first write then reports the missing folder).
    bool Initialize(const CKSString& appDataFolder) const;

    // The whole start-up sequence: Locate; when that fails, log "No LoadConfig, initializing...",
    // initialise in the roaming application-data folder (when the platform cannot name it, log
    // kFailedToInitializeConfig and answer false) and locate again (when that fails, log
    // kInitializedButNotLoaded and answer false).
    bool LocateOrInitialize(CKSString& path) const;

    // The search step of locating, with its warning: the path found, or the candidate as given.
    CKSString Resolve(const CKSString& candidate) const;

    // Records the path as "ConfigFile" (first run, Open Configuration, Save Configuration As).
    static bool RecordConfigFile(std::u16string_view path);

    // The search itself: true and the path found, or false.
    static bool SearchPath(std::u16string_view name, CKSString& found);

private:
    void MakeFolder(const CKSPathName& folder) const;
};
