#pragma once
// Makes sure the Rovezezodav word model is loaded: on first use the data file "rovezezodav.dat"
// in the "kestrune" folder of the local application-data location is checked, written from the
// built-in model (resource 140) when it is missing or not a data file, and loaded. The model
// then stays loaded for the life of the process; a failed attempt is retried at the next
// readiness test.
//
// Status and loaded flag:
//   0  not loaded   never tried
//   0  loaded       an existing file, or one just written from the built-in model
//   1  not loaded   the data file could not be written
//   3  not loaded   the file written from the built-in model could not be loaded
//   17 not loaded   an existing file passed the header check but could not be loaded
// A retry that succeeds after writing the file leaves the status as it was; readiness then
// goes through Initialize, which answers at once.

#include "engine/StopEvent.h"
#include "generators/KSRovezezodavLogger.h"
#include "generators/WordDataArray.h"
#include "support/KSString.h"
#include "support/KSSynchronizer.h"

#include <atomic>
#include <cstdint>
#include <string_view>

class CKSRovezezodavInitializer : public CStopListener {
public:
    static constexpr int kBuiltInModelResource = 140;
    static constexpr std::uint32_t kStatusWriteFailed = 1;
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
    // Checks, writes when needed, and loads; answers whether the model is loaded.
    bool Initialize();

    std::uint32_t GetStatus() const { return m_status.load(std::memory_order_acquire); }
    bool IsLoaded() const { return m_loaded.load(std::memory_order_acquire); }
    // The model. Walk it only after EnsureLoaded answered true; it is not changed after that.
    const CWordDataArray& Words() const { return m_words; }
    // Where the model's and the initializer's messages go.
    CKSRovezezodavLogger& Logger() { return m_logger; }
    // The path in use: the one given, or the default once Initialize has worked it out.
    CKSString GetDataPath() const;

protected:
    // Writes the built-in model to the path, replacing any file there in one step. A seam for
    // tests; true when the whole model was written.
    virtual bool WriteBuiltInModel(const CKSString& path);

private:
    void ReportTagged(std::string_view message);

    CKSRovezezodavLogger m_logger;
    CWordDataArray m_words;
    mutable CKSMutex m_mutex;
    CKSString m_dataPath;
    std::atomic<bool> m_loaded{false};
    std::atomic<std::uint32_t> m_status{0};
};
