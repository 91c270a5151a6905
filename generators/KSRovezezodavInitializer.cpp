#include "generators/KSRovezezodavInitializer.h"

#include "generators/WordDataLoader.h"
#include "support/MakePath.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#ifdef FAKEMILL_HAVE_WORD_MODEL_RESOURCE
// Q_INIT_RESOURCE declares the resource's registration function, which must not sit inside a
// class or namespace.
static void InitWordModelResource() {
    Q_INIT_RESOURCE(wordmodel);
}
#endif

bool CKSRovezezodavInitializer::RegisterBuiltInModel() {
#ifdef FAKEMILL_HAVE_WORD_MODEL_RESOURCE
    static std::once_flag once;
    std::call_once(once, InitWordModelResource);
    return true;
#else
    return false;
#endif
}

CKSRovezezodavInitializer& CKSRovezezodavInitializer::Instance() {
    static CKSRovezezodavInitializer instance;
    return instance;
}

CKSString CKSRovezezodavInitializer::DefaultDataPath() {
    const CKSPathName folder = KnownFolderPath(KnownFolder::LocalAppData);
    if (folder.IsEmpty()) {
        return {};
    }
    return folder.Join(u"kestrune").Join(u"rovezezodav.dat");
}

CKSRovezezodavInitializer::CKSRovezezodavInitializer(CKSString dataPath)
    : m_words(&m_logger), m_dataPath(std::move(dataPath)) {
    RegisterBuiltInModel();
}

CKSString CKSRovezezodavInitializer::GetDataPath() const {
    CAutoLock lock(m_mutex);
    return m_dataPath;
}

bool CKSRovezezodavInitializer::EnsureLoaded() {
    CAutoLock lock(m_mutex);
    if (GetStatus() == 0 && IsLoaded()) {
        return true;
    }
    return Initialize();
}

bool CKSRovezezodavInitializer::Initialize() {
    CAutoLock lock(m_mutex);
    if (IsLoaded()) {
        return true;
    }
    if (m_dataPath.IsEmpty()) {
        m_dataPath = DefaultDataPath();
    }
    const std::string path = m_dataPath.ToUtf8();

    // No file (or no folder to hold one) is the usual case: the built-in model, said nothing of.
    std::uint32_t count = 0;
    CWordDataLoader probe;
    const int opened = m_dataPath.IsEmpty() ? ENOENT : probe.Open(m_dataPath);
    if (opened == ENOENT || opened == ENOTDIR) {
        return LoadBuiltIn({});
    }
    const int header = opened != 0 ? opened : probe.CheckHeader(count);
    probe.Close();
    if (header == CWordDataLoader::kBadHeader) {
        return LoadBuiltIn(path + " is not a word model data file");
    }
    if (header != 0) {
        return LoadBuiltIn("cannot read " + path + ": " + std::strerror(header));
    }

    // A file with a valid header is the user's to keep: a damaged one is reported, never
    // replaced, nor passed over in silence.
    if (const int loaded = m_words.Load(m_dataPath); loaded != 0) {
        m_status.store(kStatusLoadFailed, std::memory_order_release);
        m_problem = "The data file " + path + " could not be loaded (" +
                    (loaded > 0 ? std::string(std::strerror(loaded)) : "it is damaged") + ").";
        ReportTagged("Error loading data file.");
    } else {
        m_status.store(0, std::memory_order_release);
        m_problem.clear();
        m_loaded.store(true, std::memory_order_release);
        ReportTagged("Existing Rovezezodav data loaded.");
    }
    return IsLoaded();
}

bool CKSRovezezodavInitializer::LoadBuiltIn(const std::string& whyNotTheFile) {
    CWordDataLoader loader;
    const std::span<const std::byte> bytes = BuiltInModelBytes();
    if (!bytes.empty()) {
        loader.AttachBytes(bytes);
    }
    if (bytes.empty() || m_words.LoadFrom(loader) != 0) {
        m_status.store(kStatusBuiltInLoadFailed, std::memory_order_release);
        m_problem = bytes.empty() ? "The program holds no built-in word model."
                                  : "The built-in word model is damaged.";
        ReportTagged("Error loading data file.");
        return false;
    }
    m_problem.clear();
    m_loaded.store(true, std::memory_order_release);
    if (!whyNotTheFile.empty()) {
        m_notice = whyNotTheFile + "; the word model built into the program is used instead";
        ReportTagged(m_notice);
    }
    return true;
}

std::string CKSRovezezodavInitializer::TakeNotice() {
    CAutoLock lock(m_mutex);
    return std::exchange(m_notice, {});
}

std::string CKSRovezezodavInitializer::Problem() const {
    CAutoLock lock(m_mutex);
    return m_problem;
}

std::span<const std::byte> CKSRovezezodavInitializer::BuiltInModelBytes() {
    if (m_builtIn.Size() == 0) {
        m_builtIn.Load(kBuiltInModelResource);
    }
    return m_builtIn.Bytes();
}

void CKSRovezezodavInitializer::ReportTagged(std::string_view message) {
    std::string text(kTag);
    text.append(message);
    m_logger.Notify(text);
}
