#pragma once
// The user's settings that outlive a run, kept under the application key (see KSRegUtil), and
// the key paths themselves.

#include "support/KSGeometry.h"
#include "support/KSString.h"

#include <cstdint>
#include <string_view>

// The maker's key and the product word the application key is built from.
inline constexpr char16_t kKestruneKeyPath[] = u"Software\\Kestrune";
inline constexpr char16_t kProductWord[] = u"Fakemill";
// The key that records where the configuration file is, and its one value.
inline constexpr char16_t kConfigPointerKeyPath[] = u"Software\\Kestrune\\FKMConfig";
inline constexpr char16_t kConfigFileValue[] = u"ConfigFile";

// Value names of the application key, with the defaults their readers fall back on.
namespace settings_value {
inline constexpr char16_t kWindowState[] = u"wndstate";                   // binary, 16 bytes
inline constexpr char16_t kGeneratorPrompt[] = u"generatorprompt";        // 32-bit: 0 ask, 1 use the path
inline constexpr char16_t kGeneratorPath[] = u"generatorpath";            // string
inline constexpr char16_t kCopySeparator[] = u"copysep";                  // 32-bit character code
inline constexpr char16_t kCopyOptions[] = u"copyoptions";                // 32-bit option bits
inline constexpr char16_t kHashType[] = u"hashtype";                      // 32-bit algorithm index
inline constexpr char16_t kMainColumnFormat[] = u"MainCol%d";             // 1 to 4
inline constexpr char16_t kHashColumnFormat[] = u"HashCol%d";             // 1 to 3
inline constexpr char16_t kHashCalculatorWindow[] = u"HashCalculatorWnd"; // binary, 16 bytes
inline constexpr char16_t kBinaryViewerWindow[] = u"fkmBinViewWnd";       // binary, 16 bytes
inline constexpr char16_t kBinaryViewerOffsets[] = u"BinViewOffsets";     // 32-bit: 1 shows the offset column
inline constexpr char16_t kBinaryViewerCharacters[] = u"BinViewChars"; // 32-bit: 1 shows the character column
inline constexpr std::uint32_t kDefaultCopySeparator = u':';
inline constexpr std::uint32_t kDefaultCopyOptions = 0;
inline constexpr std::uint32_t kDefaultHashType = 0;
inline constexpr std::uint32_t kDefaultHashColumnWidths[3] = {80, 80, 120};
} // namespace settings_value

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

// Accessors of the main settings. Each opens the application key afresh, does one read or
// write and closes it; a key that cannot be opened, or a value that cannot be read, gives false
// and the caller keeps its default.
class CFakemillSettings {
public:
    virtual ~CFakemillSettings() = default;

    // The destination folder for generated files. Paths are bounded by the platform's limit, not
    // an old fixed buffer of 260 characters.
    bool GetGeneratorPath(CKSString& path) const;
    bool SetGeneratorPath(std::u16string_view path) const;

    bool GetGeneratorPrompt(std::uint32_t& prompt) const;
    bool SetGeneratorPrompt(std::uint32_t prompt) const;
    // True when "generatorprompt" is 0 or cannot be read: the user is asked for a destination.
    bool ShouldPromptForDestination() const;

    // Writes the main window's screen rectangle as "wndstate" (the window code passes its frame
    // geometry; the core never touches a widget).
    bool SaveWindowState(const KSRect& screenRect) const;

    bool SetCopyOptions(std::uint32_t options) const;
    bool SetHashType(std::uint32_t type) const;
};
