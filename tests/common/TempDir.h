#pragma once
// A temporary folder for one test, removed with everything in it when the test ends.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(std::string_view name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Whole-file helpers for checking what the program wrote.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);
// Every regular file under the folder, by its path relative to it, with its bytes.
std::map<std::string, std::string> FolderContents(const std::filesystem::path& folder);
