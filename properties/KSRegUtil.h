#pragma once
// The per-user settings store, reached the way the registry was: a key path such as
// "Software\\Kestrune\\Fakemill" and named values. Here a key is a QSettings store in the native
// format: "Software\\<organisation>\\<application>" names QSettings(NativeFormat, UserScope,
// organisation, application) (on Linux the file <config>/<organisation>/<application>.conf, on
// Windows the registry key itself); further parts of the path are groups inside it.
//
// Strings are QString values, 32-bit values quint32, binary values QByteArray. The file format
// keeps no types, so a number reads back as text and text made of digits reads as a number.
// Opening never throws; every operation on a key that could not be opened answers false.

#include "support/KSGeometry.h"
#include "support/KSString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class QByteArray;
class QSettings;

class KSRegUtil {
public:
    // The capacity callers pass unless they hold paths, in characters including the terminator.
    static constexpr std::size_t kDefaultCapacity = 260;

    KSRegUtil();
    // Opens at once, as Open does.
    explicit KSRegUtil(std::u16string_view keyPath, bool create = true);
    virtual ~KSRegUtil();
    KSRegUtil(const KSRegUtil&) = delete;
    KSRegUtil& operator=(const KSRegUtil&) = delete;

    // Opens the key, creating it when missing.
    bool Open(std::u16string_view keyPath) { return Open(keyPath, true); }
    // With create false, opens only a key that exists already.
    bool Open(std::u16string_view keyPath, bool create);
    bool IsOpen() const { return m_settings != nullptr; }
    // Writes what is pending and closes the key; the destructor does the same.
    void Close();
    // The file that holds the key's store (empty for a path that names no store).
    static CKSString StorePath(std::u16string_view keyPath);

    // A string value. A value of capacity characters or more (the terminator would not fit) does
    // not read: false, and the text is left as it was.
    bool ReadString(std::u16string_view name, CKSString& text, std::size_t capacity = kDefaultCapacity) const;
    bool ReadDword(std::u16string_view name, std::uint32_t& value) const;
    // A 16-byte binary value as left, top, right, bottom (signed 32-bit, little-endian).
    bool ReadRect(std::u16string_view name, KSRect& rect) const;
    // A binary value of any size.
    bool ReadBytes(std::u16string_view name, QByteArray& bytes) const;

    // Each write is flushed to the store at once; true when it got there.
    bool WriteString(std::u16string_view name, std::u16string_view text);
    bool WriteDword(std::u16string_view name, std::uint32_t value);
    bool WriteRect(std::u16string_view name, const KSRect& rect);

    // The same values kept for the next Commit, for a key held open over many writes.
    bool PutString(std::u16string_view name, std::u16string_view text);
    bool PutDword(std::u16string_view name, std::uint32_t value);
    bool PutBytes(std::u16string_view name, const QByteArray& bytes);
    // Writes what is pending to the store; true when it got there.
    bool Commit();

    // Size in bytes of the last value written, as the registry counted it (a string with its
    // terminator, two bytes a character).
    std::size_t LastWrittenSize() const { return m_lastWrittenSize; }

private:
    std::unique_ptr<QSettings> m_settings;
    std::size_t m_lastWrittenSize = 0;
};

// The rectangle of a 16-byte binary value (left, top, right, bottom as signed 32-bit,
// little-endian); false for a value of another size.
bool RectFromBytes(const QByteArray& bytes, KSRect& rect);
