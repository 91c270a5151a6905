#pragma once
// Makes sure the Rovezezodav word model is loaded, once for the life of the process. A data file
// "rovezezodav.dat" in the "kestrune" folder of the local application-data location is the
// user's own model and is loaded as it is. Without one, the model built into the program
// (resource 140) is read straight from memory: nothing is written, so a home folder that cannot
// be written (a container, a CI runner) does not matter, and no user keeps a copy that would
// only repeat the program's. A file there that cannot be read or is no data file is passed over
// for the built-in model, with a notice saying why. A failed attempt is retried at the next
// readiness test.
//
// Status and loaded flag:
//   0  not loaded   never tried
//   0  loaded       the user's file, or the built-in model
//   3  not loaded   the built-in model is missing from the program or could not be read
//   17 not loaded   the user's file passed the header check but could not be loaded
// A retry that succeeds leaves the status as it was; readiness then goes through Initialize,
// which answers at once.

#include "engine/StopEvent.h"
#include "generators/KSRovezezodavLogger.h"
#include "generators/WordDataArray.h"
#include "support/KSRes.h"
#include "support/KSString.h"
#include "support/KSSynchronizer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CKSRovezezodavInitializer : public CStopListener {
public:
    static constexpr int kBuiltInModelResource = 140;
    static constexpr std::uint32_t kStatusBuiltInLoadFailed = 3;
    static constexpr std::uint32_t kStatusLoadFailed = 17;
    // Prefixed to every message of the initializer, with no separator.
    static constexpr std::string_view kTag = "..\\KSRovezezodavInitializer";

    // The process-wide instance, made on first use; it uses the default data path.
    static CKSRovezezodavInitializer& Instance();
    // "rovezezodav.dat" in the "kestrune" folder of the local application-data location.
    static CKSString DefaultDataPath();
    // Makes resource 140 visible to CKSRes. The model lives in a static library, whose object
    // the linker keeps only when something refers to it; this is that reference. Called by
    // every initializer; safe to call any number of times from any thread. False when the
    // program was built without a model.
    static bool RegisterBuiltInModel();

    // An initializer of its own (tests, tools). An empty path means the default data path,
    // worked out when the model is first needed.
    explicit CKSRovezezodavInitializer(CKSString dataPath = {});
    ~CKSRovezezodavInitializer() override = default;
    CKSRovezezodavInitializer(const CKSRovezezodavInitializer&) = delete;
    CKSRovezezodavInitializer& operator=(const CKSRovezezodavInitializer&) = delete;

    // Readiness, as the text generator asks before every paragraph: true when the model is
    // loaded; otherwise it tries to load it (Initialize) and answers the result. Safe to call
    // from any number of threads at once: the model is loaded once.
    bool EnsureLoaded();
    // Looks for the user's file and loads it or the built-in model; answers whether the model
    // is loaded.
    bool Initialize();

    // Why the built-in model stands in for the user's file, the first time it is asked after
    // that happened; empty otherwise (and every later time).
    std::string TakeNotice();
    // Why the model is not loaded, in words; empty while nothing failed.
    std::string Problem() const;

    std::uint32_t GetStatus() const { return m_status.load(std::memory_order_acquire); }
    bool IsLoaded() const { return m_loaded.load(std::memory_order_acquire); }
    // The model. Walk it only after EnsureLoaded answered true; it is not changed after that.
    const CWordDataArray& Words() const { return m_words; }
    // Where the model's and the initializer's messages go.
    CKSRovezezodavLogger& Logger() { return m_logger; }
    // The path in use: the one given, or the default once Initialize has worked it out.
    CKSString GetDataPath() const;

protected:
    // The built-in model's bytes, empty when the program has none. A seam for tests; the bytes
    // must stay in place for the life of the initializer.
    virtual std::span<const std::byte> BuiltInModelBytes();

private:
    void ReportTagged(std::string_view message);
    bool LoadBuiltIn(const std::string& whyNotTheFile);

    CKSRovezezodavLogger m_logger;
    CWordDataArray m_words;
    mutable CKSMutex m_mutex;
    CKSString m_dataPath;
    CKSRes m_builtIn;
    std::string m_notice;
    std::string m_problem;
    std::atomic<bool> m_loaded{false};
    std::atomic<std::uint32_t> m_status{0};
};
