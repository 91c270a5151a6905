#include "properties/ConfigLocation.h"

#include "properties/FakemillSettings.h"
#include "properties/KSRegUtil.h"
#include "support/MakePath.h"
#include "support/PosixFile.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace {

constexpr std::size_t kPathCapacity = kMaxPathBytes + 1;

// The folder of the running program. QCoreApplication may not exist (tests, the command line
// before its set-up), so the kernel is asked.
std::filesystem::path ProgramFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

bool Exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

bool CConfigLocation::SearchPath(std::u16string_view name, CKSString& found) {
    if (name.empty()) {
        return false;
    }
    const std::string native = Utf16ToUtf8(name);
    if (!PathFitsPlatform(native)) {
        return false;
    }
    if (!IsRelativePath(name)) {
        if (!Exists(native)) {
            return false;
        }
        found = CKSString(name);
        return true;
    }
    std::error_code error;
    const std::filesystem::path folders[] = {std::filesystem::current_path(error), ProgramFolder()};
    for (const std::filesystem::path& folder : folders) {
        if (folder.empty()) {
            continue;
        }
        const std::filesystem::path candidate = (folder / native).lexically_normal();
        if (PathFitsPlatform(candidate.native()) && Exists(candidate)) {
            found = CKSString::FromUtf8(candidate.native());
            return true;
        }
    }
    return false;
}

CKSString CConfigLocation::Resolve(const CKSString& candidate) const {
    CKSString found;
    if (SearchPath(candidate, found)) {
        return found;
    }
    Logger().WarningF(kNotHopefulFinding, candidate);
    return candidate;
}

bool CConfigLocation::Locate(CKSString& path) const {
    CKSString candidate;
    const char* variable = std::getenv(kConfigEnvironmentVariable);
    if (variable != nullptr && *variable != '\0') {
        candidate = CKSString::FromUtf8(variable);
    } else {
        const KSRegUtil key(kConfigPointerKeyPath, false);
        if (!key.ReadString(kConfigFileValue, candidate, kPathCapacity) || candidate.IsEmpty()) {
            return false;
        }
    }
    if (!PathFitsPlatform(candidate)) {
        Logger().ErrorF(u"The configuration path is too long: %s", candidate);
        return false;
    }
    path = Resolve(candidate);
    return true;
}

void CConfigLocation::MakeFolder(const CKSPathName& folder) const {
    struct stat info {};
    if (::stat(folder.ToNative().c_str(), &info) != 0) {
        // Nothing there (or nothing reachable): try to make it; a failure shows when the
        // configuration is first written.
        ::mkdir(folder.ToNative().c_str(), 0755);
    } else if (!S_ISDIR(info.st_mode)) {
        Logger().ErrorF(kNotADirectory, folder);
    }
}

bool CConfigLocation::Initialize(const CKSString& appDataFolder) const {
    if (appDataFolder.IsEmpty()) {
        return false;
    }
    // A fresh account may not have the roaming folder yet.
    QDir().mkpath(appDataFolder.ToQString());
    const CKSPathName maker = CKSPathName(appDataFolder).Join(kConfigMakerFolder);
    MakeFolder(maker);
    const CKSPathName product = maker.Join(kConfigProductFolder);
    MakeFolder(product);
    return RecordConfigFile(Resolve(product.Join(kConfigFileName)));
}

bool CConfigLocation::LocateOrInitialize(CKSString& path) const {
    if (Locate(path)) {
        return true;
    }
    Logger().InfoF(kNoLoadConfig);
    const CKSPathName appData = KnownFolderPath(KnownFolder::RoamingAppData);
    if (appData.IsEmpty()) {
        Logger().ErrorF(kFailedToInitializeConfig);
        return false;
    }
    Initialize(appData);
    if (!Locate(path)) {
        Logger().ErrorF(kInitializedButNotLoaded);
        return false;
    }
    return true;
}

bool CConfigLocation::RecordConfigFile(std::u16string_view path) {
    KSRegUtil key(kConfigPointerKeyPath);
    return key.WriteString(kConfigFileValue, path);
}
