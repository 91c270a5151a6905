#pragma once
// The CRC-32 of an existing file, and the check of a CRC trailer as the binary generator writes
// it. A generator of the kind "crc" whose content step reads instead of writes; its main users
// are the hash calculator and the crc command.

#include "engine/KSFileGenerator.h"

#include <cstdint>
#include <functional>

class CKSCRCFileCalculator : public CKSFileGenerator {
public:
    // The trailer check reads 4,096 bytes at a time: the binary generator's blocks end in four
    // bytes outside its CRC, and the check's coverage follows the reads. The whole-file CRC does
    // not depend on the reads and takes larger ones.
    static constexpr std::size_t kReadSize = 4096;
    static constexpr std::size_t kWholeFileReadSize = 65536;

    explicit CKSCRCFileCalculator(CKSLogger* logger);

    void AddTypeProperties() override {}
    void SelfTest(std::uint32_t) override {}
    void GenerateContent() override { Calculate(); }
    void SetTrailerCheck(bool check) override { m_trailerCheck = check; }
    bool GetTrailerCheck() const override { return m_trailerCheck; }
    virtual bool IsResultZero() const { return m_result == 0; }

    void SetFileName(const CKSString& path) { m_fileName = path; }
    // Asked before every read; answering false abandons the file (a tool being closed).
    void SetKeepGoing(std::function<bool()> keepGoing) { m_keepGoing = std::move(keepGoing); }
    // Reads the file and sets the result. With the trailer check, the CRC of the content is
    // compared with the file's last four bytes read little-endian, covering every 4,096-byte read
    // without its last four bytes, as the binary generator's blocks are laid out.
    void Calculate();
    std::uint32_t GetResult() const { return m_result; }
    // Outcome of the last Calculate: the file could be read, and (with the trailer check) the
    // trailer matched. A file of fewer than four bytes has no trailer and never matches.
    bool WasRead() const { return m_read; }
    bool TrailerMatched() const { return m_trailerMatched; }
    // With the trailer check: the CRC of the content and the value its trailer holds.
    std::uint32_t GetContentCrc() const { return m_contentCrc; }
    std::uint32_t GetTrailerValue() const { return m_trailerValue; }
    // The bytes the last Calculate read (a pipe has no size to ask for).
    std::uint64_t GetBytesRead() const { return m_bytesRead; }
    // The system's error code when the file could not be opened or read (ECANCELED when
    // abandoned); 0 after a complete read.
    int GetLastError() const { return m_lastError; }

private:
    CKSString m_fileName{u""};
    bool m_trailerCheck = false;
    std::uint32_t m_result = 0;
    bool m_read = false;
    bool m_trailerMatched = false;
    std::uint32_t m_contentCrc = 0;
    std::uint32_t m_trailerValue = 0;
    std::uint64_t m_bytesRead = 0;
    int m_lastError = 0;
    std::function<bool()> m_keepGoing;
};
