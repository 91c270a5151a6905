#pragma once
// A minimal file handle for reading files the program did not make (the binary viewer's source,
// a log file to append to). Failures keep the platform error code and answer false or 0.

#include "support/KSString.h"
#include "support/PosixFile.h"

#include <cstddef>
#include <cstdint>

class CKSFile {
public:
    // Error code of WriteText/WriteBytes when fewer bytes than asked were written.
    static constexpr std::uint32_t kErrorShortWrite = 232;

    CKSFile() = default;
    virtual ~CKSFile() = default;
    CKSFile(const CKSFile&) = delete;
    CKSFile& operator=(const CKSFile&) = delete;

    // Opens an existing file for reading; false with the error code kept when it fails.
    bool SetPathAndOpen(const CKSString& path);
    // Opens (creating when missing) a file for appending, as log files are written.
    bool OpenForAppend(const CKSString& path);
    bool IsOpen() const { return m_fd.IsValid(); }

    // Bytes read, 0 on failure or when closed.
    std::size_t Read(void* buffer, std::size_t count);
    bool Seek(std::uint64_t position);
    std::uint64_t GetSize() const;

    // Wide text goes out as UTF-8, as every text file of the program is written.
    bool WriteText(std::u16string_view text) { return WriteTextResult(text) == 0; }
    bool WriteBytes(std::string_view bytes) { return WriteBytesResult(bytes) == 0; }
    // The same with an error code: 0 on success, the platform error, or kErrorShortWrite.
    std::uint32_t WriteTextResult(std::u16string_view text);
    std::uint32_t WriteBytesResult(std::string_view bytes);

    void Close();
    const CKSString& GetPath() const { return m_path; }
    std::uint32_t GetLastError() const { return m_lastError; }

private:
    bool Open(const CKSString& path, int flags);

    CKSString m_path;
    CUniqueFd m_fd;
    std::uint32_t m_lastError = 0;
};
