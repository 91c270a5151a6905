#include "properties/FakemillSettings.h"

#include "support/KSLogger.h"

#include <filesystem>

#include <cerrno>
#include <unistd.h>

namespace {

// Why the settings file cannot be written, as far as the system tells: the file itself, else the
// nearest folder above it that exists (which may turn out to be no folder at all).
int WriteFailureCode(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::path target = file;
    while (!std::filesystem::exists(target, error) && target.has_parent_path() &&
           target != target.parent_path()) {
        target = target.parent_path();
    }
    const bool folder = std::filesystem::is_directory(target, error);
    if (target == file && folder) {
        return EISDIR;
    }
    if (target != file && !folder) {
        return ENOTDIR;
    }
    return ::access(target.c_str(), W_OK) != 0 ? errno : 0;
}

} // namespace

CKeyPathMaker::CKeyPathMaker(std::u16string_view base, std::u16string_view product)
    : m_path(KSFormatCapped(base.size() + 13, u"%s\\%s", base, product)) {}

const CKeyPathMaker& CKeyPathMaker::Application() {
    static const CKeyPathMaker maker(kKestruneKeyPath, kProductWord);
    return maker;
}

CFakemillSettings::CFakemillSettings() : m_key(CKeyPathMaker::Application().Get().View()) {}

CFakemillSettings::~CFakemillSettings() {
    Save();
}

std::uint32_t CFakemillSettings::Get(const settings_key::Number& key) const {
    std::uint32_t value = 0;
    if (!m_key.ReadDword(key.name, value) || value < key.lowest || value > key.highest) {
        return key.fallback;
    }
    return value;
}

bool CFakemillSettings::Get(const settings_key::Flag& key) const {
    std::uint32_t value = 0;
    if (!m_key.ReadDword(key.name, value) || value > 1) {
        return key.fallback;
    }
    return value != 0;
}

bool CFakemillSettings::Get(const settings_key::Text& key, CKSString& text) const {
    return m_key.ReadString(key.name, text, key.capacity);
}

CStoredPlacement CFakemillSettings::Get(const settings_key::Placement& key) const {
    CStoredPlacement placement;
    QByteArray bytes;
    if (!m_key.ReadBytes(key.name, bytes)) {
        return placement;
    }
    KSRect rect{};
    if (RectFromBytes(bytes, rect)) {
        if (rect.right > rect.left && rect.bottom > rect.top) {
            placement.oldRect = rect;
        }
    } else {
        placement.geometry = bytes;
    }
    return placement;
}

bool CFakemillSettings::Set(const settings_key::Number& key, std::uint32_t value) {
    return value >= key.lowest && value <= key.highest && m_key.PutDword(key.name, value);
}

bool CFakemillSettings::Set(const settings_key::Flag& key, bool value) {
    return m_key.PutDword(key.name, value ? 1 : 0);
}

bool CFakemillSettings::Set(const settings_key::Text& key, std::u16string_view text) {
    return text.size() + 1 <= key.capacity && m_key.PutString(key.name, text);
}

bool CFakemillSettings::Set(const settings_key::Placement& key, const QByteArray& geometry) {
    return !geometry.isEmpty() && m_key.PutBytes(key.name, geometry);
}

CKSString CFakemillSettings::FilePath() const {
    return KSRegUtil::StorePath(CKeyPathMaker::Application().Get().View());
}

CKSError CFakemillSettings::Save() {
    if (m_key.IsOpen() && m_key.Commit()) {
        return {};
    }
    const CKSString path = FilePath();
    CKSError error = CKSError::FromErrno(u"Could not save the settings to", path,
                                         WriteFailureCode(std::filesystem::path(path.ToUtf8())));
    if (m_failureLog != nullptr) {
        m_failureLog->ErrorF(u"%s", error.Text());
    }
    return error;
}
