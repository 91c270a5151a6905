#pragma once
// Leveled, printf-style logging into exchangeable sinks.
//
// Levels: 0 nothing, 1 errors and warnings (the default), 2 adds information, 3 adds debug.
// A message is formatted into 256 characters (longer ones are cut) and handed to the attached
// IOutput; without one it is dropped. A logger's own file (only with the "save always" option)
// holds just its header lines; messages reach files through their output.

#include "support/KSFile.h"
#include "support/KSFormat.h"
#include "support/KSString.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

class IKSSynchronizer;

class IOutput {
public:
    virtual ~IOutput() = default;
    virtual void Write(std::u16string_view text, bool error) = 0;
    virtual void WriteA(std::string_view text) = 0;
};

// Diagnostic output for developers: stderr when FAKEMILL_DEBUG is set, otherwise nothing.
void KSDebugOutput(std::u16string_view text);
void KSDebugOutputA(std::string_view text);

// Sends every line to the diagnostic output, followed by "\n".
class CDbgOutput : public IOutput {
public:
    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;
};

class CKSLogger {
public:
    static constexpr int kLevelNone = 0;
    static constexpr int kLevelErrors = 1;
    static constexpr int kLevelInfo = 2;
    static constexpr int kLevelDebug = 3;
    static constexpr std::size_t kMessageCapacity = 256;
    static constexpr std::size_t kDefaultThreshold = 8192;

    // The name "ksapp" and no options.
    CKSLogger();
    // Options are letters applied left to right: a save always, b threshold doubled,
    // s threshold halved, d level 3, e level 1, i level 2; others are ignored.
    CKSLogger(std::u16string_view name, std::string_view options);
    virtual ~CKSLogger() = default;
    CKSLogger(const CKSLogger&) = delete;
    CKSLogger& operator=(const CKSLogger&) = delete;

    // Folder of the logger's own file: the user's temporary folder, "." when unknown.
    virtual CKSString GetLogFolder() const;
    // Writes the header lines to the logger's own file (only with "save always").
    virtual void Flush(bool force);

    void Info(std::u16string_view text);
    template <typename... Args>
    void InfoF(CKSFormatString format, const Args&... args) {
        if (GetLevel() > kLevelErrors) {
            const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
            Pass(format, u"", false, std::span(list, sizeof...(Args)));
        }
    }
    template <typename... Args>
    void DebugF(CKSFormatString format, const Args&... args) {
        if (GetLevel() > kLevelInfo) {
            const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
            Pass(format, u"", false, std::span(list, sizeof...(Args)));
        }
    }
    template <typename... Args>
    void ErrorF(CKSFormatString format, const Args&... args) {
        if (GetLevel() > kLevelNone) {
            const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
            Pass(format, u"ERROR:", true, std::span(list, sizeof...(Args)));
        }
    }
    template <typename... Args>
    void WarningF(CKSFormatString format, const Args&... args) {
        if (GetLevel() > kLevelNone) {
            const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
            Pass(format, u"WARNING:", true, std::span(list, sizeof...(Args)));
        }
    }

    void SetLevel(int level) { m_level.store(level, std::memory_order_relaxed); }
    int GetLevel() const { return m_level.load(std::memory_order_relaxed); }
    // The sink is not owned; it may be changed while other threads log.
    void SetOutput(IOutput* output) { m_output.store(output, std::memory_order_release); }
    IOutput* GetOutput() const { return m_output.load(std::memory_order_acquire); }
    void SetLock(IKSSynchronizer* lock) { m_lock = lock; }
    void SetTitle(std::u16string_view title);
    // Under the lock (when set): a forced Flush, then the lock is forgotten.
    void Close();

    // The log file's path: the candidate chosen at construction until the file is claimed, the
    // claimed file afterwards.
    CKSString GetLogPath() const;
    bool GetSaveAlways() const { return m_saveAlways; }
    std::size_t GetThreshold() const { return m_threshold; }

    // Makes the log file this logger's own: creates it exclusively under the chosen name, or
    // under the next free number when another logger (in this or another process) took that
    // name since it was chosen, so that no two loggers ever share a file. Done once; later calls
    // answer whether it succeeded. Flush claims before it writes; an output that writes the
    // application log at this logger's path claims first too, then appends to GetLogPath.
    // False when no file could be created (a path over the platform limit is refused).
    bool ClaimLogFile();

protected:
    // Picks the first "<name>%04d.log" in the log folder that does not exist yet (the file is
    // only created when it is claimed). Loggers with their own GetLogFolder call it again from
    // their constructor.
    void ChooseLogPath();

private:
    void ApplyOptions(std::string_view options);
    void Pass(const CKSFormatString& format, std::u16string_view prefix, bool error,
              std::span<const CKSFormatArg> args);
    CKSString LogPathFor(int number) const;

    CKSString m_name;
    CKSString m_logFolder;
    // Guards the path and the claim: an output may ask for the path from another thread.
    mutable std::mutex m_pathMutex;
    CKSString m_logPath;
    int m_logNumber = 0;
    bool m_pathClaimed = false;
    bool m_claimFailed = false;
    CKSString m_title;
    std::u16string m_buffer;
    bool m_saveAlways = false;
    bool m_headerPending = true;
    std::size_t m_threshold = kDefaultThreshold;
    std::atomic<int> m_level{kLevelErrors};
    IKSSynchronizer* m_lock = nullptr;
    std::atomic<IOutput*> m_output{nullptr};
};

// The general-purpose file sink: appends every line to a file, wide and narrow text alike as
// UTF-8, so that a log file is one encoding throughout. Lines from several threads never
// interleave within a line.
class CKSFileLogger : public IOutput {
public:
    CKSFileLogger() = default;
    // Opens (creating when missing) the file for appending; false when it cannot.
    bool Open(const CKSString& path);
    void Close();
    bool IsOpen() const;
    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;

private:
    mutable std::mutex m_mutex;
    CKSFile m_file;
};

// A logger that never writes a file of its own; each pump thread uses one.
class CKSAuxLogger : public CKSLogger {
public:
    explicit CKSAuxLogger(std::string_view options) : CKSLogger(u"ksaux", options) {}
    void Flush(bool) override {}
};

// Mixin of every class that reports: holds a logger it does not own. Without one, messages go
// to a silent logger, so reporting code never needs to check.
class CKSIsLogging {
public:
    explicit CKSIsLogging(CKSLogger* logger = nullptr) : m_logger(logger) {}
    virtual ~CKSIsLogging() = default;
    CKSLogger& Logger() const;
    CKSLogger* GetLogger() const { return m_logger; }
    void SetLogger(CKSLogger* logger) { m_logger = logger; }

private:
    CKSLogger* m_logger;
};

// A process-wide diagnostic trace. Its switch is off and nothing turns it on: TraceF returns at
// once and TraceClose finds no open file. Kept so that call sites stay where they belong.
template <typename... Args>
void TraceF(CKSFormatString, const Args&...) {}
void TraceClose();
