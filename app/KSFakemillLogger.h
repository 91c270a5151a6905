#pragma once
// The application log: the desktop program's logger and the output it writes through. Lines go
// to the diagnostic output and to a log file of this run, "ksfkmui<NNNN>.log" in the folder
// "ksfakemill" under the user's local data folder, claimed with an exclusive create so that two
// running programs never share one.

#include "support/KSLogger.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// The logger the entry and the main window report through: name "ksfkmui", option "a" (its
// header lines go to its own file too), errors and warnings only.
class CKSFakemillLogger : public CKSLogger {
public:
    static constexpr char16_t kLogFolderName[] = u"ksfakemill";
    static constexpr char16_t kLogName[] = u"ksfkmui";
    // Log files of earlier runs kept beside this run's.
    static constexpr std::size_t kKeptLogFiles = 20;

    CKSFakemillLogger();
    // The "ksfakemill" folder under the local data folder, created when missing; the temporary
    // folder when the data folder cannot be named.
    CKSString GetLogFolder() const override;
    // Writes the header lines once, when the output opens the file, so that they come before
    // every message; later flushes have nothing to add (messages reach the file through the
    // output).
    void Flush(bool force) override;
    // Deletes the oldest of this logger's files ("ksfkmui<NNNN>.log", regular files of this user in
    // the log file's folder) so that at most `keep` remain, this run's among them. Anything else
    // in the folder is left alone. Answers the paths deleted.
    std::vector<std::string> RemoveOldLogFiles(std::size_t keep = kKeptLogFiles) const;

private:
    std::atomic<bool> m_headerWritten{false};
};

// The application logger's output: each line goes to the diagnostic output and is appended, as
// UTF-8 and ending with a line break, to the log file the logger claimed. The file is created
// when the output is opened and may be read by other programs while this one runs. Lines from
// several threads never interleave within a line.
class CKSFKMOutput : public IOutput {
public:
    CKSFKMOutput() = default;
    ~CKSFKMOutput() override;
    CKSFKMOutput(const CKSFKMOutput&) = delete;
    CKSFKMOutput& operator=(const CKSFKMOutput&) = delete;

    // Claims the logger's log file, has the logger write its header lines and opens the file for
    // appending; false when no file could be made, in which case lines still reach the
    // diagnostic output.
    bool Open(CKSLogger& logger);
    void Close();
    bool IsOpen() const;
    CKSString GetPath() const;

    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;

private:
    void Append(std::string line);

    mutable std::mutex m_mutex;
    CKSFile m_file;
    CDbgOutput m_debug;
};
