#include "support/MakePath.h"

#include "support/PosixFile.h"

#include <QDir>
#include <QStandardPaths>

#include <sys/stat.h>

CKSPathName KnownFolderPath(KnownFolder folder) {
    QStandardPaths::StandardLocation location = QStandardPaths::GenericConfigLocation;
    switch (folder) {
    case KnownFolder::RoamingAppData:
        location = QStandardPaths::GenericConfigLocation;
        break;
    case KnownFolder::LocalAppData:
        location = QStandardPaths::GenericDataLocation;
        break;
    case KnownFolder::Documents:
        location = QStandardPaths::DocumentsLocation;
        break;
    case KnownFolder::Temp:
        location = QStandardPaths::TempLocation;
        break;
    }
    return CKSPathName(CKSString::FromQString(QStandardPaths::writableLocation(location)));
}

CMakePath::CMakePath(KnownFolder folder, std::u16string_view more) {
    const CKSPathName base = KnownFolderPath(folder);
    if (!base.IsEmpty()) {
        QDir().mkpath(base.ToQString());
    }
    Set(base, more);
}

void CMakePath::Set(const CKSString& base, std::u16string_view more) {
    m_path = CKSPathName(base).Join(more);
    Validate();
}

void CMakePath::Set(const CKSString& text) {
    m_path = CKSPathName(text);
    Validate();
}

void CMakePath::Validate() {
    m_valid = PathFitsPlatform(m_path);
}

CKSString CMakePath::SplitFileName() {
    const std::u16string_view text = m_path.View();
    const std::size_t at = text.rfind(u'/');
    if (at == std::u16string_view::npos) {
        return CKSString(u"");
    }
    CKSString name(text.substr(at + 1));
    m_path = CKSPathName(text.substr(0, at));
    return name;
}

bool CMakePath::CreateDirectory() const {
    if (!m_valid) {
        return false;
    }
    if (!IsDirectory(m_path)) {
        ::mkdir(ToNative().c_str(), 0755);
    }
    return IsDirectory(m_path);
}

CFilenameFromPath::CFilenameFromPath(std::u16string_view path) {
    const std::size_t at = path.rfind(u'/');
    m_name = CKSString(at == std::u16string_view::npos ? path : path.substr(at + 1));
}

bool IsDirectory(const CKSString& path) {
    struct stat info {};
    return ::stat(path.ToUtf8().c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathExists(const CKSString& path) {
    struct stat info {};
    return ::stat(path.ToUtf8().c_str(), &info) == 0;
}

bool IsRelativePath(std::u16string_view path) {
    return path.empty() || path.front() != u'/';
}
