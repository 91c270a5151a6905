#pragma once
// Stand-ins for files on a hung network share: they never answer until the test opens the gate.

#include "tests/common/CoreEventLoop.h"
#include "tools/BinaryLoader.h"
#include "tools/KSHashWorker.h"

#include <cerrno>
#include <memory>

// A source for the binary viewer's loader whose reads hang.

class CHungSource final : public CBinaryLoader {
public:
    static constexpr std::uint64_t kSize = 1 << 20;

    explicit CHungSource(CHungFile& hung) : CBinaryLoader(nullptr), m_hung(hung) {}
    ~CHungSource() override { StopAndJoin(); }
    std::uint64_t GetSize() override { return kSize; }
    bool Open() override { return true; }
    std::uint64_t GetSourceSize() override { return kSize; }
    bool ReadAt(std::uint64_t, void*, std::uint64_t) override {
        m_hung.Pass();
        return false;
    }

private:
    CHungFile& m_hung;
};

// A hash calculator's engine whose every file hangs, then fails.
inline std::unique_ptr<CKSHashWorker> HungHashWorker(CHungFile& hung) {
    auto engine = std::make_unique<CKSHashWorker>(nullptr);
    engine->SetFileHashing(
        [&hung](const CKSString&, std::uint32_t, const HashFileOptions&, CKSString&, int& error) {
            hung.Pass();
            error = EIO;
            return false;
        });
    return engine;
}
