#pragma once
// Building paths. A path that would not fit the platform limit is never cut and then used:
// the object reports itself invalid and says why, and callers refuse to go on.

#include "support/KSString.h"

// The per-user folders the program uses.
enum class KnownFolder {
    RoamingAppData, // configuration ("%APPDATA%"): the generic configuration folder
    LocalAppData,   // data and logs: the generic data folder
    Documents,
    Temp,
};

// The folder's path, or empty when the platform cannot name it.
CKSPathName KnownFolderPath(KnownFolder folder);

class CMakePath {
public:
    CMakePath() = default;
    // base joined with more, one separator between them.
    CMakePath(const CKSString& base, std::u16string_view more) { Set(base, more); }
    // The known folder (created when missing) joined with more.
    CMakePath(KnownFolder folder, std::u16string_view more);
    // The text as it stands; SplitFileName can then take it apart.
    explicit CMakePath(const CKSString& text) { Set(text); }
    virtual ~CMakePath() = default;

    void Set(const CKSString& base, std::u16string_view more);
    void Set(const CKSString& text);
    // Cuts this path at its last separator and answers the part after it.
    CKSString SplitFileName();
    // Creates the folder when it is not one; true when it is a folder afterwards.
    bool CreateDirectory() const;

    bool IsValid() const { return m_valid; }
    const CKSPathName& Path() const { return m_path; }
    std::string ToNative() const { return m_path.ToUtf8(); }

private:
    void Validate();

    CKSPathName m_path;
    bool m_valid = true;
};

class CKnownPath : public CMakePath {
public:
    explicit CKnownPath(KnownFolder folder, std::u16string_view more = {}) : CMakePath(folder, more) {}
};

// The part of a path after its last separator; the whole text when there is none.
class CFilenameFromPath {
public:
    explicit CFilenameFromPath(std::u16string_view path);
    virtual ~CFilenameFromPath() = default;
    const CKSString& Get() const { return m_name; }

private:
    CKSString m_name;
};

// Whether the path names an existing directory / an existing entry of any kind.
bool IsDirectory(const CKSString& path);
bool PathExists(const CKSString& path);
// Whether the path is relative (does not start at the root).
bool IsRelativePath(std::u16string_view path);
