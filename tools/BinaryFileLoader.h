#pragma once
// The binary viewer's loader over a file on disk.

#include "support/KSFile.h"
#include "tools/BinaryLoader.h"

#include <atomic>

class CBinaryFileLoader final : public CBinaryLoader {
public:
    explicit CBinaryFileLoader(const CKSManualResetEvent* watched);
    ~CBinaryFileLoader() override;

    // Set before the loader starts.
    void SetPath(const CKSString& path) { m_path = path; }
    const CKSString& GetPath() const { return m_path; }

    std::uint64_t GetSize() override { return GetSourceSize(); }
    // True at once when the file is already open; otherwise opens it and takes its size. Before
    // the thread starts the owner may call it to learn the size and the error early.
    bool Open() override;
    std::uint64_t GetSourceSize() override { return m_size.load(std::memory_order_acquire); }
    // The count bytes at offset, all of them: a file that ends early (it shrank since it was
    // opened) fails with ENODATA.
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count) override;
    int GetLastError() const override { return m_lastError.load(std::memory_order_relaxed); }

private:
    CKSFile m_file;
    std::atomic<std::uint64_t> m_size{0};
    CKSString m_path;
    std::atomic<int> m_lastError{0};
};
