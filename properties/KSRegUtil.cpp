#include "properties/KSRegUtil.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstring>

namespace {

QString ToQ(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// "Software\\Kestrune\\Fakemill\\More" -> organisation, application and the group path "More".
struct KeyParts {
    QString organisation;
    QString application;
    QString group;
};

bool SplitKeyPath(std::u16string_view keyPath, KeyParts& parts) {
    QStringList items = ToQ(keyPath).split(u'\\', Qt::SkipEmptyParts);
    if (items.size() < 3 || items.front().compare(u"Software", Qt::CaseInsensitive) != 0) {
        return false;
    }
    parts.organisation = items[1];
    parts.application = items[2];
    parts.group = items.mid(3).join(u'/');
    return true;
}

// A settings key exists once created, even empty. The native store on Linux is a file, which
// stands for the key; the Windows registry creates and reports keys itself.
bool StoreExists(QSettings& settings) {
#ifdef Q_OS_WIN
    return !settings.allKeys().isEmpty() || !settings.childGroups().isEmpty();
#else
    return QFileInfo::exists(settings.fileName());
#endif
}

bool CreateStore([[maybe_unused]] QSettings& settings) {
#ifdef Q_OS_WIN
    return true;
#else
    const QString fileName = settings.fileName();
    if (QFileInfo::exists(fileName)) {
        return true;
    }
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath())) {
        return false;
    }
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
#endif
}

} // namespace

KSRegUtil::KSRegUtil() = default;

KSRegUtil::KSRegUtil(std::u16string_view keyPath, bool create) {
    Open(keyPath, create);
}

KSRegUtil::~KSRegUtil() {
    Close();
}

bool KSRegUtil::Open(std::u16string_view keyPath, bool create) {
    Close();
    KeyParts parts;
    if (!SplitKeyPath(keyPath, parts)) {
        return false;
    }
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                parts.organisation, parts.application);
    if (create ? !CreateStore(*settings) : !StoreExists(*settings)) {
        return false;
    }
    if (!create && !parts.group.isEmpty()) {
        settings->beginGroup(parts.group);
        const bool exists = !settings->allKeys().isEmpty();
        settings->endGroup();
        if (!exists) {
            return false;
        }
    }
    if (settings->status() != QSettings::NoError) {
        return false;
    }
    if (!parts.group.isEmpty()) {
        settings->beginGroup(parts.group);
    }
    m_settings = std::move(settings);
    return true;
}

CKSString KSRegUtil::StorePath(std::u16string_view keyPath) {
    KeyParts parts;
    if (!SplitKeyPath(keyPath, parts)) {
        return CKSString(u"");
    }
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, parts.organisation,
                             parts.application);
    return CKSString::FromQString(settings.fileName());
}

void KSRegUtil::Close() {
    if (m_settings) {
        m_settings->sync();
        m_settings.reset();
    }
}

bool KSRegUtil::ReadString(std::u16string_view name, CKSString& text, std::size_t capacity) const {
    if (!IsOpen()) {
        return false;
    }
    const QVariant value = m_settings->value(ToQ(name));
    if (!value.isValid() || value.typeId() == QMetaType::QByteArray || !value.canConvert<QString>()) {
        return false;
    }
    const QString string = value.toString();
    if (static_cast<std::size_t>(string.size()) + 1 > capacity) {
        return false;
    }
    text = CKSString::FromQString(string);
    return true;
}

bool KSRegUtil::ReadDword(std::u16string_view name, std::uint32_t& value) const {
    if (!IsOpen()) {
        return false;
    }
    const QVariant stored = m_settings->value(ToQ(name));
    bool ok = false;
    qulonglong number = 0;
    switch (stored.typeId()) {
    case QMetaType::UInt:
    case QMetaType::Int:
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
        number = stored.toULongLong(&ok);
        ok = ok && stored.toLongLong() >= 0;
        break;
    case QMetaType::QString:
        number = stored.toString().toULongLong(&ok, 10);
        break;
    default:
        break;
    }
    if (!ok || number > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<std::uint32_t>(number);
    return true;
}

bool KSRegUtil::ReadRect(std::u16string_view name, KSRect& rect) const {
    QByteArray bytes;
    return ReadBytes(name, bytes) && RectFromBytes(bytes, rect);
}

bool KSRegUtil::ReadBytes(std::u16string_view name, QByteArray& bytes) const {
    if (!IsOpen()) {
        return false;
    }
    const QVariant stored = m_settings->value(ToQ(name));
    if (stored.typeId() != QMetaType::QByteArray) {
        return false;
    }
    bytes = stored.toByteArray();
    return true;
}

bool KSRegUtil::Commit() {
    if (!IsOpen()) {
        return false;
    }
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool KSRegUtil::PutString(std::u16string_view name, std::u16string_view text) {
    if (!IsOpen()) {
        return false;
    }
    m_settings->setValue(ToQ(name), ToQ(text));
    m_lastWrittenSize = 2 * (text.size() + 1);
    return true;
}

bool KSRegUtil::PutDword(std::u16string_view name, std::uint32_t value) {
    if (!IsOpen()) {
        return false;
    }
    m_settings->setValue(ToQ(name), QVariant::fromValue<quint32>(value));
    m_lastWrittenSize = 4;
    return true;
}

bool KSRegUtil::PutBytes(std::u16string_view name, const QByteArray& bytes) {
    if (!IsOpen()) {
        return false;
    }
    m_settings->setValue(ToQ(name), bytes);
    m_lastWrittenSize = static_cast<std::size_t>(bytes.size());
    return true;
}

bool KSRegUtil::WriteString(std::u16string_view name, std::u16string_view text) {
    return PutString(name, text) && Commit();
}

bool KSRegUtil::WriteDword(std::u16string_view name, std::uint32_t value) {
    return PutDword(name, value) && Commit();
}

bool KSRegUtil::WriteRect(std::u16string_view name, const KSRect& rect) {
    QByteArray bytes;
    for (const std::int32_t field : {rect.left, rect.top, rect.right, rect.bottom}) {
        const auto bits = static_cast<std::uint32_t>(field);
        for (int b = 0; b < 4; ++b) {
            bytes.append(static_cast<char>((bits >> (8 * b)) & 0xFF));
        }
    }
    return PutBytes(name, bytes) && Commit();
}

bool RectFromBytes(const QByteArray& bytes, KSRect& rect) {
    if (bytes.size() != 16) {
        return false;
    }
    std::int32_t fields[4];
    for (int i = 0; i < 4; ++i) {
        std::uint32_t field = 0;
        for (int b = 3; b >= 0; --b) {
            field = (field << 8) | static_cast<unsigned char>(bytes[4 * i + b]);
        }
        fields[i] = static_cast<std::int32_t>(field);
    }
    rect = KSRect{fields[0], fields[1], fields[2], fields[3]};
    return true;
}
