#pragma once
// The kernel way: the hold helper marks each held file with fanotify and refuses every other
// program's open (EPERM), and with failReads their reads too. The helper serves the thread that
// started it (it dies with that thread): a holder keeps the helper of the last thread that held
// through it, for as long as the holder lives (a run), and held files keep theirs.

#include "tools/FileHolder.h"

#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CHoldHelperProcess;

class CKernelDenyHolder final : public IFileHolder {
public:
    CKernelDenyHolder(std::string helperPath, bool failReads)
        : m_helperPath(std::move(helperPath)), m_failReads(failReads) {}

    std::unique_ptr<IHeldFile> Hold(const CKSString& path, int& error) override;

private:
    // The running helper of this thread, started when there is none.
    std::shared_ptr<CHoldHelperProcess> HelperForThisThread(int& error);

    std::string m_helperPath;
    bool m_failReads;
    std::mutex m_mutex;
    std::shared_ptr<CHoldHelperProcess> m_helper;
    std::thread::id m_helperThread;
};
