#pragma once
// The user's settings that outlive a run, kept under the application key (see KSRegUtil): one
// typed table of every value and one store that the desktop program keeps open for the run.

#include "properties/KSRegUtil.h"
#include "support/KSError.h"
#include "support/KSGeometry.h"
#include "support/KSString.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string_view>

class CKSLogger;

// The maker's key and the product word the application key is built from.
inline constexpr char16_t kKestruneKeyPath[] = u"Software\\Kestrune";
inline constexpr char16_t kProductWord[] = u"Fakemill";
// The key that records where the configuration file is, and its one value.
inline constexpr char16_t kConfigPointerKeyPath[] = u"Software\\Kestrune\\FKMConfig";
inline constexpr char16_t kConfigFileValue[] = u"ConfigFile";

// The values of the application key: the name each has in users' files, its type, its default and,
// for numbers, the bounds it must keep. A value that is missing, of another type or out of bounds
// reads as its default, so that a damaged file never hides a column or picks no algorithm.
namespace settings_key {

struct Number {
    std::u16string_view name;
    std::uint32_t fallback;
    std::uint32_t lowest;
    std::uint32_t highest;
};
struct Flag {
    std::u16string_view name;
    bool fallback;
};
// Text without a default: a missing value is told apart from an empty one.
struct Text {
    std::u16string_view name;
    // Characters a value may have, terminator included; a longer one does not read.
    std::size_t capacity;
};
// Where a window was: what QWidget::saveGeometry gave. Earlier versions stored a 16-byte rectangle
// under the same name, which is read once (the window's next save replaces it).
struct Placement {
    std::u16string_view name;
};

inline constexpr Placement kWindowState{u"wndstate"};
// 0: ask for the destination at each generation; 1: generate into kGeneratorPath.
inline constexpr Number kGeneratorPrompt{u"generatorprompt", 0, 0, 1};
inline constexpr Text kGeneratorPath{u"generatorpath", 4096};
// The desktop's pause after each file it generates, in milliseconds (0: full speed), so that a
// batch leaves the machine usable; at most a minute.
inline constexpr Number kGeneratorPause{u"generatorpause", 100, 0, 60000};
// The character the hash calculator copies between a path and its hash ('\t' and '\n' are stored
// as themselves); 0 is never stored.
inline constexpr Number kCopySeparator{u"copysep", u':', 1, 0xFFFF};
// Bits: 1 "Prefix 0x", 2 "Copy Path+Hash", 4 "Lower-case".
inline constexpr Number kCopyOptions{u"copyoptions", 0, 0, 7};
// The hash calculator's algorithm: 0 CRC, 1 MD5, 2 SHA1, 3 SHA256.
inline constexpr Number kHashType{u"hashtype", 0, 0, 3};
// The file filter the hash calculator's Browse showed last: 0 text, 1 binary, 2 images, 3 all.
inline constexpr Number kHashBrowseFilter{u"hashbrowsefilter", 0, 0, 3};
// Column widths in pixels.
inline constexpr std::uint32_t kWidestColumn = 10000;
inline constexpr Number kMainColumns[4] = {{u"MainCol1", 104, 1, kWidestColumn},
                                           {u"MainCol2", 104, 1, kWidestColumn},
                                           {u"MainCol3", 104, 1, kWidestColumn},
                                           {u"MainCol4", 104, 1, kWidestColumn}};
// "HashCol1" is written but never read back: the file column takes the width left over.
inline constexpr Number kHashColumns[3] = {{u"HashCol1", 80, 1, kWidestColumn},
                                           {u"HashCol2", 80, 1, kWidestColumn},
                                           {u"HashCol3", 120, 1, kWidestColumn}};
inline constexpr Placement kHashCalculatorWindow{u"HashCalculatorWnd"};
inline constexpr Placement kBinaryViewerWindow{u"fkmBinViewWnd"};
inline constexpr Flag kBinaryViewerOffsets{u"BinViewOffsets", false};
inline constexpr Flag kBinaryViewerCharacters{u"BinViewChars", false};

} // namespace settings_key

// The application key's path, "Software\\Kestrune\\Fakemill", built once and held for the run.
class CKeyPathMaker {
public:
    // base and product joined as "%s\\%s" into a buffer of 13 characters more than the base;
    // a longer result is cut to fit, as the fixed buffer did.
    CKeyPathMaker(std::u16string_view base, std::u16string_view product);
    virtual ~CKeyPathMaker() = default;

    const CKSString& Get() const { return m_path; }

    // The process's application key path, made on first use.
    static const CKeyPathMaker& Application();

private:
    CKSString m_path;
};

// A window's stored placement: the geometry blob, or the rectangle an earlier version stored.
struct CStoredPlacement {
    QByteArray geometry;
    std::optional<KSRect> oldRect;
};

// The application key held open: values are read from it and written into it as the table says,
// and reach the disk at Save (and when the store goes). Used on one thread (the GUI's).
class CFakemillSettings {
public:
    // Opens the application key, creating it when missing. A key that cannot be opened reads every
    // value as its default and refuses every write.
    CFakemillSettings();
    virtual ~CFakemillSettings();
    CFakemillSettings(const CFakemillSettings&) = delete;
    CFakemillSettings& operator=(const CFakemillSettings&) = delete;

    std::uint32_t Get(const settings_key::Number& key) const;
    bool Get(const settings_key::Flag& key) const;
    // False (text untouched) when the value is missing or does not fit.
    bool Get(const settings_key::Text& key, CKSString& text) const;
    CStoredPlacement Get(const settings_key::Placement& key) const;

    // Keeps the value for the next Save; false for a number outside its bounds, a text beyond its
    // capacity or a key that could not be opened.
    bool Set(const settings_key::Number& key, std::uint32_t value);
    bool Set(const settings_key::Flag& key, bool value);
    bool Set(const settings_key::Text& key, std::u16string_view text);
    bool Set(const settings_key::Placement& key, const QByteArray& geometry);

    // Writes what was set since the last Save: no failure, or what failed, on which file and why.
    // A failure also goes to the failure log, for the writes of windows that are closing.
    CKSError Save();
    void SetFailureLog(CKSLogger* log) { m_failureLog = log; }

    // True when "generatorprompt" is 0 or cannot be read: the user is asked for a destination.
    bool ShouldPromptForDestination() const { return Get(settings_key::kGeneratorPrompt) == 0; }

    // The settings file, for messages.
    CKSString FilePath() const;

private:
    KSRegUtil m_key;
    CKSLogger* m_failureLog = nullptr;
};
