#pragma once
// The INI profile layer: reading and writing the configuration file with the classic profile
// semantics (case-insensitive section and key names, first match wins, values to the end of the
// line, comments kept byte for byte), plus what a Linux tool owes its users: UTF-8 files (UTF-16LE
// files stay UTF-16LE), a parsed-file cache, and writes that take a lock file beside the INI and
// replace the file atomically, so concurrent writers lose nothing and a crash leaves the old or
// the new file.
//
// Names passed in are trimmed of leading and trailing spaces before matching. A write that
// cannot be made answers false, fills the error text when one is asked for, and leaves the file
// as it was.

#include "support/KSString.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using CIniKeyValues = std::vector<std::pair<CKSString, CKSString>>;

class CIniProfile {
public:
    // Every section name of the file in file order, duplicates included; empty for a missing or
    // unreadable file. With shadowed given, a section whose name an earlier one already has (as
    // the readers match names) goes there instead, in file order: the answer holds each name once.
    static std::vector<CKSString> GetSectionNames(const CKSString& file,
                                                  std::vector<CKSString>* shadowed = nullptr);

    // Whether the file has a section of that name, matched as the readers match it: the name
    // trimmed and compared without regard to case. False for a missing or unreadable file.
    static bool HasSection(const CKSString& file, std::u16string_view section);

    // The value of the key in the first section of that name, with one pair of matching quotes
    // removed. A missing file, section or key gives the default (trailing spaces removed); "key="
    // gives the empty text.
    static CKSString GetString(const CKSString& file, std::u16string_view section, std::u16string_view key,
                               std::u16string_view defaultValue);

    // Writes one key: updated in place when it exists, otherwise added after the last key line
    // of its section, or in a new section at the end of the file. A value that would not read
    // back as given (blanks at either end, or a pair of matching quotes around it) is written
    // between double quotes, which the reader removes.
    static bool WriteString(const CKSString& file, std::u16string_view section, std::u16string_view key,
                            std::u16string_view value, std::u16string* error = nullptr);

    // Writes several keys of one section as one atomic change, each as WriteString would.
    // All or nothing: when any name or value is refused nothing is written.
    static bool WriteStrings(const CKSString& file, std::u16string_view section, const CIniKeyValues& keys,
                             std::u16string* error = nullptr);

    // Removes the key; succeeds whether or not it existed.
    static bool DeleteKey(const CKSString& file, std::u16string_view section, std::u16string_view key,
                          std::u16string* error = nullptr);

    // Removes the section's header and every line up to the next header.
    static bool DeleteSection(const CKSString& file, std::u16string_view section,
                              std::u16string* error = nullptr);

    // Replaces the section's keys by the given ones, in order; creates the section at the end
    // when absent.
    static bool ReplaceSection(const CKSString& file, std::u16string_view section, const CIniKeyValues& keys,
                               std::u16string* error = nullptr);

    // Writes a new section with the keys, checking under the same lock that no section of that
    // name exists (names compared as the reader compares them). When one exists nothing is
    // written, existed (when given) is set and the answer is false. Of several processes writing
    // the same new name at once, exactly one succeeds.
    static bool WriteNewSection(const CKSString& file, std::u16string_view section, const CIniKeyValues& keys,
                                std::u16string* error = nullptr, bool* existed = nullptr);

    // Makes the file "to" a copy of the file "from", as one write of "to": under its lock, and
    // replacing it atomically, so that a writer of "to" in another process loses nothing to a
    // torn file and a crash leaves the old or the new file. A missing "from" gives an empty
    // file. False, with the reason, when "from" cannot be read or "to" cannot be written.
    static bool CopyProfile(const CKSString& from, const CKSString& to, std::u16string* error = nullptr);

    // Why a section name, key or value would corrupt the file; empty when it is acceptable.
    // A section name may not be empty or contain '[', ']', CR, LF or NUL; a key may not be empty,
    // contain '=', CR, LF or NUL, or begin with ';' or '['; a value may not contain CR, LF or NUL.
    static std::u16string CheckSectionName(std::u16string_view section);
    static std::u16string CheckKey(std::u16string_view key);
    static std::u16string CheckValue(std::u16string_view value);

    // How many times this process has read and parsed a file; reads served by the cache of
    // parsed files do not count. For tests and measurements.
    static std::uint64_t ParseCount();
    // Forgets every parsed file, so that the next read parses again. For measurements.
    static void DropCache();
};

namespace ini {
class Index;
}

// One section of a configuration file, looked up once, for a caller that reads many of its keys
// (the properties of a definition): each read is then a search among the section's own keys.
// Reads the version a snapshot in force on this thread holds, else the current one.
class CIniSectionReader {
public:
    CIniSectionReader(const CKSString& file, std::u16string_view section);
    ~CIniSectionReader();
    CIniSectionReader(const CIniSectionReader&) = delete;
    CIniSectionReader& operator=(const CIniSectionReader&) = delete;

    // As CIniProfile::GetString with this file and section.
    CKSString GetString(std::u16string_view key, std::u16string_view defaultValue) const;
    // The key's value, or nothing when the key (or the section, or the file) is missing.
    std::optional<std::u16string> Find(std::u16string_view key) const;

private:
    std::shared_ptr<const void> m_file; // keeps the parsed file (and m_index) alive
    const ini::Index* m_index = nullptr;
    std::size_t m_slot = 0;
};

// While an object of this class lives, reads of its file on the same thread use the version
// parsed when it was made, without looking at the file again. Reading every key of thousands of
// definitions then costs one look at the file instead of one per key, and sees one consistent
// version of it even when another process writes meanwhile. Writes are not affected. Objects nest
// and must be destroyed on the thread that made them, in reverse order.
class CIniReadSnapshot {
public:
    explicit CIniReadSnapshot(const CKSString& file);
    // The same version of the file as another snapshot (of any thread), for reads on this one,
    // without looking at the file again.
    CIniReadSnapshot(const CIniReadSnapshot& version);
    ~CIniReadSnapshot();
    CIniReadSnapshot& operator=(const CIniReadSnapshot&) = delete;

    struct State;

private:
    std::unique_ptr<State> m_state;
};
