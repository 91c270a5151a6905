#pragma once
// A file written beside its final name and put in place by a rename, so that a reader sees the
// old file or the new one, whole. The temporary file is always created new, never through a link
// standing at its name, and every write, the flush to the disk and the close are checked. A file
// that is not put in place is removed when the object goes.

#include <string>
#include <string_view>

class CStagedFile {
public:
    CStagedFile() = default;
    ~CStagedFile();
    CStagedFile(const CStagedFile&) = delete;
    CStagedFile& operator=(const CStagedFile&) = delete;

    // Writes the bytes into temporaryPath (a file already there, left by a run that was killed,
    // is removed first), to be renamed to finalPath by Commit. False, with "cannot write PATH:
    // reason" in error and nothing left behind, when any step fails.
    bool Write(const std::string& finalPath, const std::string& temporaryPath, std::string_view bytes,
               std::string& error);
    // Renames the written file over the final name; a link standing there is replaced, its
    // target untouched.
    bool Commit(std::string& error);

private:
    void Discard();

    std::string m_final;
    std::string m_temporary;
    bool m_written = false;
};
