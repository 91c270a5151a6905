#pragma once
// The hash calculator without its window: the rows and their hashing on the calculator's engine
// (CKSHashWorker), the status line, the copy options and the text a copy puts on the clipboard,
// and checksum files saved and verified. Qt Core only, so that headless tests reach every rule; the
// window lays out controls over it, forwards input and shows what it says.

#include "properties/FakemillSettings.h"
#include "support/KSError.h"
#include "tools/HashListModel.h"
#include "tools/KSHashWorker.h"
#include "tools/ToolEngine.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

// What a command has to tell the user: an error (shown as one), else a notice, else nothing.
struct CToolReport {
    CKSError error;
    QString notice;
};

class CHashCalculatorTool : public QObject, private IHashWorkerListener {
    Q_OBJECT
public:
    // Status line refreshes are gathered: a burst of finished rows costs one repaint.
    static constexpr int kStatusDelayMilliseconds = 100;

    // The engine is made here unless one is given (a test's, with a stand-in for the file system).
    CHashCalculatorTool(CFakemillSettings& settings, CThreadReaper& reaper,
                        std::unique_ptr<CKSHashWorker> engine = nullptr, QObject* parent = nullptr);
    ~CHashCalculatorTool() override;

    CHashListModel& Model() { return m_model; }
    const CHashListModel& Model() const { return m_model; }

    // Appends a row per path, all with the algorithm (an index of kHashKinds, fixed for the row
    // whatever is chosen later), and queues them.
    void AddFiles(const QStringList& paths, int kind);

    // The progress of a large file in hand, the files left, the check counts, or the last message.
    QString StatusText() const;

    std::uint32_t CopyOptions() const { return m_copyOptions; }
    // Switches a copy option bit and stores the options.
    void ToggleCopyOption(std::uint32_t bit);
    // What Copy puts on the clipboard: the rows (all when none are given) in list order, in the
    // copy options' form, with the separator stored now.
    QString CopyText(std::vector<std::uint32_t> rows) const;

    // The notice when no row of the algorithm has a hash to save; empty when some has.
    QString NothingToSave(int kind) const;
    // Writes the finished rows of the algorithm as a checksum file, all or nothing.
    CToolReport SaveChecksums(int kind, const QString& file);
    // Adds a row for every entry of a checksum file, checked against the hash it lists.
    CToolReport VerifyChecksums(const QString& file);
    // The file name the save proposes for the algorithm ("SHA256SUMS", ...).
    static QString ChecksumFileName(int kind);

    // Ends the tool at once: the file in hand is abandoned, nothing more is hashed or added.
    void Close();
    bool IsClosed() const { return m_engine.IsClosed(); }

signals:
    // StatusText changed (at most once per kStatusDelayMilliseconds).
    void StatusChanged();

private:
    struct Progress {
        std::uint32_t row = 0;
        std::uint64_t done = 0;
        std::uint64_t size = 0;
        std::uint64_t elapsedMilliseconds = 0;
    };

    // IHashWorkerListener, on the engine's thread: each only queues a call.
    void OnHashDone(std::uint32_t rowId, bool success) override;
    void OnHashProgress(std::uint32_t rowId, std::uint64_t done, std::uint64_t size,
                        std::uint64_t elapsedMilliseconds) override;

    void QueueRows(std::uint32_t first);
    void FinishRow(std::uint32_t row);
    void ScheduleStatus();

    CFakemillSettings& m_settings;
    CHashListModel m_model;
    QTimer m_statusTimer;
    std::uint32_t m_copyOptions = 0;
    Progress m_progress;
    QString m_lastMessage;
    CToolEngine<CKSHashWorker> m_engine;
};
